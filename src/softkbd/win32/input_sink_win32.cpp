#include "softkbd/win32/input_sink_win32.h"

#include <windows.h>

#include <new>
#include <vector>

#include "softkbd/soft_keyboard_controls.h"

namespace qv {

static_assert(kKeyInputExtended == KEYEVENTF_EXTENDEDKEY);
static_assert(kKeyInputKeyUp == KEYEVENTF_KEYUP);

std::size_t Win32InputSink::SendKeyboardInputs(std::span<const KeyInput> inputs) {
  if (inputs.empty()) return 0;
  std::vector<INPUT> records(inputs.size(), INPUT{});
  // Marked as the program's own, so that the hot key does not count the modifiers it types.
  const ULONG_PTR extraInfo = kOwnInjectionMark;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    records[i].type = INPUT_KEYBOARD;
    KEYBDINPUT& key = records[i].ki;
    key.wVk = inputs[i].vk;
    key.wScan = static_cast<WORD>(MapVirtualKeyW(inputs[i].vk, MAPVK_VK_TO_VSC));
    key.dwFlags = inputs[i].flags & (KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP);
    key.time = inputs[i].time;
    key.dwExtraInfo = extraInfo;
  }
  return SendInput(static_cast<UINT>(records.size()), records.data(), sizeof(INPUT));
}

}  // namespace qv
