#include "softkbd/win32/hot_key_hook_win32.h"

#include <memory>
#include <mutex>
#include <utility>

#include "common/win32/owned.h"
#include "softkbd/soft_keyboard_controls.h"

namespace qv {
namespace {

// How long starting or ending the hook's thread may take before it is given up on.
constexpr DWORD kHookThreadWait = 5000;

std::atomic<HHOOK> softKeyboardHook{nullptr};
std::atomic<HotKeyTargets*> hotKeyTargets{nullptr};
// Only the hook's own thread touches the modifiers.
HotKeyModifiers modifiers;

// Install and remove run one at a time; the hook procedure never takes this lock.
std::mutex hookLock;
OwnedHandle hookThread;
DWORD hookThreadId = 0;

LRESULT CALLBACK SoftKeyboardHookProc(int code, WPARAM wParam, LPARAM lParam) {
  HotKeyTargets* targets = hotKeyTargets.load();
  if (code == HC_ACTION && targets) {
    const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    HotKeyKey key;
    key.keyUp = wParam == WM_KEYUP || wParam == WM_SYSKEYUP;
    key.vk = event->vkCode;
    key.ownInjection = (event->flags & LLKHF_INJECTED) && event->dwExtraInfo == kOwnInjectionMark;
    HotKeyModifiers heldNow;
    if (IsHotKeyDigitRelease(key)) {
      heldNow.alt = GetAsyncKeyState(VK_MENU) < 0;
      heldNow.control = GetAsyncKeyState(VK_CONTROL) < 0;
      heldNow.shift = GetAsyncKeyState(VK_SHIFT) < 0;
    }
    const int slot = HotKeyEvent(modifiers, key, targets->ModalActive(), heldNow);
    if (slot >= 0) {
      // Posted: the hook returns at once and the keyboard's own thread does the work.
      if (HWND window = targets->SoftKeyboardWindowOf(slot))
        PostMessageW(window, kToggleSoftKeyboardMessage, 0, 0);
    }
  }
  return CallNextHookEx(softKeyboardHook.load(), code, wParam, lParam);
}

struct HookThreadStart {
  HANDLE ready = nullptr;
  HHOOK hook = nullptr;
};

// The hook's own thread: it does nothing but serve the hook, so a soft keyboard thread that is
// busy (typing a key code with delays, talking to its key pad, waiting for the display) never
// holds up the system's keyboard input or gets the hook dropped for answering late.
DWORD WINAPI HookThread(void* parameter) {
  auto* start = static_cast<HookThreadStart*>(parameter);
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue, for WM_QUIT
  modifiers = HotKeyModifiers{};
  HHOOK hook =
      SetWindowsHookExW(WH_KEYBOARD_LL, SoftKeyboardHookProc, GetModuleHandleW(nullptr), 0);
  start->hook = hook;
  SetEvent(start->ready);  // |start| is not touched after this
  if (!hook) return 1;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  UnhookWindowsHookEx(hook);
  return 0;
}

// Ends the hook's thread; the caller holds |hookLock|.
void EndHookThread() {
  if (!hookThread) return;
  softKeyboardHook = nullptr;
  PostThreadMessageW(hookThreadId, WM_QUIT, 0, 0);
  // A thread that has not ended may still hold its hook: it stays recorded, so that no second
  // hook is put in beside it.
  if (WaitForSingleObject(hookThread.get(), kHookThreadWait) != WAIT_OBJECT_0) return;
  hookThread.reset();
  hookThreadId = 0;
}

// The recorded thread has ended since (late): it may be forgotten.
void ForgetEndedHookThread() {
  if (hookThread && !softKeyboardHook.load() &&
      WaitForSingleObject(hookThread.get(), 0) == WAIT_OBJECT_0) {
    hookThread.reset();
    hookThreadId = 0;
  }
}

}  // namespace

void SetHotKeyTargets(HotKeyTargets* targets) {
  hotKeyTargets = targets;
}

void ForgetHotKeyTargets(HotKeyTargets* targets) {
  hotKeyTargets.compare_exchange_strong(targets, nullptr);
}

bool InstallSoftKeyboardHook() {
  const std::lock_guard<std::mutex> lock(hookLock);
  ForgetEndedHookThread();
  if (hookThread) return false;
  OwnedHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!ready) return false;
  auto start = std::make_unique<HookThreadStart>();
  start->ready = ready.get();
  DWORD id = 0;
  OwnedHandle thread(CreateThread(nullptr, 0, HookThread, start.get(), 0, &id));
  if (!thread) return false;
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
    return false;
  }
  softKeyboardHook = start->hook;
  hookThread = std::move(thread);
  hookThreadId = id;
  return true;
}

void RemoveSoftKeyboardHook() {
  const std::lock_guard<std::mutex> lock(hookLock);
  EndHookThread();
}

bool SoftKeyboardHookInstalled() {
  return softKeyboardHook.load() != nullptr;
}

}  // namespace qv
