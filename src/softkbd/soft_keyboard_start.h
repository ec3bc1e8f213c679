// What a soft keyboard's start decides before its window appears: its first page, where its info
// icon sits and the names of its window classes and window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/bounded_text.h"
#include "softkbd/layout.h"

namespace qv {

// The page a paged keyboard starts on: the key pad's active page (1 .. 6) less one, or 0 when the
// read failed or gave anything else. Single-page keyboards start on page 0.
int InitialPage(bool paged, bool readSucceeded, std::uint8_t answer);

inline constexpr std::int32_t kInfoIconSize = 48;
// The info icon's top-left corner: 96 pixels left of the work area's right edge and 98 above its
// bottom, the icons of later slots 50 pixels higher each.
ScreenRect InfoIconRect(const ScreenRect& workArea, int slot);

// "<prefix>_<model identity in 8 upper-case hex digits><serial number in 6 digits>"; false, with
// an empty name, when it does not fit (a cut class name could be another key pad's).
bool SoftKeyboardClassName(std::u16string_view prefix, std::uint32_t modelIdentity,
                           std::uint32_t serialNumber, char16_t (&name)[kPathChars]);
// "ルミナソフトキーボード (<model identity in 8 upper-case hex digits>)".
void SoftKeyboardTitle(std::uint32_t modelIdentity, char16_t (&title)[64]);
// "# <serial number in 6 digits>", under the keyboard's header image.
void SerialText(std::uint32_t serialNumber, char16_t (&text)[32]);
// "<serial number in 6 digits>", on the info icon, which has room for the digits alone.
void InfoIconSerialText(std::uint32_t serialNumber, char16_t (&text)[32]);

// A soft keyboard is shown at its start unless its key pad is locked or the touch function is off.
inline bool ShownAtStart(bool locked, bool touchEnabled) {
  return !locked && touchEnabled;
}

}  // namespace qv
