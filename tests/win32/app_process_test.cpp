// Start-up across real processes: the first start, a second start, "/CLOSE", and a first
// instance that does not answer.
#include <shlobj.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const wchar_t* const kClassName = L"QV_PADCONF_LUMKEYS";
const wchar_t* const kSettingsKey = L"Software\\Morvalen\\qv-padconf";
constexpr UINT kRevealMessage = 32969;

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.rfind(L'\\'));
}

std::wstring LocalAppData() {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, path);
  return path;
}

bool FolderExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A started copy of the program.
struct Started {
  PROCESS_INFORMATION info = {};
  bool ok = false;
  ~Started() {
    if (!ok) return;
    if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info.hProcess, 99);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
  }
};

void Start(Started& started, const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + ProgramFolder() + L"\\qv-padconf.exe\"";
  if (!arguments.empty()) commandLine += L" " + arguments;
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  started.ok = CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &started.info) != 0;
}

// Waits for a process to end, pumping this thread's messages when asked (a window of this
// thread may be sent messages meanwhile). Returns its exit code, or -1 after the time-out.
long WaitForExit(const Started& started, DWORD timeoutMs, bool pump) {
  DWORD deadline = GetTickCount() + timeoutMs;
  for (;;) {
    DWORD now = GetTickCount();
    if (static_cast<LONG>(deadline - now) <= 0) return -1;
    DWORD wait = pump ? MsgWaitForMultipleObjects(1, &started.info.hProcess, FALSE, deadline - now,
                                                  QS_ALLINPUT)
                      : WaitForSingleObject(started.info.hProcess, deadline - now);
    if (wait == WAIT_OBJECT_0) break;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  DWORD code = 0;
  GetExitCodeProcess(started.info.hProcess, &code);
  return static_cast<long>(code);
}

HWND WaitForMainWindow(DWORD processId) {
  for (int i = 0; i < 200; ++i) {
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, kClassName, nullptr)) != nullptr) {
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (owner == processId) return window;
    }
    Sleep(50);
  }
  return nullptr;
}

// Removes a folder with everything in it (an earlier run may have left key pad folders).
void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring path = folder + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

void RemoveSettingsAndFolders() {
  RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
  RemoveTree(LocalAppData() + L"\\MORVALEN");
}

bool ReadTouchValue(DWORD& value, DWORD& type) {
  DWORD size = sizeof value;
  return RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, L"t_enable", RRF_RT_ANY, &type, &value,
                      &size) == ERROR_SUCCESS;
}

// Stands in for a running first instance inside the test process: the mutex and a hidden
// top-level window of the program's class that records what it is sent.
class FakeFirstInstance {
 public:
  FakeFirstInstance() {
    received().clear();
    mutex_ = CreateMutexW(nullptr, FALSE, kClassName);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Record;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);
    window_ = CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  ~FakeFirstInstance() {
    DestroyWindow(window_);
    UnregisterClassW(kClassName, GetModuleHandleW(nullptr));
    CloseHandle(mutex_);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  bool ready() const { return mutex_ && window_; }
  static std::vector<UINT>& received() {
    static std::vector<UINT> messages;
    return messages;
  }

 private:
  static LRESULT CALLBACK Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kRevealMessage || message == WM_CLOSE) {
      received().push_back(message);
      return 0;  // a close request is only recorded
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }
  HANDLE mutex_ = nullptr;
  HWND window_ = nullptr;
};

class ProgramProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // No copy of the program may be left running from an earlier case.
    while (HWND window = FindWindowW(kClassName, nullptr)) {
      DWORD processId = 0;
      GetWindowThreadProcessId(window, &processId);
      HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
      PostMessageW(window, WM_CLOSE, 0, 0);
      if (process) {
        if (WaitForSingleObject(process, 5000) != WAIT_OBJECT_0) TerminateProcess(process, 1);
        CloseHandle(process);
      }
    }
    RemoveSettingsAndFolders();
  }
  void TearDown() override { RemoveSettingsAndFolders(); }
};

TEST_F(ProgramProcessTest, FirstStartSecondStartAndCloseInAnyCase) {
  Started first;
  Start(first, L"");
  ASSERT_TRUE(first.ok);
  HWND window = WaitForMainWindow(first.info.dwProcessId);
  ASSERT_NE(window, nullptr) << "the main window did not appear";

  // The hidden main window: a tool window of size 0, out of the topmost band.
  RECT rect;
  GetWindowRect(window, &rect);
  EXPECT_EQ(rect.right - rect.left, 0);
  EXPECT_EQ(rect.bottom - rect.top, 0);
  // The window can be found while it is still being created: wait for its creation to end.
  LONG_PTR exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
  for (int i = 0; i < 100 && (exStyle & WS_EX_TOPMOST); ++i) {
    Sleep(20);
    exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
  }
  EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
  EXPECT_FALSE(exStyle & WS_EX_TOPMOST);

  // The first start created the switch and the data folders.
  DWORD value = 9, type = 0;
  ASSERT_TRUE(ReadTouchValue(value, type));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, 0u);
  EXPECT_TRUE(FolderExists(LocalAppData() + L"\\MORVALEN\\QV-PADCONF"));
  EXPECT_TRUE(FolderExists(LocalAppData() + L"\\MORVALEN\\QV-PADCONF\\softkey"));

  // A second plain start ends at once; the first keeps running.
  Started second;
  Start(second, L"");
  ASSERT_TRUE(second.ok);
  EXPECT_EQ(WaitForExit(second, 10000, false), 0);
  EXPECT_EQ(WaitForSingleObject(first.info.hProcess, 200), static_cast<DWORD>(WAIT_TIMEOUT));

  // "/CLOSE" followed by more text is a plain second start as well.
  Started notClose;
  Start(notClose, L"/CLOSE now");
  EXPECT_EQ(WaitForExit(notClose, 10000, false), 0);
  EXPECT_EQ(WaitForSingleObject(first.info.hProcess, 200), static_cast<DWORD>(WAIT_TIMEOUT));

  // "/close" in any case ends the first instance with exit code 0.
  Started closer;
  Start(closer, L"/cLoSe");
  EXPECT_EQ(WaitForExit(closer, 10000, false), 0);
  EXPECT_EQ(WaitForExit(first, 10000, false), 0);
}

TEST_F(ProgramProcessTest, SecondStartsMessageTheRunningInstance) {
  FakeFirstInstance running;
  ASSERT_TRUE(running.ready());

  Started plain;
  Start(plain, L"");
  EXPECT_EQ(WaitForExit(plain, 10000, true), 0);
  ASSERT_EQ(FakeFirstInstance::received(), std::vector<UINT>{kRevealMessage});
  // A second start writes the switch when it is missing, before it finds the first instance.
  DWORD value = 9, type = 0;
  EXPECT_TRUE(ReadTouchValue(value, type));

  FakeFirstInstance::received().clear();
  Started notClose;
  Start(notClose, L"/CLOSE now");
  EXPECT_EQ(WaitForExit(notClose, 10000, true), 0);
  EXPECT_EQ(FakeFirstInstance::received(), std::vector<UINT>{kRevealMessage});

  FakeFirstInstance::received().clear();
  Started closer;
  Start(closer, L"/Close");
  EXPECT_EQ(WaitForExit(closer, 10000, true), 0);
  EXPECT_EQ(FakeFirstInstance::received(), std::vector<UINT>{WM_CLOSE});
  // The main window class was not the second start's business: no folders were made by "/CLOSE".
}

TEST_F(ProgramProcessTest, HungFirstInstanceDoesNotHangASecondStart) {
  FakeFirstInstance running;
  ASSERT_TRUE(running.ready());
  // This thread does not pump messages while the second start runs: the instance "hangs".
  DWORD begin = GetTickCount();
  Started plain;
  Start(plain, L"");
  long code = WaitForExit(plain, 15000, false);
  DWORD elapsed = GetTickCount() - begin;
  EXPECT_EQ(code, 0);
  EXPECT_LT(elapsed, 10000u);
}

// Windows ends the session, or an installer closes the program: the program agrees and its
// process ends within a few seconds, idle or with its about box open.
TEST_F(ProgramProcessTest, EndsWhenTheSessionEnds) {
  for (const bool withDialog : {false, true}) {
    SCOPED_TRACE(withDialog ? "about box open" : "idle");
    Started program;
    Start(program, L"");
    ASSERT_TRUE(program.ok);
    HWND window = WaitForMainWindow(program.info.dwProcessId);
    ASSERT_TRUE(window);
    if (withDialog) {
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(104, 0), 0);
      HWND about = nullptr;
      for (int i = 0; i < 200 && !about; ++i) {
        Sleep(25);
        about = FindWindowW(L"#32770", L"バージョン情報");
      }
      ASSERT_TRUE(about);
    }
    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_NORMAL,
                                    5000, &answer));
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE));
    const DWORD begin = GetTickCount();
    SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_NORMAL, 5000,
                        &answer);
    // A few seconds, with room for a loaded test machine.
    EXPECT_EQ(WaitForExit(program, 8000, false), 0);
    EXPECT_LT(GetTickCount() - begin, 8000u);
  }
}

TEST_F(ProgramProcessTest, CloseWithNothingRunningChangesNothing) {
  Started closer;
  Start(closer, L"/CLOSE");
  ASSERT_TRUE(closer.ok);
  EXPECT_EQ(WaitForExit(closer, 10000, false), 0);
  DWORD value = 0, type = 0;
  EXPECT_FALSE(ReadTouchValue(value, type));
  EXPECT_FALSE(FolderExists(LocalAppData() + L"\\MORVALEN"));
  EXPECT_EQ(FindWindowW(kClassName, nullptr), nullptr);
}

}  // namespace
