#include "softkbd/caption_fit.h"

#include <algorithm>
#include <string>

#include "common/bounded_text.h"

namespace qv {
namespace {

// a x b x c / d / e in wide arithmetic, kept within 32 bits.
std::int32_t Ratio(std::int64_t product, std::int32_t divisor, std::int32_t second) {
  const std::int64_t value = product / divisor / second;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

bool Measurable(TextExtent measured) {
  return measured.cx != 0 && measured.cy != 0;
}

CaptionFont Fitted(const CaptionFont& base, std::int32_t height, std::int32_t width) {
  CaptionFont font = base;
  font.height = height;
  font.width = width;
  return font;
}

CaptionFont MeasureFont(const CaptionFont& base) {
  return Fitted(base, kMeasureFontSize, kMeasureFontSize);
}

}  // namespace

std::u16string_view DisplayText::view() const {
  return BoundedView(text);
}

DisplayText SplitCaption(std::u16string_view caption) {
  caption = CutTo(caption, kCaptionLength);
  DisplayText display;
  if (caption.size() <= kCaptionLineChars) {
    BoundedCopy(display.text, caption);
  } else {
    BoundedFormat(display.text, u"%s\n%s",
                  {caption.substr(0, kCaptionLineChars), caption.substr(kCaptionLineChars)});
  }
  return display;
}

DisplayText KeyNumberText(bool paged, int key, std::u16string_view cellLabel) {
  DisplayText display;
  if (paged) {
    BoundedFormat(display.text, u"%d", {key + 1});
  } else {
    BoundedCopy(display.text, CutTo(cellLabel, 3));
  }
  return display;
}

DisplayText TabText(std::u16string_view pageCaption, int page) {
  if (!pageCaption.empty()) return SplitCaption(pageCaption);
  DisplayText display;
  BoundedFormat(display.text, u"P%d", {page + 1});
  return display;
}

TextLines LinesOf(std::u16string_view text) {
  const std::size_t feed = text.find(u'\n');
  if (feed == std::u16string_view::npos) return {text, {}};
  return {text.substr(0, feed), text.substr(feed + 1)};
}

std::int32_t CaptionFontHeight(std::int32_t keySize) {
  return Ratio(static_cast<std::int64_t>(keySize) * 57, 100, 1);
}

std::int32_t KeyCaptionHeight(int lineCount, std::int32_t cy, std::int32_t clientHeight) {
  if (cy <= 0) return 0;
  const std::int64_t h = static_cast<std::int64_t>(kMeasureFontSize) * clientHeight;
  return lineCount <= 1 ? Ratio(h, cy, 1) : Ratio(h * 9, cy, 20);
}

std::int32_t TabCaptionHeight(int lineCount, std::int32_t cy, std::int32_t clientHeight) {
  if (cy <= 0) return 0;
  const std::int64_t h = static_cast<std::int64_t>(kMeasureFontSize) * clientHeight;
  return Ratio(h * (lineCount <= 1 ? 100 : 45), cy, 100);
}

namespace {

// Fits the character width of one caption at a given height.
class WidthFitter {
 public:
  WidthFitter(const CaptionFont& base, TextLines lines, ButtonSize button,
              const MeasureText& measure)
      : base_(base), lines_(lines), measure_(measure) {
    const std::int64_t clientWidth = button.width;
    most_ = Ratio(clientWidth * kFillMostPercent, 100, 1);
    least_ = Ratio(clientWidth * kFillLeastPercent, 100, 1);
    target_ = Ratio(clientWidth * kFillTargetPercent, 100, 1);
  }

  // The widest line of the caption in `font`; 0 when it cannot be measured.
  std::int32_t Widest(const CaptionFont& font, std::int32_t* lineHeight = nullptr) const {
    const TextExtent first = measure_(font, lines_.first);
    if (lineHeight) *lineHeight = first.cy;
    if (lines_.second.empty()) return first.cx;
    return std::max(first.cx, measure_(font, lines_.second).cx);
  }

  struct Fit {
    std::int32_t width = 0;    // 0: the natural width
    std::int32_t painted = 0;  // the widest line at that width
    std::int32_t natural = 0;  // the widest line at the natural width
  };
  // `measured`: the widest line in the 12 x 12 measuring font.
  Fit At(std::int32_t height, std::int32_t measured) const {
    Fit fit;
    // At its natural width the caption may already stay inside: then the height sets its size.
    fit.natural = Widest(Fitted(base_, height, 0));
    fit.painted = fit.natural;
    if (fit.natural > 0 && fit.natural <= most_) return fit;
    // Character widths scale with the font's width, whatever its height: the 12-wide measurement
    // gives the first width, and the font as made corrects it (small sizes of a face may have
    // glyphs of their own, and widths are rounded to whole pixels).
    fit.width = std::max<std::int32_t>(
        1, Ratio(static_cast<std::int64_t>(kMeasureFontSize) * target_, measured, 1));
    for (int step = 0; step < 8; ++step) {
      fit.painted = Widest(Fitted(base_, height, fit.width));
      if (fit.painted <= 0) break;
      std::int32_t next = fit.width;
      if (fit.painted > most_ && fit.width > 1) {
        next = std::min(fit.width - 1,
                        Ratio(static_cast<std::int64_t>(fit.width) * target_, fit.painted, 1));
      } else if (fit.painted < least_) {
        next = std::max(fit.width + 1,
                        Ratio(static_cast<std::int64_t>(fit.width) * target_, fit.painted, 1));
      }
      if (next == fit.width || next < 1) break;
      fit.width = next;
    }
    return fit;
  }

 private:
  const CaptionFont& base_;
  TextLines lines_;
  const MeasureText& measure_;
  std::int32_t most_ = 0, least_ = 0, target_ = 0;
};

}  // namespace

std::optional<CaptionFont> FitCaptionFont(const CaptionFont& base, CaptionHeightRule heightRule,
                                          TextLines lines, ButtonSize button,
                                          const MeasureText& measure) {
  if (lines.first.empty() || button.width <= 0) return std::nullopt;
  const WidthFitter fitter(base, lines, button, measure);
  std::int32_t cy = 0;
  const std::int32_t measured = fitter.Widest(MeasureFont(base), &cy);
  if (!Measurable({measured, cy})) return std::nullopt;
  std::int32_t height = heightRule(lines.count(), cy, button.height);
  WidthFitter::Fit fit = fitter.At(height, measured);
  // Glyphs squeezed to less than kLeastGlyphWidthPercent of their natural width keep little of
  // their upright strokes (four kanji at the full height of a key): such a caption is made lower
  // instead, until that much of its natural width fills the key.
  if (fit.width != 0 && fit.painted > 0 &&
      static_cast<std::int64_t>(fit.painted) * 100 <
          static_cast<std::int64_t>(fit.natural) * kLeastGlyphWidthPercent) {
    height = std::max<std::int32_t>(1, Ratio(static_cast<std::int64_t>(height) * fit.painted * 100,
                                             fit.natural, kLeastGlyphWidthPercent));
    fit = fitter.At(height, measured);
  }
  return Fitted(base, height, fit.width);
}

TextFace FitKeyCaption(bool paged, int key, std::u16string_view cellLabel,
                       std::u16string_view caption, ButtonSize button, const MeasureText& measure) {
  TextFace face;
  if (caption.empty()) {
    face.text = KeyNumberText(paged, key, cellLabel);
    return face;
  }
  face.text = SplitCaption(caption);
  face.font =
      FitCaptionFont(kKeyFont, KeyCaptionHeight, LinesOf(face.text.view()), button, measure);
  return face;
}

TextFace FitTabCaption(int page, std::u16string_view pageCaption, ButtonSize button,
                       const MeasureText& measure) {
  TextFace face;
  face.text = TabText(CutTo(pageCaption, kCaptionLength), page);
  face.font =
      FitCaptionFont(kTabFont, TabCaptionHeight, LinesOf(face.text.view()), button, measure);
  return face;
}

}  // namespace qv
