#include "softkbd/soft_keyboard_start.h"

namespace qv {

int InitialPage(bool paged, bool readSucceeded, std::uint8_t answer) {
  if (!paged || !readSucceeded || answer < 1 || answer > kPageCount) return 0;
  return answer - 1;
}

ScreenRect InfoIconRect(const ScreenRect& workArea, int slot) {
  const std::int32_t left = workArea.right - 96;
  const std::int32_t top = workArea.bottom - 98 - 50 * slot;
  return {left, top, left + kInfoIconSize, top + kInfoIconSize};
}

bool SoftKeyboardClassName(std::u16string_view prefix, std::uint32_t modelIdentity,
                           std::uint32_t serialNumber, char16_t (&name)[kPathChars]) {
  if (BoundedFormat(name, u"%s_%08X%06u", {prefix, modelIdentity, serialNumber})) return true;
  name[0] = 0;
  return false;
}

void SoftKeyboardTitle(std::uint32_t modelIdentity, char16_t (&title)[64]) {
  BoundedFormat(title, u"ルミナソフトキーボード (%08X)", {modelIdentity});
}

void SerialText(std::uint32_t serialNumber, char16_t (&text)[32]) {
  BoundedFormat(text, u"# %06u", {serialNumber});
}

void InfoIconSerialText(std::uint32_t serialNumber, char16_t (&text)[32]) {
  BoundedFormat(text, u"%06u", {serialNumber});
}

}  // namespace qv
