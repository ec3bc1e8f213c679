#include "padctl/win32/padctl_console_win32.h"

#include <string>
#include <vector>

#include "app/win32/application.h"
#include "app/win32/registry_settings.h"
#include "common/win32/owned.h"
#include "common/win32/wide.h"
#include "device/device_context.h"
#include "keycode/win32/key_code_files_win32.h"
#include "padctl/padctl_run.h"

namespace qv {
namespace {

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode);
}

// The tray program's main window, found as "/CLOSE" finds it (class name, ignoring case).
HWND FindTrayWindow() {
  return FindWindowW(kTrayInstanceName, nullptr);
}

std::atomic<bool> cancelRequested{false};
Win32TrayProgram* trayForSignals = nullptr;

BOOL WINAPI OnConsoleSignal(DWORD signal) {
  switch (signal) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      // The key pad being worked on is finished and reported; no further one is started.
      cancelRequested = true;
      return TRUE;
    case CTRL_CLOSE_EVENT:
      // The console goes away and the process with it: the tray program comes back now.
      if (trayForSignals) trayForSignals->Restart();
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

void WriteStandardText(DWORD standardHandle, std::u16string_view text) {
  HANDLE handle = GetStdHandle(standardHandle);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr || text.empty()) return;
  if (IsConsole(handle)) {
    DWORD written = 0;
    WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  const int size = WideCharToMultiByte(CP_UTF8, 0, Wide(text.data()), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  if (size <= 0) return;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, Wide(text.data()), static_cast<int>(text.size()), bytes.data(),
                      size, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void ConsoleOutput::WriteResult(std::u16string_view text) {
  WriteStandardText(STD_OUTPUT_HANDLE, text);
}

void ConsoleOutput::WriteProgress(std::u16string_view text) {
  WriteStandardText(STD_ERROR_HANDLE, text);
}

bool ConsolePasswordPrompt::AskPassword(std::u16string_view question, SecretText& password) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  // Only a console can take a password unseen; a script's piped input is not asked.
  if (input == INVALID_HANDLE_VALUE || input == nullptr || !GetConsoleMode(input, &mode))
    return false;
  WriteStandardText(STD_ERROR_HANDLE, question);
  SetConsoleMode(input, (mode | ENABLE_LINE_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  DWORD read = 0;
  const BOOL ok = ReadConsoleW(input, password.buffer(), static_cast<DWORD>(password.capacity()),
                               &read, nullptr);
  SetConsoleMode(input, mode);
  WriteStandardText(STD_ERROR_HANDLE, u"\n");
  if (!ok) {
    password.Wipe();
    return false;
  }
  std::size_t length = read;
  while (length > 0 &&
         (password.buffer()[length - 1] == u'\n' || password.buffer()[length - 1] == u'\r'))
    --length;
  password.SetLength(length);
  // A line longer than the buffer leaves its rest in the console's input: it is read and wiped
  // so that it reaches nothing else.
  if (read == password.capacity() && password.buffer()[read - 1] != u'\n') {
    wchar_t rest[64];
    DWORD more = 0;
    do {
      SetConsoleMode(input, (mode | ENABLE_LINE_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
      if (!ReadConsoleW(input, rest, 64, &more, nullptr)) more = 0;
      SetConsoleMode(input, mode);
    } while (more == 64 && rest[63] != L'\n');
    SecureZero(rest, sizeof rest);
  }
  return !password.empty();
}

bool Win32PadctlFiles::ReadWholeFile(std::u16string_view path, std::vector<std::uint8_t>& bytes) {
  Win32KeyCodeFiles files;
  return files.ReadWholeFile(path, bytes);
}

bool Win32PadctlFiles::ReplaceFile(std::u16string_view path, std::span<const std::uint8_t> bytes) {
  Win32KeyCodeFiles files;
  return files.ReplaceFile(path, bytes);
}

bool Win32PadctlFiles::MakeFolder(std::u16string_view path) {
  const std::wstring folder = WideString(path);
  CreateDirectoryW(folder.c_str(), nullptr);
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32TrayProgram::IsRunning() {
  return FindTrayWindow() != nullptr;
}

bool Win32TrayProgram::Close() {
  HWND window = FindTrayWindow();
  if (!window) return true;
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  OwnedHandle process(
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return false;
  wchar_t image[MAX_PATH] = {};
  DWORD length = MAX_PATH;
  if (!QueryFullProcessImageNameW(process.get(), 0, image, &length)) return false;
  // The message "/CLOSE" sends; the program ends without asking.
  SendToRunningInstance(kTrayInstanceName, WM_CLOSE);
  if (WaitForSingleObject(process.get(), kTrayCloseWaitMs) != WAIT_OBJECT_0) return false;
  imagePath_.assign(image, length);
  closed_ = true;
  return true;
}

bool Win32TrayProgram::Restart() {
  if (!closed_.exchange(false)) return false;
  std::wstring commandLine = L"\"" + imagePath_ + L"\"";
  std::wstring folder = imagePath_;
  const std::size_t slash = folder.find_last_of(L'\\');
  folder = slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(imagePath_.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                      DETACHED_PROCESS, nullptr, folder.empty() ? nullptr : folder.c_str(),
                      &startup, &started))
    return false;
  // The program runs on by itself; neither handle is needed.
  const OwnedHandle thread(started.hThread);
  const OwnedHandle process(started.hProcess);
  return true;
}

int PadctlConsoleMain(int argc, wchar_t** argv, HidSystem& hid) {
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(Utf16(argv[i]));

  DeviceContext device(hid);
  Win32PadctlFiles files;
  ConsolePasswordPrompt console;
  ConsoleOutput output;
  Win32TrayProgram tray;
  RegistrySettings settings;
  trayForSignals = &tray;
  SetConsoleCtrlHandler(OnConsoleSignal, TRUE);
  PadctlPorts ports{device, files, console, output, tray, settings, &cancelRequested};
  const int status = RunPadctl(arguments, ports);
  SetConsoleCtrlHandler(OnConsoleSignal, FALSE);
  trayForSignals = nullptr;
  return status;
}

}  // namespace qv
