#include "softkbd/win32/input_sink_win32.h"

#include <windows.h>

#include <algorithm>
#include <array>

#include "common/key_code_record.h"
#include "softkbd/soft_keyboard_controls.h"

namespace qv {

static_assert(kKeyInputExtended == KEYEVENTF_EXTENDEDKEY);
static_assert(kKeyInputKeyUp == KEYEVENTF_KEYUP);

std::size_t Win32InputSink::SendKeyboardInputs(std::span<const KeyInput> inputs) {
  // No allocation: a typing that runs out of memory still sends the releases of its keys. A
  // record has at most kMaxStrokes strokes; a longer batch goes in parts.
  std::array<INPUT, kMaxStrokes> records;
  std::size_t inserted = 0;
  while (inserted < inputs.size()) {
    const std::size_t count = std::min(inputs.size() - inserted, records.size());
    for (std::size_t i = 0; i < count; ++i) {
      const KeyInput& input = inputs[inserted + i];
      records[i] = INPUT{};
      records[i].type = INPUT_KEYBOARD;
      KEYBDINPUT& key = records[i].ki;
      key.wVk = input.vk;
      key.wScan = static_cast<WORD>(MapVirtualKeyW(input.vk, MAPVK_VK_TO_VSC));
      key.dwFlags = input.flags & (KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP);
      key.time = input.time;
      // Marked as the program's own, so that the hot key does not count the modifiers it types.
      key.dwExtraInfo = kOwnInjectionMark;
    }
    const UINT sent = SendInput(static_cast<UINT>(count), records.data(), sizeof(INPUT));
    inserted += sent;
    if (sent < count) break;
  }
  return inserted;
}

}  // namespace qv
