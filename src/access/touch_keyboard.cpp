#include "access/touch_keyboard.h"

#include "common/bounded_text.h"

namespace qv {
namespace {

bool OnTouchKeyboardSystem(TouchKeyboardSystem& system) {
  unsigned major = 0;
  unsigned minor = 0;
  system.SystemVersion(major, minor);
  return IsTouchKeyboardSystemVersion(major, minor);
}

}  // namespace

bool IsTouchKeyboardSystemVersion(unsigned major, unsigned minor) {
  return major == 6 && (minor == 1 || minor == 2);
}

bool IsTouchKeyboardRunning(TouchKeyboardSystem& system) {
  std::vector<std::u16string> names;
  if (!system.RunningProcessNames(names)) return false;
  for (const std::u16string& name : names)
    if (EqualsIgnoreAsciiCase(name, kTouchKeyboardProcess)) return true;
  return false;
}

void ShowTouchKeyboard(TouchKeyboardSystem& system) {
  if (!OnTouchKeyboardSystem(system)) return;
  if (!IsTouchKeyboardRunning(system)) return;
  system.StartProgram(kTouchKeyboardProgram, kTouchKeyboardVerb);
}

void HideTouchKeyboard(TouchKeyboardSystem& system) {
  if (!OnTouchKeyboardSystem(system)) return;
  const SystemWindow window = system.FindTopLevelWindow(kTouchKeyboardWindowClass);
  if (window != 0) system.SendCloseCommand(window);
}

}  // namespace qv
