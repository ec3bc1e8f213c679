// The end of the Windows session, or an installer closing the program (WM_QUERYENDSESSION and
// WM_ENDSESSION with ENDSESSION_CLOSEAPP), in the states a user may leave the program in: a
// dialog open, a soft key held down, a key pad in its editing state that stops answering.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "common/ids.h"
#include "device/device_commands.h"
#include "device/device_context.h"
#include "keyboard_hook_recorder.h"
#include "keycode/key_table.h"
#include "resource.h"
#include "shell_fixture.h"

namespace qv {
namespace {

using testing::HookedKey;
using testing::KeyboardHookRecorder;
using testing::PumpUntil;
using testing::ShellRig;

// Windows waits about five seconds for a program that does not answer; a loaded test machine
// needs some room beyond that. A key pad exchange that waited its full time would not fit.
constexpr DWORD kEndWithinMs = 8000;

// Presses Cancel in every visible dialog of this process.
void CancelOpenDialogs() {
  EnumWindows(
      [](HWND dialog, LPARAM) -> BOOL {
        DWORD processId = 0;
        GetWindowThreadProcessId(dialog, &processId);
        wchar_t className[16] = {};
        GetClassNameW(dialog, className, 16);
        if (processId == GetCurrentProcessId() && IsWindowVisible(dialog) &&
            lstrcmpW(className, L"#32770") == 0) {
          PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
        return TRUE;
      },
      0);
}

// Asks the main window to end the way the Restart Manager does, from a second thread (the test
// thread may sit in a dialog's loop), once `ready` holds. Records the answer to the question.
// With `byClose`, the main window is sent WM_CLOSE instead, as "/CLOSE" sends it from a second
// start of the program.
class SessionEnder {
 public:
  SessionEnder(HWND window, std::function<bool()> ready, bool byClose = false)
      : thread_([this, window, ready = std::move(ready), byClose] {
          const DWORD start = GetTickCount();
          while (!ready()) {
            if (GetTickCount() - start > 15000) return;
            Sleep(20);
          }
          DWORD_PTR answer = TRUE;
          if (!byClose) {
            SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_NORMAL,
                                5000, &answer);
          }
          queryAnswer_ = static_cast<LRESULT>(answer);
          sentAt_ = GetTickCount();
          DWORD_PTR ignored = 0;
          if (byClose) {
            SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_NORMAL, kEndWithinMs, &ignored);
          } else {
            SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_NORMAL,
                                kEndWithinMs, &ignored);
          }
          sent_ = true;
          // A program that did not end leaves its dialog's loop running on the test thread:
          // cancel what is open, so that the test fails instead of hanging.
          while (IsWindow(window) && GetTickCount() - sentAt_ < kEndWithinMs) Sleep(20);
          if (IsWindow(window)) CancelOpenDialogs();
        }) {}
  ~SessionEnder() { thread_.join(); }
  bool sent() const { return sent_; }
  LRESULT queryAnswer() const { return queryAnswer_; }
  DWORD sentAt() const { return sentAt_; }

 private:
  std::atomic<bool> sent_{false};
  std::atomic<LRESULT> queryAnswer_{0};
  std::atomic<DWORD> sentAt_{0};
  std::thread thread_;
};

// Pumps until the main window is gone; the time it took from the end message, or -1.
long PumpUntilEnded(ShellRig& rig, const SessionEnder& ender) {
  HWND window = rig.window();
  if (!PumpUntil([&] { return ender.sent() && !IsWindow(window); }, 20000)) return -1;
  return static_cast<long>(GetTickCount() - ender.sentAt());
}

TEST(SessionEnd, IdleAndWithTheAboutBoxOpen) {
  {
    ShellRig rig;
    ASSERT_TRUE(rig.started);
    SessionEnder ender(rig.window(), [] { return true; });
    const long took = PumpUntilEnded(rig, ender);
    EXPECT_EQ(ender.queryAnswer(), TRUE);
    EXPECT_GE(took, 0);
    EXPECT_LT(took, static_cast<long>(kEndWithinMs));
    EXPECT_EQ(rig.app().mainWindow, nullptr);
  }
  {
    ShellRig rig;
    ASSERT_TRUE(rig.started);
    SessionEnder ender(rig.window(),
                       [] { return testing::FindTopLevel(L"バージョン情報") != nullptr; });
    // The about box's loop runs inside this dispatch until the end closes the box.
    PostMessageW(rig.window(), WM_COMMAND, MAKEWPARAM(IDM_ABOUT, 0), 0);
    const long took = PumpUntilEnded(rig, ender);
    EXPECT_EQ(ender.queryAnswer(), TRUE);
    EXPECT_GE(took, 0);
    EXPECT_LT(took, static_cast<long>(kEndWithinMs));
    EXPECT_EQ(testing::FindTopLevel(L"バージョン情報"), nullptr);
  }
}

POINT CentreOf(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

void MouseAt(POINT point, DWORD flags) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = point.x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
  input.mi.dy = point.y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
  input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &input, sizeof input);
}

// The last event the hook saw for `vk` was its release, and nothing followed the end.
bool ReleasedAtTheEnd(const std::vector<HookedKey>& events, DWORD vk) {
  for (auto it = events.rbegin(); it != events.rend(); ++it) {
    if (it->vk == vk) return (it->flags & LLKHF_UP) != 0;
  }
  return false;
}

TEST(SessionEnd, SoftKeyHeldDownIsReleased) {
  ShellRig rig;
  ASSERT_TRUE(rig.started);
  rig.app().shell.touchEnabled = 1;
  const EmulatedDeviceId id = rig.Attach(0x1224, 21);
  // Key 2 types "s" again and again while it is held.
  KeyCodeRecord repeating;
  repeating.bytes[0] = 4;
  repeating.bytes[1] = kRepeat1;
  repeating.bytes[2] = 32;
  repeating.bytes[3] = 32 | 0x80;
  rig.hid.SetRecord(id, 2, repeating);
  HWND keyboard = nullptr;
  ASSERT_TRUE(PumpUntil(
      [&] {
        keyboard = rig.app().softKeyboards.SoftKeyboardWindow(0);
        return keyboard && IsWindowVisible(keyboard);
      },
      15000));
  KeyboardHookRecorder recorder;
  ASSERT_TRUE(recorder.installed());
  const POINT key = CentreOf(GetDlgItem(keyboard, 32968 + 1));
  MouseAt(key, 0);
  PumpUntil([] { return false; }, 50);
  MouseAt(key, MOUSEEVENTF_LEFTDOWN);
  // Held: the key types three times or more.
  ASSERT_TRUE(PumpUntil([&] {
    int presses = 0;
    for (const HookedKey& event : recorder.Events())
      presses += event.vk == 'S' && (event.flags & LLKHF_UP) == 0;
    return presses >= 3;
  }));

  SessionEnder ender(rig.window(), [] { return true; });
  const long took = PumpUntilEnded(rig, ender);
  EXPECT_GE(took, 0);
  EXPECT_LT(took, static_cast<long>(kEndWithinMs));
  const std::size_t seen = recorder.Events().size();
  EXPECT_TRUE(ReleasedAtTheEnd(recorder.Events(), 'S'));
  // Nothing types after the end.
  Sleep(300);
  EXPECT_EQ(recorder.Events().size(), seen);
  MouseAt(key, MOUSEEVENTF_LEFTUP);
}

// A soft keyboard's status read (for its right-click menu) waits on a Bluetooth LE key pad that
// stopped answering: the end cuts that wait short before it closes the keyboard, instead of
// letting the close wait out the exchange's whole time-out.
TEST(SessionEnd, ASoftKeyboardWaitingOnASilentKeyPadDoesNotHoldTheEndUp) {
  ShellRig rig;
  ASSERT_TRUE(rig.started);
  rig.app().shell.touchEnabled = 1;
  EmulatedKeyPad keyPadSpec;
  keyPadSpec.productId = 0x074F;
  keyPadSpec.version = 0;
  keyPadSpec.bluetooth = true;
  keyPadSpec.serial = 32;
  const EmulatedDeviceId id = rig.hid.AttachKeyPad(keyPadSpec);
  HWND keyboard = nullptr;
  // The scan that connected the key pad is over: it locks a keyboard's settings as its last
  // step for that key pad, and its exchanges all run within it.
  ASSERT_TRUE(PumpUntil(
      [&] {
        keyboard = rig.app().softKeyboards.SoftKeyboardWindow(0);
        return keyboard && IsWindowVisible(keyboard) &&
               rig.app().keyPads.slots[0].settingsLocked.load() &&
               !rig.app().keyPads.rescanRunning.load();
      },
      15000));

  KeyPadFaults faults;
  faults.silent = true;
  rig.hid.SetFaults(id, faults);
  rig.hid.ClearRequests(id);
  rig.app().keyPads.slots[0].settingsLocked = false;  // the key menus may open
  HWND key = GetDlgItem(keyboard, 32968);
  ASSERT_NE(key, nullptr);
  PostMessageW(keyboard, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(key), MAKELPARAM(-1, -1));
  // The status request reached the key pad, which will not answer it.
  ASSERT_TRUE(PumpUntil(
      [&] {
        for (const ReceivedRequest& request : rig.hid.Requests(id))
          if (request.command == kCmdReadDeviceInfo) return true;
        return false;
      },
      5000));

  SessionEnder ender(rig.window(), [] { return true; });
  const long took = PumpUntilEnded(rig, ender);
  EXPECT_GE(took, 0);
  EXPECT_LT(took, 3000L);
  EXPECT_EQ(rig.app().softKeyboards.SoftKeyboardWindow(0), nullptr);
}

// The key-code dialog is open, so the key pad holds its editing value; the key pad then stops
// answering. The end of the session, or "/CLOSE", still comes within a few seconds and the
// resume value is sent.
TEST(SessionEnd, KeyPadInItsEditingStateIsResumedEvenWhenSilent) {
  for (const auto& [silent, byClose] :
       {std::pair{false, false}, std::pair{true, false}, std::pair{false, true}}) {
    SCOPED_TRACE(silent ? "silent key pad" : "answering key pad");
    SCOPED_TRACE(byClose ? "closed" : "session ended");
    ShellRig rig;
    ASSERT_TRUE(rig.started);
    EmulatedKeyPad keyPadSpec;
    keyPadSpec.productId = 0x074F;
    keyPadSpec.version = 0;
    keyPadSpec.bluetooth = true;
    keyPadSpec.status = 0x20;
    keyPadSpec.serial = 31;
    const EmulatedDeviceId id = rig.hid.AttachKeyPad(keyPadSpec);
    // The scan that connected the key pad is over (its exchanges all run within it).
    ASSERT_TRUE(PumpUntil(
        [&] {
          return rig.app().keyPads.keyPadCount.load() == 1 &&
                 rig.app().keyPads.slots[0].modelIdentity != 0 &&
                 !rig.app().keyPads.rescanRunning.load();
        },
        15000));

    SessionEnder ender(
        rig.window(),
        [&] {
          if (!testing::FindTopLevel(L"キーコード設定")) return false;
          if (silent) {
            KeyPadFaults faults;
            faults.silent = true;
            rig.hid.SetFaults(id, faults);
          }
          return true;
        },
        byClose);
    PostMessageW(rig.window(), WM_COMMAND, MAKEWPARAM(kCommandKeyCodeSettings, 0), 0);
    const long took = PumpUntilEnded(rig, ender);
    EXPECT_GE(took, 0);
    // Exchanges that were already waiting on the silent key pad when the end came (another
    // thread's, which the end's own exchanges queue behind) run out their full time first.
    const long allowed = static_cast<long>(kEndWithinMs + (silent ? 2 * kFramedTimeoutMs : 0));
    EXPECT_LT(took, allowed);
    // The last status the key pad was sent (a silent key pad receives it without answering).
    int lastStatusSent = -1;
    for (const ReceivedRequest& request : rig.hid.Requests(id)) {
      if (request.command == kCmdWriteStatusByte && !request.payload.empty())
        lastStatusSent = request.payload[0];
    }
    EXPECT_EQ(lastStatusSent, ResumeStatusValue(0x20));
    EXPECT_EQ(testing::FindTopLevel(L"キーコード設定"), nullptr);
  }
}

}  // namespace
}  // namespace qv
