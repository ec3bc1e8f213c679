#include "softkbd/win32/hot_key_hook_win32.h"

#include "softkbd/soft_keyboard_controls.h"

namespace qv {
namespace {

std::atomic<HHOOK> softKeyboardHook{nullptr};
std::atomic<HotKeyTargets*> hotKeyTargets{nullptr};
// Only the hook's own thread touches the modifiers.
HotKeyModifiers modifiers;

LRESULT CALLBACK SoftKeyboardHookProc(int code, WPARAM wParam, LPARAM lParam) {
  HotKeyTargets* targets = hotKeyTargets.load();
  if (code == HC_ACTION && targets) {
    const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    const bool up = wParam == WM_KEYUP || wParam == WM_SYSKEYUP;
    const int slot = HotKeyEvent(modifiers, up, event->vkCode, targets->ModalActive());
    if (slot >= 0) {
      // Posted: the hook returns at once and the keyboard's own thread does the work.
      if (HWND window = targets->SoftKeyboardWindowOf(slot))
        PostMessageW(window, kToggleSoftKeyboardMessage, 0, 0);
    }
  }
  return CallNextHookEx(softKeyboardHook.load(), code, wParam, lParam);
}

}  // namespace

void SetHotKeyTargets(HotKeyTargets* targets) {
  hotKeyTargets = targets;
}

void ForgetHotKeyTargets(HotKeyTargets* targets) {
  hotKeyTargets.compare_exchange_strong(targets, nullptr);
}

bool InstallSoftKeyboardHook() {
  if (softKeyboardHook.load()) return false;
  HHOOK hook =
      SetWindowsHookExW(WH_KEYBOARD_LL, SoftKeyboardHookProc, GetModuleHandleW(nullptr), 0);
  if (!hook) return false;
  HHOOK none = nullptr;
  // Two soft keyboards starting together: the second one's hook goes again.
  if (!softKeyboardHook.compare_exchange_strong(none, hook)) {
    UnhookWindowsHookEx(hook);
    return false;
  }
  modifiers = HotKeyModifiers{};
  return true;
}

void RemoveSoftKeyboardHook() {
  if (HHOOK hook = softKeyboardHook.exchange(nullptr)) UnhookWindowsHookEx(hook);
}

bool SoftKeyboardHookInstalled() {
  return softKeyboardHook.load() != nullptr;
}

}  // namespace qv
