#include "padctl/win32/padctl_console_win32.h"

#include <tlhelp32.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/win32/application.h"
#include "app/win32/registry_settings.h"
#include "common/win32/owned.h"
#include "common/win32/wide.h"
#include "device/device_context.h"
#include "keycode/win32/key_code_files_win32.h"
#include "padctl/padctl_run.h"
#include "padctl/tray_restart.h"
#include "qv_version.h"

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

// The user a token stands for (its SID), for comparing two processes' users.
struct ProcessUser {
  std::vector<std::uint8_t> buffer;
  PSID sid() const {
    return buffer.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
  }
};

ProcessUser UserOfToken(HANDLE token) {
  ProcessUser user;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  if (size == 0) return user;
  user.buffer.resize(size);
  if (!GetTokenInformation(token, TokenUser, user.buffer.data(), size, &size)) user.buffer.clear();
  return user;
}

OwnedHandle TokenOf(HANDLE process, DWORD access) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(process, access, &token)) return OwnedHandle();
  return OwnedHandle(token);
}

bool SameUser(const ProcessUser& a, const ProcessUser& b) {
  return a.sid() && b.sid() && EqualSid(a.sid(), b.sid());
}

bool TokenIsElevated(HANDLE token) {
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
         elevation.TokenIsElevated != 0;
}

void EnablePrivilege(const wchar_t* name) {
  const OwnedHandle token = TokenOf(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY);
  if (!token) return;
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid))
    AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
}

// A primary token copied from a process's own, for starting a process with its rights; none when
// it cannot be taken (another user's process seen by an unelevated tool).
OwnedHandle PrimaryTokenOf(DWORD processId) {
  OwnedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return OwnedHandle();
  const OwnedHandle token = TokenOf(process.get(), TOKEN_DUPLICATE | TOKEN_QUERY);
  if (!token) return OwnedHandle();
  HANDLE primary = nullptr;
  const DWORD access = TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE | TOKEN_ADJUST_DEFAULT |
                       TOKEN_ADJUST_SESSIONID;
  if (!DuplicateTokenEx(token.get(), access, nullptr, SecurityImpersonation, TokenPrimary,
                        &primary))
    return OwnedHandle();
  return OwnedHandle(primary);
}

// The desktop shell's token, where a shell shows the desktop.
OwnedHandle ShellToken() {
  const HWND shell = GetShellWindow();
  if (!shell) return OwnedHandle();
  DWORD processId = 0;
  GetWindowThreadProcessId(shell, &processId);
  return PrimaryTokenOf(processId);
}

constexpr std::u16string_view kToolVersion = u"" QV_VERSION_TEXT;

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

bool WriteStandardText(DWORD standardHandle, std::u16string_view text) {
  HANDLE handle = GetStdHandle(standardHandle);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return false;
  if (text.empty()) return true;
  if (IsConsole(handle)) {
    DWORD written = 0;
    return WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
  }
  const int size = WideCharToMultiByte(CP_UTF8, 0, Wide(text.data()), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  if (size <= 0) return false;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, Wide(text.data()), static_cast<int>(text.size()), bytes.data(),
                      size, nullptr, nullptr);
  DWORD written = 0;
  return WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool ConsoleOutput::WriteResult(std::u16string_view text) {
  return WriteStandardText(STD_OUTPUT_HANDLE, text);
}

bool ConsoleOutput::WriteProgress(std::u16string_view text) {
  return WriteStandardText(STD_ERROR_HANDLE, text);
}

PasswordAnswer ConsolePasswordPrompt::AskPassword(std::u16string_view question,
                                                  SecretText& password) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  // Only a console can take a password unseen; a script's piped input is not asked.
  if (input == INVALID_HANDLE_VALUE || input == nullptr || !GetConsoleMode(input, &mode))
    return PasswordAnswer::kNoConsole;
  // The question goes to the console the answer is typed on, not to a redirected standard error.
  OwnedFile screen(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
  if (!screen) return PasswordAnswer::kNoConsole;
  auto show = [&](std::u16string_view text) {
    DWORD written = 0;
    WriteConsoleW(screen.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  };
  show(question);
  SetConsoleMode(input, (mode | ENABLE_LINE_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  DWORD read = 0;
  const BOOL ok = ReadConsoleW(input, password.buffer(), static_cast<DWORD>(password.capacity()),
                               &read, nullptr);
  SetConsoleMode(input, mode);
  show(u"\n");
  if (!ok) {
    password.Wipe();
    return PasswordAnswer::kNoConsole;
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
  return password.empty() ? PasswordAnswer::kEmptyEntry : PasswordAnswer::kEntered;
}

FileRead Win32PadctlFiles::ReadWholeFile(std::u16string_view path, std::size_t mostBytes,
                                         std::vector<std::uint8_t>& bytes) {
  const std::wstring name = WideString(path);
  OwnedFile file(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return FileRead::kUnreadable;
  // One byte more than is taken tells a file that is too long, whatever kind of file it is.
  bytes.assign(mostBytes + 1, 0);
  std::size_t total = 0;
  while (total < bytes.size()) {
    DWORD read = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - total, 1 << 20));
    if (!::ReadFile(file.get(), bytes.data() + total, wanted, &read, nullptr)) {
      SecureZero(bytes.data(), bytes.size());
      bytes.clear();
      return FileRead::kUnreadable;
    }
    if (read == 0) break;
    total += read;
  }
  if (total > mostBytes) {
    SecureZero(bytes.data(), bytes.size());
    bytes.clear();
    return FileRead::kTooLong;
  }
  bytes.resize(total);
  return FileRead::kRead;
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

bool Win32TrayProgram::RunsInAnotherSession() {
  DWORD ownSession = 0;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &ownSession)) return false;
  OwnedFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  const OwnedHandle ownToken = TokenOf(GetCurrentProcess(), TOKEN_QUERY);
  if (!ownToken) return false;
  const ProcessUser self = UserOfToken(ownToken.get());
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (lstrcmpiW(entry.szExeFile, kTrayProgramFile) != 0) continue;
    DWORD session = 0;
    if (!ProcessIdToSessionId(entry.th32ProcessID, &session) || session == ownSession) continue;
    // Another user's copy cannot be opened this far by an unelevated tool; only the same
    // user's copies are sought.
    OwnedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    const OwnedHandle token = process ? TokenOf(process.get(), TOKEN_QUERY) : OwnedHandle();
    if (token && SameUser(self, UserOfToken(token.get()))) return true;
  }
  return false;
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
  // Its rights, for starting it again as it ran where no shell tells the desktop's.
  OwnedHandle token = PrimaryTokenOf(processId);
  // The message "/CLOSE" sends; the program ends without asking.
  SendToRunningInstance(kTrayInstanceName, WM_CLOSE);
  if (WaitForSingleObject(process.get(), kTrayCloseWaitMs) != WAIT_OBJECT_0) return false;
  imagePath_.assign(image, length);
  closedToken_ = std::move(token);
  closed_ = true;
  return true;
}

TrayRestart Win32TrayProgram::Restart() {
  if (!closed_.exchange(false)) return TrayRestart::kRestarted;
  std::wstring commandLine = L"\"" + imagePath_ + L"\"";
  std::wstring folder = imagePath_;
  const std::size_t slash = folder.find_last_of(L'\\');
  folder = slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
  const wchar_t* where = folder.empty() ? nullptr : folder.c_str();

  const OwnedHandle own = TokenOf(GetCurrentProcess(), TOKEN_QUERY);
  const bool toolElevated = own && TokenIsElevated(own.get());
  OwnedHandle shell = ShellToken();
  const HANDLE desktop = shell ? shell.get() : closedToken_.get();
  DesktopRights rights;
  if (desktop && own) {
    rights.known = true;
    rights.sameUser = SameUser(UserOfToken(own.get()), UserOfToken(desktop));
    rights.elevated = TokenIsElevated(desktop);
    rights.tokenUsable = true;
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  switch (ChooseRestartRoute(toolElevated, rights)) {
    case RestartRoute::kToolsOwnToken:
      if (!CreateProcessW(imagePath_.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                          DETACHED_PROCESS, nullptr, where, &startup, &started))
        return TrayRestart::kFailed;
      break;
    case RestartRoute::kDesktopToken:
      // Starting with another token takes the impersonation right an elevated prompt holds.
      EnablePrivilege(SE_IMPERSONATE_NAME);
      // Never the tool's own token instead: the user starts it.
      if (!CreateProcessWithTokenW(desktop, 0, imagePath_.c_str(), commandLine.data(),
                                   DETACHED_PROCESS, nullptr, where, &startup, &started))
        return TrayRestart::kLeftToUser;
      break;
    default:
      return TrayRestart::kLeftToUser;
  }
  // The program runs on by itself; neither handle is needed.
  const OwnedHandle thread(started.hThread);
  const OwnedHandle process(started.hProcess);
  return TrayRestart::kRestarted;
}

std::u16string Win32TrayProgram::ProgramPath() {
  return std::u16string(Utf16(imagePath_.c_str()), imagePath_.size());
}

bool Win32ToolInstanceLock::TryAcquire() {
  if (mutex_) return true;
  OwnedHandle mutex(CreateMutexW(nullptr, FALSE, kToolInstanceMutex));
  // Access denied: another user's (or an elevated) instance made it and holds it.
  if (!mutex) return false;
  const DWORD waited = WaitForSingleObject(mutex.get(), 0);
  // An abandoned mutex: the instance that held it ended without letting go; the key pads are free.
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return false;
  mutex_ = mutex.release();
  return true;
}

void Win32ToolInstanceLock::Release() {
  if (!mutex_) return;
  ReleaseMutex(mutex_);
  CloseHandle(mutex_);
  mutex_ = nullptr;
}

int PadctlConsoleMain(int argc, wchar_t** argv, HidSystem& hid) {
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(Utf16(argv[i]));

  DeviceContext device(hid);
  Win32PadctlFiles files;
  ConsolePasswordPrompt console;
  ConsoleOutput output;
  Win32TrayProgram tray;
  Win32ToolInstanceLock instances;
  RegistrySettings settings;
  trayForSignals = &tray;
  SetConsoleCtrlHandler(OnConsoleSignal, TRUE);
  PadctlPorts ports{device,    files,    console,          output,      tray,
                    instances, settings, &cancelRequested, kToolVersion};
  const int status = RunPadctl(arguments, ports);
  SetConsoleCtrlHandler(OnConsoleSignal, FALSE);
  trayForSignals = nullptr;
  return status;
}

}  // namespace qv
