// The faces of the soft keyboard's buttons as text: which text a key button or page tab shows and
// the font size that fits it to the button, worked out from text extents measured by the window
// side in a 12 x 12 font of the same face.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "softkey_assets/asset_names.h"

namespace qv {

// A caption (at most kCaptionLength characters) is shown on two lines (4, a line feed, the rest)
// when it is longer than 4. The display text therefore needs 9 characters and a terminator.
inline constexpr std::size_t kCaptionLineChars = 4;
inline constexpr std::size_t kDisplayTextChars = kCaptionLength + 2;

// The font descriptions the soft keyboard uses; the fitting changes height and width only.
struct CaptionFont {
  std::u16string_view face;
  std::int32_t height = 0;
  std::int32_t width = 0;
  std::int32_t weight = 400;

  bool operator==(const CaptionFont&) const = default;
};
inline constexpr CaptionFont kKeyFont{u"MS Pゴシック", 24, 0, 400};
inline constexpr CaptionFont kTabFont{u"Book Antiqua", 24, 0, 800};
inline constexpr CaptionFont kSerialFont{u"Meiryo", 16, 0, 400};
inline constexpr std::uint8_t kCaptionFontQuality = 5;  // ClearType
inline constexpr std::uint8_t kCaptionFontPitchAndFamily = 0x32;
// Text is measured in the face at this height and width.
inline constexpr std::int32_t kMeasureFontSize = 12;

struct TextExtent {
  std::int32_t cx = 0;
  std::int32_t cy = 0;
};
struct ButtonSize {
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// Measures `cells` (terminator cells included, as zeros) in `font`, on the button's device context.
using MeasureText = std::function<TextExtent(const CaptionFont& font, std::u16string_view cells)>;

struct DisplayText {
  char16_t text[kDisplayTextChars] = {};
  std::u16string_view view() const;
};

// The caption as shown: at most 8 characters, those past the fourth on a second line.
DisplayText SplitCaption(std::u16string_view caption);
// The text of a key without caption: its number (key + 1) on a paged keyboard, else the label of
// its layout cell (at most 3 characters).
DisplayText KeyNumberText(bool paged, int key, std::u16string_view cellLabel);
// The text of a page tab: its caption, else "P1" .. "P6".
DisplayText TabText(std::u16string_view pageCaption, int page);

// What is measured for a text of `length` characters: 2 x min(length, 4) cells from its start, the
// cells past its end zeros (as in its zero-filled caption entry).
std::u16string MeasuredCells(std::u16string_view text);

// The key caption font for buttons without a caption of their own: size x 57 / 100 high.
std::int32_t CaptionFontHeight(std::int32_t keySize);

// A caption font fitted to a button from the extent of its measured cells; none when the
// measurement gave no extent (the button keeps the font it has).
std::optional<CaptionFont> FitKeyFont(std::size_t captionLength, TextExtent measured,
                                      ButtonSize button);
std::optional<CaptionFont> FitTabFont(std::size_t textLength, TextExtent measured,
                                      ButtonSize button);

// One button's text face: the text it shows and, when fitted, the font made for it.
struct TextFace {
  DisplayText text;
  std::optional<CaptionFont> font;  // none: leave the button's font as it is
};
// A key button: an empty caption shows the key number in the font it has; a caption is fitted.
TextFace FitKeyCaption(bool paged, int key, std::u16string_view cellLabel,
                       std::u16string_view caption, ButtonSize button, const MeasureText& measure);
// A page tab: its caption or "P<n>", fitted in the tab font.
TextFace FitTabCaption(int page, std::u16string_view pageCaption, ButtonSize button,
                       const MeasureText& measure);

}  // namespace qv
