// Popping up and closing the system's touch keyboard ("TabTip.exe") for the dialogs that take
// text. Acts on Windows 7 and 8 only (version 6.1 and 6.2); every failure is silent.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

inline constexpr std::u16string_view kTouchKeyboardProcess = u"TabTip.exe";
inline constexpr std::u16string_view kTouchKeyboardProgram =
    u"C:\\Program Files\\Common Files\\microsoft shared\\ink\\TabTip.exe";
inline constexpr std::u16string_view kTouchKeyboardVerb = u"open";
inline constexpr std::u16string_view kTouchKeyboardWindowClass = u"IPTip_Main_Window";

// A top-level window of the system; 0 = none.
using SystemWindow = std::uintptr_t;

// What the launcher asks of the system.
class TouchKeyboardSystem {
 public:
  virtual ~TouchKeyboardSystem() = default;
  // The operating system's major and minor version.
  virtual void SystemVersion(unsigned& major, unsigned& minor) = 0;
  // Executable file names of the running processes; false when they cannot be listed.
  virtual bool RunningProcessNames(std::vector<std::u16string>& names) = 0;
  // Starts a program with a verb, maximised, without waiting for it.
  virtual void StartProgram(std::u16string_view path, std::u16string_view verb) = 0;
  // The top-level window of a class (any title), or 0.
  virtual SystemWindow FindTopLevelWindow(std::u16string_view className) = 0;
  // Sends the window WM_SYSCOMMAND SC_CLOSE synchronously.
  virtual void SendCloseCommand(SystemWindow window) = 0;
};

// A system whose version has no touch keyboard to pop up (10.0), for the programs that run the
// access flows without the tray program's dialogs: qv-padctl and the browser editor.
class NoTouchKeyboard : public TouchKeyboardSystem {
 public:
  void SystemVersion(unsigned& major, unsigned& minor) override {
    major = 10;
    minor = 0;
  }
  bool RunningProcessNames(std::vector<std::u16string>&) override { return false; }
  void StartProgram(std::u16string_view, std::u16string_view) override {}
  SystemWindow FindTopLevelWindow(std::u16string_view) override { return 0; }
  void SendCloseCommand(SystemWindow) override {}
};

// Windows 7 (6.1) and Windows 8 (6.2).
bool IsTouchKeyboardSystemVersion(unsigned major, unsigned minor);

bool IsTouchKeyboardRunning(TouchKeyboardSystem& system);
// Starts the touch keyboard program again, only while a process of its name runs.
void ShowTouchKeyboard(TouchKeyboardSystem& system);
// Closes the touch keyboard's window when there is one.
void HideTouchKeyboard(TouchKeyboardSystem& system);

}  // namespace qv
