#include "keycode/win32/capture_hook_win32.h"

#include <atomic>
#include <memory>
#include <utility>

#include "common/ids.h"
#include "common/win32/owned.h"

namespace qv {
namespace {

// How long starting or ending the hook's thread may take before it is given up on.
constexpr DWORD kHookThreadWait = 5000;

// A hook procedure gets no user data: the session whose hook is installed (only one key input
// dialog exists at a time).
std::atomic<CaptureSession*> captureSession{nullptr};
std::atomic<HHOOK> captureHook{nullptr};
// Keys the hook passed on while capture ran: each may reach the dialog's thread once.
std::atomic<int> keysPassedOn{0};
std::atomic<bool> lossNoticed{false};

// Install and remove run one at a time; the hook procedures never take this lock.
std::mutex installLock;
OwnedHandle hookThread;
DWORD hookThreadId = 0;
HHOOK watchHook = nullptr;

LRESULT CALLBACK CaptureHookProc(int code, WPARAM wParam, LPARAM lParam) {
  CaptureSession* session = captureSession.load();
  if (session == nullptr || code != HC_ACTION || lParam == 0)
    return CallNextHookEx(nullptr, code, wParam, lParam);
  const auto* info = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
  KeyEvent event;
  event.action = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN || wParam == WM_KEYUP ||
                 wParam == WM_SYSKEYUP;
  event.vk = static_cast<std::uint16_t>(info->vkCode);
  event.extended = (info->flags & LLKHF_EXTENDED) != 0;
  event.release = wParam == WM_KEYUP || wParam == WM_SYSKEYUP;
  CaptureVerdict verdict;
  bool capturing = false;
  {
    const std::lock_guard<std::mutex> lock(session->lock);
    capturing = !session->capture.complete;
    verdict = OnCaptureKey(session->capture, event, *session->table);
  }
  if (verdict.appended) {
    PostMessageW(session->dialog, kEntriesChangedMessage, static_cast<WPARAM>(verdict.newLength),
                 static_cast<LPARAM>(verdict.vk));
  }
  const unsigned notice = (verdict.beep ? kCaptureNoticeBeep : 0u) |
                          (verdict.lockEditButtons ? kCaptureNoticeLockButtons : 0u);
  if (notice != 0) PostMessageW(session->dialog, kCaptureNoticeMessage, notice, 0);
  if (!verdict.passOn) return 1;
  if (capturing && event.action) ++keysPassedOn;
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool TakePassedOnKey() {
  int passed = keysPassedOn.load();
  while (passed > 0)
    if (keysPassedOn.compare_exchange_weak(passed, passed - 1)) return true;
  return false;
}

// The watch on the dialog's thread: a key message there while capture runs must be one the hook
// passed on. Any other one bypassed the hook, which the system has removed: it is kept from the
// dialog (Enter would press "登録") and the dialog is told to install the hook again.
LRESULT CALLBACK LostHookWatchProc(int code, WPARAM wParam, LPARAM lParam) {
  CaptureSession* session = captureSession.load();
  if (code == HC_ACTION && session != nullptr) {
    bool complete = false;
    {
      const std::lock_guard<std::mutex> lock(session->lock);
      complete = session->capture.complete;
    }
    if (!complete && !TakePassedOnKey()) {
      if (!lossNoticed.exchange(true)) PostMessageW(session->dialog, kCaptureHookLostMessage, 0, 0);
      return 1;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

struct HookThreadStart {
  HANDLE ready = nullptr;
  HHOOK hook = nullptr;
};

// The hook's own thread: it does nothing but serve the hook.
DWORD WINAPI HookThread(void* parameter) {
  auto* start = static_cast<HookThreadStart*>(parameter);
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue, for WM_QUIT
  HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, CaptureHookProc, GetModuleHandleW(nullptr), 0);
  start->hook = hook;
  SetEvent(start->ready);  // |start| is not touched after this
  if (!hook) return 1;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  // A hook the system removed already cannot be unhooked; either way it is gone now.
  UnhookWindowsHookEx(hook);
  return 0;
}

// Starts the hook's thread; the caller holds |installLock|. The hook handle when it runs.
HHOOK StartHookThread() {
  OwnedHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!ready) return nullptr;
  auto start = std::make_unique<HookThreadStart>();
  start->ready = ready.get();
  DWORD id = 0;
  OwnedHandle thread(CreateThread(nullptr, 0, HookThread, start.get(), 0, &id));
  if (!thread) return nullptr;
  const HANDLE waits[] = {ready.get(), thread.get()};
  const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, kHookThreadWait);
  if (woke != WAIT_OBJECT_0 || !start->hook) {
    // The thread ends by itself when the hook failed; one that never answered is told to end.
    if (woke == WAIT_TIMEOUT) PostThreadMessageW(id, WM_QUIT, 0, 0);
    if (WaitForSingleObject(thread.get(), kHookThreadWait) != WAIT_OBJECT_0) {
      // Still running: it may yet use its start block and event, so they stay.
      start.release();
      ready.release();
    }
    return nullptr;
  }
  hookThread = std::move(thread);
  hookThreadId = id;
  return start->hook;
}

// Ends the hook's thread and the watch; the caller holds |installLock|.
void StopHook() {
  captureSession = nullptr;
  captureHook = nullptr;
  if (watchHook) {
    UnhookWindowsHookEx(watchHook);
    watchHook = nullptr;
  }
  if (!hookThread) return;
  PostThreadMessageW(hookThreadId, WM_QUIT, 0, 0);
  WaitForSingleObject(hookThread.get(), kHookThreadWait);
  hookThread.reset();
  hookThreadId = 0;
}

}  // namespace

bool InstallCaptureHook(CaptureSession& session) {
  const std::lock_guard<std::mutex> lock(installLock);
  if (hookThread) return true;
  keysPassedOn = 0;
  lossNoticed = false;
  captureSession = &session;
  const HHOOK hook = StartHookThread();
  if (!hook) {
    captureSession = nullptr;
    return false;
  }
  captureHook = hook;
  watchHook = SetWindowsHookExW(WH_KEYBOARD, LostHookWatchProc, nullptr, GetCurrentThreadId());
  return true;
}

void RemoveCaptureHook() {
  const std::lock_guard<std::mutex> lock(installLock);
  StopHook();
}

bool CaptureHookInstalled() {
  return captureHook.load() != nullptr;
}

HHOOK CaptureHookHandle() {
  return captureHook.load();
}

}  // namespace qv
