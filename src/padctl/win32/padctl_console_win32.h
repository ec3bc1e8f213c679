// qv-padctl's Win32 side: the console (Unicode output on a console, UTF-8 when redirected; a
// password prompt without echo), files and folders, and the resident tray program found by its
// main window, closed with "/CLOSE"'s message and started again from its own file.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "common/win32/owned.h"
#include "device/hid_port.h"
#include "padctl/padctl_ports.h"

namespace qv {

// The tray program's single-instance name: its mutex and main window class (string 109).
inline constexpr wchar_t kTrayInstanceName[] = L"QV_PADCONF_LUMKEYS";
// The tray program's file name, as it is looked for in other sessions.
inline constexpr wchar_t kTrayProgramFile[] = L"qv-padconf.exe";
// How long the tray program gets to end after "/CLOSE".
inline constexpr DWORD kTrayCloseWaitMs = 10000;
// The mutex that keeps the key pads to one tool instance, across sessions and users.
inline constexpr wchar_t kToolInstanceMutex[] = L"Global\\QV_PADCTL_KEYPADS";

class ConsoleOutput : public PadctlOutput {
 public:
  bool WriteResult(std::u16string_view text) override;
  bool WriteProgress(std::u16string_view text) override;
};

// Writes text to a standard handle: WriteConsoleW on a console, UTF-8 bytes otherwise. False
// when the handle is missing or the text was not written whole.
bool WriteStandardText(DWORD standardHandle, std::u16string_view text);

class ConsolePasswordPrompt : public PasswordConsole {
 public:
  PasswordAnswer AskPassword(std::u16string_view question, SecretText& password) override;
};

class Win32PadctlFiles : public PadctlFiles {
 public:
  FileRead ReadWholeFile(std::u16string_view path, std::size_t mostBytes,
                         std::vector<std::uint8_t>& bytes) override;
  bool ReplaceFile(std::u16string_view path, std::span<const std::uint8_t> bytes) override;
  bool MakeFolder(std::u16string_view path) override;
};

class Win32TrayProgram : public TrayProgram {
 public:
  bool IsRunning() override;
  bool RunsInAnotherSession() override;
  bool Close() override;
  // Starts the closed program again; once only, whoever calls it first (the end of the run or
  // the console's close event).
  TrayRestart Restart() override;
  std::u16string ProgramPath() override;

 private:
  std::wstring imagePath_;
  OwnedHandle closedToken_;  // the closed program's rights
  std::atomic<bool> closed_{false};
};

class Win32ToolInstanceLock : public ToolInstanceLock {
 public:
  ~Win32ToolInstanceLock() override { Release(); }
  bool TryAcquire() override;
  void Release() override;

 private:
  HANDLE mutex_ = nullptr;
};

// The whole tool over a HID system: the arguments of wmain, the ports, Ctrl+C (no further key
// pad is started, and the tray program still comes back) and the exit status.
int PadctlConsoleMain(int argc, wchar_t** argv, HidSystem& hid);

}  // namespace qv
