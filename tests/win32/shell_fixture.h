// Runs the program's main window inside the test process over emulated key pads, and answers
// the message boxes and dialogs it opens from a second thread, as a user would.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/win32/application.h"
#include "emulator/emulated_hid_system.h"

namespace qv::testing {

// Pumps this thread's messages until `done` holds or the time is up; true when it held.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000) {
  DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeoutMs) return false;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

// Presses and releases keys as the keyboard would: each pair is a virtual key and whether it goes
// up.
inline void SendKeys(std::initializer_list<std::pair<WORD, bool>> keys) {
  std::vector<INPUT> inputs;
  for (const auto& [vk, up] : keys) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, 0));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
  }
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

inline std::wstring WindowText(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

// A window with an Edit control where typed keys land; Focus gives the Edit the input focus.
struct TypingTarget {
  HWND window = CreateWindowExW(0, L"static", L"target", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50,
                                300, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  HWND edit = CreateWindowExW(0, L"edit", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 200, 30,
                              window, nullptr, GetModuleHandleW(nullptr), nullptr);
  bool Focus() {
    SetForegroundWindow(window);
    SetFocus(edit);
    return PumpUntil([&] { return GetFocus() == edit; });
  }
};

// Finds a top-level window of this process by its title, or null.
inline HWND FindTopLevel(const std::wstring& title) {
  struct Search {
    const std::wstring* title;
    HWND found;
  } search{&title, nullptr};
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto* s = reinterpret_cast<Search*>(context);
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        if (processId == GetCurrentProcessId() && IsWindowVisible(window) &&
            WindowText(window) == *s->title) {
          s->found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A user on a second thread: waits for a window with `title`, lets `act` look at it, then
// presses `buttonId` in it. (dialog_user.h's User runs a whole script against dialogs of
// the test's thread instead.)
class WindowUser {
 public:
  WindowUser(std::wstring title, int buttonId, std::function<void(HWND)> act = {},
             DWORD timeoutMs = 8000)
      : thread_([this, title = std::move(title), buttonId, act = std::move(act), timeoutMs] {
          DWORD start = GetTickCount();
          while (GetTickCount() - start < timeoutMs && !stop_) {
            if (HWND window = FindTopLevel(title)) {
              seen_ = true;
              if (act) act(window);
              PostMessageW(window, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), 0);
              return;
            }
            Sleep(20);
          }
        }) {}
  ~WindowUser() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool seen() const { return seen_; }
  void Wait() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::atomic<bool> seen_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// The main window over an emulated HID bus; destroyed (and its class unregistered) at the end.
class ShellRig {
 public:
  ShellRig() {
    Application& app = TheApplication();
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    SetProgramPath(app.shell.paths, reinterpret_cast<const char16_t*>(path));
    BoundedCopy(app.shell.paths.softKeyFolder, u"C:\\users\\Public\\qv-test-softkey\\");
    started = StartMainWindow(GetModuleHandleW(nullptr), SW_HIDE, hid);
  }
  ~ShellRig() {
    Application& app = TheApplication();
    if (app.mainWindow) DestroyWindow(app.mainWindow);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    for (KeyPadSlot& slot : app.keyPads.slots) CloseLink(*app.device, slot.link);
    UnregisterClassW(L"QV_PADCONF_LUMKEYS", GetModuleHandleW(nullptr));
  }
  Application& app() { return TheApplication(); }
  HWND window() { return TheApplication().mainWindow; }
  // What the keyboard-change watcher does on a change of the system's keyboards, from its own
  // thread.
  void KeyboardChanged() {
    HWND main = window();
    std::thread([main] { PostMessageW(main, kKeyboardChangedMessage, 0, 0); }).join();
  }
  EmulatedDeviceId Attach(std::uint16_t productId, std::uint32_t serial,
                          std::uint16_t version = 0x0100, const std::string& password = {}) {
    EmulatedKeyPad keyPadSpec;
    keyPadSpec.productId = productId;
    keyPadSpec.version = version;
    keyPadSpec.serial = serial;
    keyPadSpec.password = password;
    keyPadSpec.status = password.empty() ? 0x00 : 0x01;
    return hid.AttachKeyPad(keyPadSpec);
  }

  EmulatedHidSystem hid{EmulatedHidSystem::ClockMode::kReal};
  bool started = false;
};

}  // namespace qv::testing
