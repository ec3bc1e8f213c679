#include "softkbd/win32/hot_key_hook_win32.h"

#include <mutex>
#include <utility>

#include "common/win32/hook_thread.h"
#include "softkbd/hot_key_hook_lifetime.h"
#include "softkbd/soft_keyboard_controls.h"

namespace qv {
namespace {

std::atomic<HHOOK> softKeyboardHook{nullptr};
// The targets and their lock, which is held only to copy or replace the pointer.
std::mutex targetsLock;
std::shared_ptr<HotKeyTargets> hotKeyTargets;
// Only the hook's own thread touches the modifiers.
HotKeyModifiers modifiers;

// Install and remove run one at a time, with the bookkeeping of when; the hook procedure never
// takes this lock.
std::mutex hookLock;
HotKeyHookLifetime hookLifetime;
// Served by a thread of its own, so a soft keyboard thread that is busy (typing a key code with
// delays, talking to its key pad, waiting for the display) never holds up the system's keyboard
// input or gets the hook dropped for answering late.
KeyboardHookThread hookThread;

LRESULT CALLBACK SoftKeyboardHookProc(int code, WPARAM wParam, LPARAM lParam) {
  const std::shared_ptr<HotKeyTargets> targets =
      code == HC_ACTION ? CurrentHotKeyTargets() : nullptr;
  if (targets) {
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

// Runs on the hook's own thread before its hook sees a key.
void ForgetModifiers() {
  modifiers = HotKeyModifiers{};
}

// With hookLock held.
bool InstallLocked() {
  if (softKeyboardHook.load()) return false;
  const HHOOK hook = hookThread.Start(SoftKeyboardHookProc, ForgetModifiers);
  if (!hook) return false;
  softKeyboardHook = hook;
  return true;
}

// With hookLock held.
void RemoveLocked() {
  softKeyboardHook = nullptr;
  // A thread that has not ended may still hold its hook: it stays recorded, so that no second
  // hook is put in beside it.
  hookThread.Stop();
}

}  // namespace

void SetHotKeyTargets(std::shared_ptr<HotKeyTargets> targets) {
  const std::lock_guard<std::mutex> lock(targetsLock);
  hotKeyTargets = std::move(targets);
}

void ForgetHotKeyTargets(const HotKeyTargets* targets) {
  std::shared_ptr<HotKeyTargets> forgotten;  // released after the lock
  const std::lock_guard<std::mutex> lock(targetsLock);
  if (hotKeyTargets.get() == targets) forgotten = std::move(hotKeyTargets);
}

std::shared_ptr<HotKeyTargets> CurrentHotKeyTargets() {
  const std::lock_guard<std::mutex> lock(targetsLock);
  return hotKeyTargets;
}

bool InstallSoftKeyboardHook() {
  const std::lock_guard<std::mutex> lock(hookLock);
  return InstallLocked();
}

void RemoveSoftKeyboardHook() {
  const std::lock_guard<std::mutex> lock(hookLock);
  RemoveLocked();
}

void OnSoftKeyboardWindowCreated() {
  const std::lock_guard<std::mutex> lock(hookLock);
  if (hookLifetime.OnKeyboardCreated()) InstallLocked();
}

void OnSoftKeyboardWindowDestroyed() {
  const std::lock_guard<std::mutex> lock(hookLock);
  if (hookLifetime.OnKeyboardDestroyed()) RemoveLocked();
}

void OnSessionBackForHotKey() {
  const std::lock_guard<std::mutex> lock(hookLock);
  if (!hookLifetime.OnSessionBack()) return;
  RemoveLocked();
  InstallLocked();
}

bool SoftKeyboardHookInstalled() {
  return softKeyboardHook.load() != nullptr;
}

}  // namespace qv
