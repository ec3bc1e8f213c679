// A low-level keyboard hook on a thread of its own that records every injected key event and
// swallows it, so that typing in a test reaches no window.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace qv::testing {

struct HookedKey {
  DWORD vk;
  DWORD scan;
  DWORD flags;
  DWORD time;
  LONGLONG counter;  // QueryPerformanceCounter at the hook
};

class KeyboardHookRecorder {
 public:
  // `swallow`: the recorded events go no further (false lets them reach the focused window).
  explicit KeyboardHookRecorder(bool swallow = true) : swallow_(swallow) {
    events_.reserve(4096);
    instance_ = this;
    thread_ = std::thread([this] { Run(); });
    std::unique_lock lock(mutex_);
    while (!ready_) {
      lock.unlock();
      Sleep(1);
      lock.lock();
    }
  }
  ~KeyboardHookRecorder() {
    PostThreadMessageW(threadId_.load(), WM_QUIT, 0, 0);
    thread_.join();
    instance_ = nullptr;
  }
  bool installed() const { return installed_; }
  std::vector<HookedKey> Events() {
    std::lock_guard lock(mutex_);
    return events_;
  }
  // Waits up to timeoutMs for `count` events.
  bool AwaitEvents(std::size_t count, DWORD timeoutMs = 5000) {
    const DWORD start = GetTickCount();
    while (Events().size() < count) {
      if (GetTickCount() - start > timeoutMs) return false;
      Sleep(5);
    }
    return true;
  }

 private:
  void Run() {
    threadId_ = GetCurrentThreadId();
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists now
    HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, &Procedure, GetModuleHandleW(nullptr), 0);
    {
      std::lock_guard lock(mutex_);
      installed_ = hook != nullptr;
      ready_ = true;
    }
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    if (hook) UnhookWindowsHookEx(hook);
  }
  static LRESULT CALLBACK Procedure(int code, WPARAM wParam, LPARAM lParam) {
    KeyboardHookRecorder* self = instance_;
    if (code == HC_ACTION && self) {
      const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
      if (key->flags & LLKHF_INJECTED) {
        LARGE_INTEGER counter;
        QueryPerformanceCounter(&counter);
        {
          std::lock_guard lock(self->mutex_);
          self->events_.push_back(
              {key->vkCode, key->scanCode, key->flags, key->time, counter.QuadPart});
        }
        if (self->swallow_) return 1;
      }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }

  static inline std::atomic<KeyboardHookRecorder*> instance_{nullptr};
  bool swallow_;
  std::thread thread_;
  std::atomic<DWORD> threadId_{0};
  std::mutex mutex_;
  bool ready_ = false;
  bool installed_ = false;
  std::vector<HookedKey> events_;
};

}  // namespace qv::testing
