#include "access/win32/touch_keyboard_win32.h"

#include <windows.h>
// After windows.h, which they build on.
#include <shellapi.h>
#include <tlhelp32.h>

#include <string>

#include "common/bounded_text.h"
#include "common/win32/owned.h"
#include "common/win32/wide.h"

namespace qv {
namespace {

// SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS.
constexpr ULONG kStartMask = 0x440;

}  // namespace

void Win32TouchKeyboardSystem::SystemVersion(unsigned& major, unsigned& minor) {
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const BOOL ok = GetVersionExW(&version);
#pragma GCC diagnostic pop
  major = ok ? version.dwMajorVersion : 0;
  minor = ok ? version.dwMinorVersion : 0;
}

bool Win32TouchKeyboardSystem::RunningProcessNames(std::vector<std::u16string>& names) {
  names.clear();
  const OwnedFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    names.emplace_back(BoundedView(Utf16(entry.szExeFile), MAX_PATH));
  }
  return true;
}

void Win32TouchKeyboardSystem::StartProgram(std::u16string_view path, std::u16string_view verb) {
  const std::wstring file = WideString(path);
  const std::wstring operation = WideString(verb);
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = kStartMask;
  info.hwnd = nullptr;
  info.lpVerb = operation.c_str();
  info.lpFile = file.c_str();
  info.lpParameters = nullptr;
  info.lpDirectory = nullptr;
  info.nShow = SW_SHOWMAXIMIZED;
  // Nothing waits for the started program: the process handle the system gives back is closed
  // at once.
  const BOOL started = ShellExecuteExW(&info);
  const OwnedHandle process(started ? info.hProcess : nullptr);
}

SystemWindow Win32TouchKeyboardSystem::FindTopLevelWindow(std::u16string_view className) {
  const std::wstring name = WideString(className);
  return reinterpret_cast<SystemWindow>(FindWindowW(name.c_str(), nullptr));
}

void Win32TouchKeyboardSystem::SendCloseCommand(SystemWindow window) {
  SendMessageW(reinterpret_cast<HWND>(window), WM_SYSCOMMAND, SC_CLOSE, 0);
}

TouchKeyboardSystem& SystemTouchKeyboard() {
  static Win32TouchKeyboardSystem system;
  return system;
}

}  // namespace qv
