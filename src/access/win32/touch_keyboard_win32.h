// The touch keyboard launcher's system side: the version read by GetVersionExW, a Toolhelp
// process snapshot, ShellExecuteExW, FindWindowW and WM_SYSCOMMAND SC_CLOSE.
#pragma once

#include "access/touch_keyboard.h"

namespace qv {

class Win32TouchKeyboardSystem : public TouchKeyboardSystem {
 public:
  void SystemVersion(unsigned& major, unsigned& minor) override;
  bool RunningProcessNames(std::vector<std::u16string>& names) override;
  void StartProgram(std::u16string_view path, std::u16string_view verb) override;
  SystemWindow FindTopLevelWindow(std::u16string_view className) override;
  void SendCloseCommand(SystemWindow window) override;
};

// The launcher over the real system, for the dialogs that pop the touch keyboard up.
TouchKeyboardSystem& SystemTouchKeyboard();

}  // namespace qv
