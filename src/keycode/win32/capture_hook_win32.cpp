#include "keycode/win32/capture_hook_win32.h"

#include <atomic>

#include "common/ids.h"
#include "common/win32/hook_thread.h"
#include "common/win32/owned.h"

namespace qv {
namespace {

// A hook procedure gets no user data: the session whose hook is installed (only one key input
// dialog exists at a time).
std::atomic<CaptureSession*> captureSession{nullptr};
std::atomic<HHOOK> captureHook{nullptr};
// Keys the hook passed on while capture ran: each may reach the dialog's thread once.
std::atomic<int> keysPassedOn{0};
std::atomic<bool> lossNoticed{false};

// Install and remove run one at a time; the hook procedures never take this lock.
std::mutex installLock;
KeyboardHookThread hookThread;
OwnedHook watchHook;

// One key event into the session's capture: the dialog hears of each stroke appended and of each
// refusal. Returns whether the event goes on to the next hook.
bool CaptureOneKey(CaptureSession& session, const KeyEvent& event) {
  CaptureVerdict verdict;
  {
    const std::lock_guard<std::mutex> lock(session.lock);
    verdict = OnCaptureKey(session.capture, event, *session.table);
  }
  if (verdict.appended) {
    PostMessageW(session.dialog, kEntriesChangedMessage, static_cast<WPARAM>(verdict.newLength),
                 static_cast<LPARAM>(verdict.vk));
  }
  const unsigned notice = (verdict.beep ? kCaptureNoticeBeep : 0u) |
                          (verdict.lockEditButtons ? kCaptureNoticeLockButtons : 0u);
  if (notice != 0) PostMessageW(session.dialog, kCaptureNoticeMessage, notice, 0);
  return verdict.passOn;
}

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
  bool capturing = false;
  {
    const std::lock_guard<std::mutex> lock(session->lock);
    capturing = !session->capture.complete;
  }
  if (!CaptureOneKey(*session, event)) return 1;
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
// passed on. Any other one bypassed the hook: it was typed before the hook was in (the dialog came
// back to the front and the user typed at once, faster than a busy machine installed the hook),
// or the system has removed the hook. Either way the user typed it into the active dialog, so it
// is captured here as the hook would have captured it, never handed to the dialog as a key (Enter
// would press "登録"), and the dialog is told to install the hook again in case it is gone.
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
      const KeyEvent event = KeyEventFromKeyMessage(static_cast<std::uint16_t>(wParam),
                                                    static_cast<std::uint32_t>(lParam));
      if (!CaptureOneKey(*session, event)) return 1;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Ends the hook's thread and the watch; the caller holds |installLock|.
void StopHook() {
  captureSession = nullptr;
  captureHook = nullptr;
  watchHook.reset();
  hookThread.Stop();
}

}  // namespace

bool InstallCaptureHook(CaptureSession& session) {
  const std::lock_guard<std::mutex> lock(installLock);
  if (captureHook.load()) return true;
  keysPassedOn = 0;
  lossNoticed = false;
  captureSession = &session;
  const HHOOK hook = hookThread.Start(CaptureHookProc);
  if (!hook) {
    captureSession = nullptr;
    return false;
  }
  captureHook = hook;
  watchHook.reset(SetWindowsHookExW(WH_KEYBOARD, LostHookWatchProc, nullptr, GetCurrentThreadId()));
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
