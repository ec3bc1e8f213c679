#include "softkbd/caption_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace qv {
namespace {

// A model of a proportional Japanese face as the text renderer measures it: a cell as high as the
// font's height; full-width characters one cell wide and Latin ones about half a cell at the
// natural width; with a set character width w, half-width characters w wide and full-width ones
// 2w. Each glyph's width is rounded to whole pixels, and glyphs narrower than 4 pixels keep a
// pixel more, as hinted small fonts do: the scaling is not exact.
int GlyphWidth(const CaptionFont& font, char16_t c) {
  const bool full = c >= 0x3000;
  const double latin = (c >= u'A' && c <= u'Z') ? 0.62 : (c == u'i' || c == u'l') ? 0.28 : 0.5;
  const double em = font.width == 0 ? font.height : 2.0 * font.width;
  const int width = static_cast<int>(std::lround(em * (full ? 1.0 : latin)));
  return width < 4 ? width + 1 : width;
}
TextExtent ModelExtent(const CaptionFont& font, std::u16string_view line) {
  TextExtent extent{0, font.height};
  for (char16_t c : line) extent.cx += GlyphWidth(font, c);
  return extent;
}

// Measures through the model and records what was measured.
struct Measurer {
  std::vector<std::pair<CaptionFont, std::u16string>> seen;
  bool answers = true;
  MeasureText Callback() {
    return [this](const CaptionFont& font, std::u16string_view line) {
      seen.emplace_back(font, std::u16string(line));
      return answers ? ModelExtent(font, line) : TextExtent{};
    };
  }
};

std::int32_t WidestLine(const CaptionFont& font, std::u16string_view text) {
  const TextLines lines = LinesOf(text);
  return std::max(ModelExtent(font, lines.first).cx, ModelExtent(font, lines.second).cx);
}

// Keys as the layout makes them at 96 DPI (50 x 50, the alternative layout's 60 x 50) and at
// 144 DPI (75 x 75, 90 x 75), and a tall narrow one after a resize.
constexpr ButtonSize kKeys[] = {{50, 50}, {60, 50}, {75, 75}, {90, 75}, {40, 80}};

TEST(CaptionFit, EveryCaptionLineFillsItsKeyUnlessItsHeightLimitsIt) {
  const std::u16string_view captions[] = {
      u"Enter", u"コピー", u"貼り付け", u"ショートカット", u"OK",        u"Esc", u"Shift+Tab", u"A",
      u"全角",  u"Ctrl",   u"i",        u"Backspace",      u"再変換候補"};
  for (const ButtonSize key : kKeys) {
    for (std::u16string_view caption : captions) {
      Measurer measurer;
      const TextFace face = FitKeyCaption(false, 0, u"1", caption, key, measurer.Callback());
      const std::u16string_view shown = face.text.view();
      ASSERT_TRUE(face.font) << key.width;
      const int lines = LinesOf(shown).count();
      EXPECT_EQ(lines, caption.size() > 4 ? 2 : 1);
      const std::int32_t painted = WidestLine(*face.font, shown);
      const std::int32_t natural = WidestLine({face.font->face, face.font->height, 0}, shown);
      const std::string what = std::to_string(key.width) + "x" + std::to_string(key.height) +
                               " caption " + std::to_string(caption.size()) + " chars, height " +
                               std::to_string(face.font->height) + ", width " +
                               std::to_string(face.font->width) + ", painted " +
                               std::to_string(painted) + " of natural " + std::to_string(natural);
      // The height follows the line rule (the whole key for one line, 9 / 20 per line for two)
      // unless that would squeeze the glyphs below half their width: then they are squeezed to
      // about half, and lower.
      const std::int32_t rule = lines == 1 ? key.height : key.height * 9 / 20;
      EXPECT_LE(face.font->height, rule) << what;
      EXPECT_GE(painted * 100, natural * 45) << what;
      if (face.font->height < rule) {
        EXPECT_LE(painted * 100, natural * 60) << what;
      }
      EXPECT_LE(painted * 100, key.width * 95) << what;
      if (face.font->width == 0) {
        // The natural width already fits: the font's height limits the caption, not its key.
        EXPECT_LE(painted * 100, key.width * kFillMostPercent) << what;
      } else {
        EXPECT_GE(painted * 100, key.width * 60) << what;
      }
      // Only the lines as shown are measured: no terminators, no line feed.
      for (const auto& [font, line] : measurer.seen) {
        EXPECT_EQ(line.find(u'\0'), std::u16string::npos) << what;
        EXPECT_EQ(line.find(u'\n'), std::u16string::npos) << what;
        EXPECT_NE(shown.find(line), std::u16string_view::npos) << what;
      }
    }
  }
}

TEST(CaptionFit, TheFittedFontIsMeasuredAgainWhereWidthsDoNotScale) {
  // A face with bitmap strikes for its small sizes (as the keys' face has): at the 12-pixel
  // measuring size its glyphs are a third wider than its outlines scale to, so the first width
  // is too small, and the font as made is measured and corrected.
  for (const ButtonSize key : kKeys) {
    for (std::u16string_view caption : {u"Enter", u"ショートカット", u"Backspace", u"コピー"}) {
      const MeasureText strikes = [](const CaptionFont& font, std::u16string_view line) {
        TextExtent extent = ModelExtent(font, line);
        if (font.height <= 16) extent.cx = extent.cx * 4 / 3;
        return extent;
      };
      const TextFace face = FitKeyCaption(false, 0, u"1", caption, key, strikes);
      ASSERT_TRUE(face.font);
      const std::int32_t painted = WidestLine(*face.font, face.text.view());
      EXPECT_GE(painted * 100, key.width * 60) << key.width << " " << face.font->width;
      EXPECT_LE(painted * 100, key.width * 95) << key.width << " " << face.font->width;
    }
  }
}

TEST(CaptionFit, LongCaptionsSplitAfterFourCharacters) {
  Measurer measurer;
  EXPECT_EQ(FitKeyCaption(false, 0, u"1", u"ABCDEFGHIJ", kKeys[0], measurer.Callback()).text.view(),
            u"ABCD\nEFGH");
  EXPECT_EQ(FitKeyCaption(false, 0, u"1", u"ABCD", kKeys[0], measurer.Callback()).text.view(),
            u"ABCD");
  EXPECT_EQ(
      FitKeyCaption(false, 0, u"1", u"ショートカット", kKeys[0], measurer.Callback()).text.view(),
      u"ショート\nカット");
  // The first measurement is in the 12 x 12 face of the keys.
  EXPECT_EQ(measurer.seen.front().first, (CaptionFont{u"MS Pゴシック", 12, 12, 400}));
  const TextLines lines = LinesOf(u"ABCD\nEF");
  EXPECT_EQ(lines.first, u"ABCD");
  EXPECT_EQ(lines.second, u"EF");
  EXPECT_EQ(LinesOf(u"ABCD").count(), 1);
}

TEST(CaptionFit, KeysWithoutCaptionShowTheirNumberInTheSharedFont) {
  Measurer measurer;
  TextFace paged = FitKeyCaption(true, 47, u"24", u"", kKeys[0], measurer.Callback());
  EXPECT_EQ(paged.text.view(), u"48");
  EXPECT_FALSE(paged.font);
  EXPECT_EQ(FitKeyCaption(false, 29, u"30", u"", kKeys[0], measurer.Callback()).text.view(), u"30");
  EXPECT_TRUE(measurer.seen.empty());
  EXPECT_EQ(CaptionFontHeight(50), 28);
  EXPECT_EQ(CaptionFontHeight(0), 0);
}

TEST(CaptionFit, TabsShowPageNumbersInTheBoldFaceFittedLikeKeys) {
  for (const ButtonSize tab : {ButtonSize{50, 44}, ButtonSize{47, 33}, ButtonSize{75, 66}}) {
    Measurer measurer;
    const TextFace number = FitTabCaption(2, u"", tab, measurer.Callback());
    EXPECT_EQ(number.text.view(), u"P3");
    EXPECT_EQ(measurer.seen.front().first, (CaptionFont{u"Book Antiqua", 12, 12, 800}));
    ASSERT_TRUE(number.font);
    EXPECT_EQ(number.font->height, tab.height);
    EXPECT_EQ(number.font->weight, 800);
    EXPECT_LE(WidestLine(*number.font, u"P3") * 100, tab.width * 95);

    const TextFace six = FitTabCaption(0, u"ページ番号２", tab, measurer.Callback());
    EXPECT_EQ(six.text.view(), u"ページ番\n号２");
    ASSERT_TRUE(six.font);
    EXPECT_LE(six.font->height, tab.height * 45 / 100);
    EXPECT_GE(six.font->height, tab.height * 45 / 100 - 2);
    const std::int32_t painted = WidestLine(*six.font, six.text.view());
    EXPECT_GE(painted * 100, tab.width * 60);
    EXPECT_LE(painted * 100, tab.width * 95);
  }
}

TEST(CaptionFit, NothingMeasuredKeepsTheFontAndSetsTheText) {
  Measurer measurer;
  measurer.answers = false;
  TextFace key = FitKeyCaption(false, 0, u"1", u"ABCDE", kKeys[0], measurer.Callback());
  EXPECT_EQ(key.text.view(), u"ABCD\nE");
  EXPECT_FALSE(key.font);
  EXPECT_FALSE(FitTabCaption(0, u"", kKeys[0], measurer.Callback()).font);
}

}  // namespace
}  // namespace qv
