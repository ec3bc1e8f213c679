// Playing the user of a modal dialog: a helper thread finds the dialogs that the test's thread
// runs and presses their buttons by messages.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "resource.h"

namespace qv {
namespace testing {

inline constexpr auto kWaitLimit = std::chrono::seconds(15);

inline std::wstring TextOf(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

inline std::wstring ItemText(HWND dialog, int id) {
  return TextOf(GetDlgItem(dialog, id));
}

// A visible, enabled dialog of `thread` with this title (enabled: no modal child is open over
// it), or null once the wait limit has passed.
inline HWND WaitForDialog(DWORD thread, const std::wstring& title) {
  struct Search {
    const std::wstring* title;
    HWND found;
  };
  const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
  while (std::chrono::steady_clock::now() < deadline) {
    Search search{&title, nullptr};
    EnumThreadWindows(
        thread,
        [](HWND window, LPARAM data) -> BOOL {
          auto* s = reinterpret_cast<Search*>(data);
          wchar_t className[32] = {};
          GetClassNameW(window, className, 32);
          if (std::wstring(className) == L"#32770" && IsWindowVisible(window) &&
              IsWindowEnabled(window) && TextOf(window) == *s->title) {
            s->found = window;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return nullptr;
}

inline void Press(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

// Runs `user` on a helper thread while the test's thread runs the dialogs. When the user's
// script stops early, whatever dialog is left is cancelled so the test cannot hang.
class User {
 public:
  explicit User(std::function<void(DWORD)> script)
      : thread_([this, script, owner = GetCurrentThreadId()] {
          script(owner);
          done_ = true;
          const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
          while (!finished_ && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
          }
          while (!finished_) {
            EnumThreadWindows(
                owner,
                [](HWND window, LPARAM) -> BOOL {
                  PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
                  PostMessageW(window, WM_COMMAND, IDC_ENTER_AGAIN, 0);
                  return TRUE;
                },
                0);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
          }
        }) {}
  ~User() {
    finished_ = true;
    thread_.join();
  }
  void Finished() { finished_ = true; }

 private:
  std::atomic<bool> done_{false};
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

}  // namespace testing
}  // namespace qv
