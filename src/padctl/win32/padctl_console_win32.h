// qv-padctl's Win32 side: the console (Unicode output on a console, UTF-8 when redirected; a
// password prompt without echo), files and folders, and the resident tray program found by its
// main window, closed with "/CLOSE"'s message and started again from its own file.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "device/hid_port.h"
#include "padctl/padctl_ports.h"

namespace qv {

// The tray program's single-instance name: its mutex and main window class (string 109).
inline constexpr wchar_t kTrayInstanceName[] = L"QV_PADCONF_LUMKEYS";
// How long the tray program gets to end after "/CLOSE".
inline constexpr DWORD kTrayCloseWaitMs = 10000;

class ConsoleOutput : public PadctlOutput {
 public:
  void WriteResult(std::u16string_view text) override;
  void WriteProgress(std::u16string_view text) override;
};

// Writes text to a standard handle: WriteConsoleW on a console, UTF-8 bytes otherwise.
void WriteStandardText(DWORD standardHandle, std::u16string_view text);

class ConsolePasswordPrompt : public PasswordConsole {
 public:
  bool AskPassword(std::u16string_view question, SecretText& password) override;
};

class Win32PadctlFiles : public PadctlFiles {
 public:
  bool ReadWholeFile(std::u16string_view path, std::vector<std::uint8_t>& bytes) override;
  bool ReplaceFile(std::u16string_view path, std::span<const std::uint8_t> bytes) override;
  bool MakeFolder(std::u16string_view path) override;
};

class Win32TrayProgram : public TrayProgram {
 public:
  bool IsRunning() override;
  bool Close() override;
  // Starts the closed program again; once only, whoever calls it first (the end of the run or
  // the console's close event).
  bool Restart() override;

 private:
  std::wstring imagePath_;
  std::atomic<bool> closed_{false};
};

// The whole tool over a HID system: the arguments of wmain, the ports, Ctrl+C (no further key
// pad is started, and the tray program still comes back) and the exit status.
int PadctlConsoleMain(int argc, wchar_t** argv, HidSystem& hid);

}  // namespace qv
