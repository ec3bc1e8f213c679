// The faces of the soft keyboard's buttons as text: which text a key button or page tab shows and
// the font size that fits it to the button, worked out from the extents of its lines as shown,
// measured by the window side in a 12 x 12 font of the same face and in the fitted font itself.
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
// Text is measured first in the face at this height and width.
inline constexpr std::int32_t kMeasureFontSize = 12;

struct TextExtent {
  std::int32_t cx = 0;
  std::int32_t cy = 0;
};
struct ButtonSize {
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// Measures one line of text, as shown, in `font` on the button's device context.
using MeasureText = std::function<TextExtent(const CaptionFont& font, std::u16string_view line)>;

// How much of a button's client width the widest line of a fitted caption takes: the fit aims at
// kFillTargetPercent and never goes past kFillMostPercent, which leaves the button's own edges and
// text margin clear (a line wider than the button's text area would be wrapped by the button).
// A caption whose glyphs at their natural width take less than that keeps its natural width: its
// size is then set by the key's height.
inline constexpr std::int32_t kFillTargetPercent = 82;
inline constexpr std::int32_t kFillMostPercent = 88;
inline constexpr std::int32_t kFillLeastPercent = 60;
// Glyphs are never squeezed to less than this share of their natural width: a caption that would
// need more gets a lower font than its height rule gives.
inline constexpr std::int32_t kLeastGlyphWidthPercent = 50;

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

// The lines of a display text: the text itself, or the two sides of its line feed.
struct TextLines {
  std::u16string_view first;
  std::u16string_view second;  // empty for a one-line text
  int count() const { return second.empty() ? 1 : 2; }
};
TextLines LinesOf(std::u16string_view text);

// The key caption font for buttons without a caption of their own: size x 57 / 100 high.
std::int32_t CaptionFontHeight(std::int32_t keySize);

// The height a fitted caption font gets: its line fills the button's client height (one line)
// or 9 / 20 of it per line (two lines); cy is the line height of the 12 x 12 measuring font.
std::int32_t KeyCaptionHeight(int lineCount, std::int32_t cy, std::int32_t clientHeight);
// The same for a page tab: the whole client height for one line, 45 / 100 of it per line for two.
std::int32_t TabCaptionHeight(int lineCount, std::int32_t cy, std::int32_t clientHeight);

// Fits `base` to the lines as shown: the height by the rule given, the character width so that the
// widest line takes kFillTargetPercent of the client width (never more than kFillMostPercent),
// or the natural width (0) where that takes no more. Where the glyphs would be squeezed below
// kLeastGlyphWidthPercent of their natural width, the height is lowered so that they are not.
// None when nothing could be measured (the button keeps the font it has).
using CaptionHeightRule = std::int32_t (*)(int lineCount, std::int32_t cy,
                                           std::int32_t clientHeight);
std::optional<CaptionFont> FitCaptionFont(const CaptionFont& base, CaptionHeightRule heightRule,
                                          TextLines lines, ButtonSize button,
                                          const MeasureText& measure);

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
