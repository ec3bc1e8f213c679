#include "common/win32/hook_thread.h"

#include <memory>
#include <utility>

namespace qv {
namespace {

// What the starting thread hands to the hook's thread, and the answer it waits for.
struct HookThreadStart {
  HOOKPROC procedure = nullptr;
  void (*prepare)() = nullptr;
  HANDLE ready = nullptr;
  HHOOK hook = nullptr;
};

DWORD WINAPI ServeHook(void* parameter) {
  auto* start = static_cast<HookThreadStart*>(parameter);
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue, for WM_QUIT
  if (start->prepare) start->prepare();
  const HHOOK hook =
      SetWindowsHookExW(WH_KEYBOARD_LL, start->procedure, GetModuleHandleW(nullptr), 0);
  start->hook = hook;
  SetEvent(start->ready);  // |start| is not touched after this
  if (!hook) return 1;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  // A hook the system removed already cannot be unhooked; either way it is gone now.
  UnhookWindowsHookEx(hook);
  return 0;
}

}  // namespace

HHOOK KeyboardHookThread::Start(HOOKPROC procedure, void (*prepare)()) {
  ForgetIfEnded();
  if (thread_ || !procedure) return nullptr;
  OwnedHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!ready) return nullptr;
  auto start = std::make_unique<HookThreadStart>();
  start->procedure = procedure;
  start->prepare = prepare;
  start->ready = ready.get();
  DWORD id = 0;
  OwnedHandle thread(CreateThread(nullptr, 0, ServeHook, start.get(), 0, &id));
  if (!thread) return nullptr;
  const HANDLE waits[] = {ready.get(), thread.get()};
  const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, waitMs_);
  if (woke == WAIT_OBJECT_0 && start->hook) {
    thread_ = std::move(thread);
    threadId_ = id;
    return start->hook;
  }
  // The thread ends by itself when the hook failed; one that never answered is told to end.
  if (woke == WAIT_TIMEOUT) PostThreadMessageW(id, WM_QUIT, 0, 0);
  if (WaitForSingleObject(thread.get(), waitMs_) != WAIT_OBJECT_0) {
    // Still running: it may yet use its start block and event, so they stay; and it may yet put
    // its hook in, so it stays recorded (Stop tells it again to end).
    start.release();
    ready.release();
    thread_ = std::move(thread);
    threadId_ = id;
  }
  return nullptr;
}

bool KeyboardHookThread::Stop() {
  if (!thread_) return true;
  PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
  if (WaitForSingleObject(thread_.get(), waitMs_) != WAIT_OBJECT_0) return false;
  thread_.reset();
  threadId_ = 0;
  return true;
}

bool KeyboardHookThread::Recorded() {
  ForgetIfEnded();
  return static_cast<bool>(thread_);
}

void KeyboardHookThread::ForgetIfEnded() {
  if (thread_ && WaitForSingleObject(thread_.get(), 0) == WAIT_OBJECT_0) {
    thread_.reset();
    threadId_ = 0;
  }
}

}  // namespace qv
