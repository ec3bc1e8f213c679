#include "softkbd/caption_fit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

// Records what is measured and answers with a fixed extent.
struct Measurer {
  explicit Measurer(TextExtent answer) : extent(answer) {}
  TextExtent extent;
  std::vector<std::pair<CaptionFont, std::u16string>> seen;
  MeasureText Callback() {
    return [this](const CaptionFont& font, std::u16string_view cells) {
      seen.emplace_back(font, std::u16string(cells));
      return extent;
    };
  }
};

constexpr ButtonSize kButton{50, 50};

TEST(CaptionFit, KeyCaptionsSplitAfterFourAndFitByTheirLineRule) {
  Measurer measurer({48, 12});
  TextFace eight = FitKeyCaption(false, 0, u"1", u"ABCDEFGHIJ", kButton, measurer.Callback());
  EXPECT_EQ(eight.text.view(), u"ABCD\nEFGH");
  ASSERT_TRUE(eight.font);
  EXPECT_EQ(eight.font->height, 22);  // 12 x 50 x 9 / 12 / 20
  EXPECT_EQ(eight.font->width, 15);   // 12 x 50 x 120 / 48 / 100
  EXPECT_EQ(measurer.seen.back().first, (CaptionFont{u"MS Pゴシック", 12, 12, 400}));
  EXPECT_EQ(measurer.seen.back().second, u"ABCDEFGH");

  TextFace four = FitKeyCaption(false, 0, u"1", u"ABCD", kButton, measurer.Callback());
  EXPECT_EQ(four.text.view(), u"ABCD");
  ASSERT_TRUE(four.font);
  EXPECT_EQ(four.font->height, 50);  // 12 x 50 / 12
  EXPECT_EQ(four.font->width, 13);   // 12 x 50 x 110 / 48 / 100
  EXPECT_EQ(measurer.seen.back().second, (std::u16string{u'A', u'B', u'C', u'D', 0, 0, 0, 0}));

  TextFace two = FitKeyCaption(false, 0, u"1", u"OK", kButton, measurer.Callback());
  EXPECT_EQ(measurer.seen.back().second, (std::u16string{u'O', u'K', 0, 0}));
  EXPECT_EQ(two.text.view(), u"OK");
}

TEST(CaptionFit, KeysWithoutCaptionShowTheirNumberInTheSharedFont) {
  Measurer measurer({48, 12});
  TextFace paged = FitKeyCaption(true, 47, u"24", u"", kButton, measurer.Callback());
  EXPECT_EQ(paged.text.view(), u"48");
  EXPECT_FALSE(paged.font);
  EXPECT_EQ(FitKeyCaption(false, 29, u"30", u"", kButton, measurer.Callback()).text.view(), u"30");
  EXPECT_TRUE(measurer.seen.empty());
  EXPECT_EQ(CaptionFontHeight(50), 28);
  EXPECT_EQ(CaptionFontHeight(0), 0);
}

TEST(CaptionFit, TabsShowPageNumbersInTheBoldFace) {
  Measurer measurer({40, 20});
  TextFace tab = FitTabCaption(2, u"", {50, 44}, measurer.Callback());
  EXPECT_EQ(tab.text.view(), u"P3");
  EXPECT_EQ(measurer.seen.back().first, (CaptionFont{u"Book Antiqua", 12, 12, 800}));
  EXPECT_EQ(measurer.seen.back().second, (std::u16string{u'P', u'3', 0, 0}));
  ASSERT_TRUE(tab.font);
  EXPECT_EQ(tab.font->height, 26);  // 12 x 44 x 100 / 20 / 100
  EXPECT_EQ(tab.font->width, 15);   // 12 x 50 x 100 / 40 / 100

  TextFace six = FitTabCaption(0, u"ABCDEF", {50, 44}, measurer.Callback());
  EXPECT_EQ(six.text.view(), u"ABCD\nEF");
  EXPECT_EQ(six.font->height, 11);  // 12 x 44 x 45 / 20 / 100
}

TEST(CaptionFit, NothingMeasuredKeepsTheFontAndSetsTheText) {
  for (TextExtent nothing : {TextExtent{0, 12}, TextExtent{48, 0}}) {
    Measurer measurer(nothing);
    TextFace key = FitKeyCaption(false, 0, u"1", u"ABCDE", kButton, measurer.Callback());
    EXPECT_EQ(key.text.view(), u"ABCD\nE");
    EXPECT_FALSE(key.font);
    EXPECT_FALSE(FitTabCaption(0, u"", kButton, measurer.Callback()).font);
  }
}

}  // namespace
}  // namespace qv
