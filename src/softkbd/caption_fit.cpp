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

std::u16string MeasuredCells(std::u16string_view text) {
  std::u16string cells(2 * std::min(text.size(), kCaptionLineChars), u'\0');
  std::copy_n(text.begin(), std::min(text.size(), cells.size()), cells.begin());
  return cells;
}

std::int32_t CaptionFontHeight(std::int32_t keySize) {
  return Ratio(static_cast<std::int64_t>(keySize) * 57, 100, 1);
}

std::optional<CaptionFont> FitKeyFont(std::size_t captionLength, TextExtent measured,
                                      ButtonSize button) {
  if (!Measurable(measured)) return std::nullopt;
  const std::int64_t w = static_cast<std::int64_t>(kMeasureFontSize) * button.width;
  const std::int64_t h = static_cast<std::int64_t>(kMeasureFontSize) * button.height;
  if (captionLength <= kCaptionLineChars) {
    return Fitted(kKeyFont, Ratio(h, measured.cy, 1), Ratio(w * 110, measured.cx, 100));
  }
  return Fitted(kKeyFont, Ratio(h * 9, measured.cy, 20), Ratio(w * 120, measured.cx, 100));
}

std::optional<CaptionFont> FitTabFont(std::size_t textLength, TextExtent measured,
                                      ButtonSize button) {
  if (!Measurable(measured)) return std::nullopt;
  const std::int64_t w = static_cast<std::int64_t>(kMeasureFontSize) * button.width;
  const std::int64_t h = static_cast<std::int64_t>(kMeasureFontSize) * button.height;
  const std::int32_t height =
      Ratio(h * (textLength <= kCaptionLineChars ? 100 : 45), measured.cy, 100);
  return Fitted(kTabFont, height, Ratio(w * 100, measured.cx, 100));
}

TextFace FitKeyCaption(bool paged, int key, std::u16string_view cellLabel,
                       std::u16string_view caption, ButtonSize button, const MeasureText& measure) {
  TextFace face;
  if (caption.empty()) {
    face.text = KeyNumberText(paged, key, cellLabel);
    return face;
  }
  caption = CutTo(caption, kCaptionLength);
  face.text = SplitCaption(caption);
  const TextExtent measured = measure(MeasureFont(kKeyFont), MeasuredCells(caption));
  face.font = FitKeyFont(caption.size(), measured, button);
  return face;
}

TextFace FitTabCaption(int page, std::u16string_view pageCaption, ButtonSize button,
                       const MeasureText& measure) {
  TextFace face;
  face.text = TabText(CutTo(pageCaption, kCaptionLength), page);
  // The tab's own text is measured, line feed included, as the tab shows it.
  const std::u16string_view text = face.text.view();
  const TextExtent measured = measure(MeasureFont(kTabFont), MeasuredCells(text));
  face.font = FitTabFont(text.size(), measured, button);
  return face;
}

}  // namespace qv
