// Rules of the key input dialog (dialog 135) that only its window can show: the repeat and delay
// buttons of the models without them, capture only while the dialog is the active window, and a
// record that arrives by message taken only from the dialog's own shortcut list.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "common/ids.h"
#include "keycode/key_table.h"
#include "keycode/shortcuts.h"
#include "keycode/win32/key_input_dialog.h"
#include "win32/dialog_user.h"

namespace qv {
namespace {

using testing::Press;
using testing::User;
using testing::WaitForDialog;

bool WaitUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + testing::kWaitLimit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

int Rows(HWND dialog) {
  return static_cast<int>(SendDlgItemMessageW(dialog, kKeyCodeListId, LVM_GETITEMCOUNT, 0, 0));
}

void Tap(WORD vk) {
  INPUT inputs[2] = {};
  for (int i = 0; i < 2; ++i) {
    inputs[i].type = INPUT_KEYBOARD;
    inputs[i].ki.wVk = vk;
    inputs[i].ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, 0 /* MAPVK_VK_TO_VSC */));
    inputs[i].ki.dwFlags = i == 1 ? KEYEVENTF_KEYUP : 0;
  }
  SendInput(2, inputs, sizeof(INPUT));
}

struct KeyInputRun {
  EditedKeyCodes edited;
  KeyInputSession session;
  explicit KeyInputRun(std::uint16_t productId, int key = 0) {
    edited.selectedKey = key;
    session.edited = &edited;
    session.productId = productId;
  }
  INT_PTR Run() { return RunKeyInputDialog(nullptr, session); }
};

TEST(KeyInputDialogRules, RepeatAndDelayButtonsAreHiddenOnlyWhereTheModelHasNone) {
  const int ids[] = {kKeyInputRepeat1, kKeyInputRepeat2, kKeyInputDelay1, kKeyInputDelay2,
                     kKeyInputDelay3};
  for (std::uint16_t product :
       {std::uint16_t{1618}, std::uint16_t{1804}, std::uint16_t{1871}, std::uint16_t{4876}}) {
    const bool hidden = product == 1618 || product == 1804;
    KeyInputRun run(product);
    int visible = -1;
    bool japaneseKeys = false;
    User user([&](DWORD thread) {
      HWND dialog = WaitForDialog(thread, L"キー入力 #1");
      if (!dialog) return;
      visible = 0;
      for (int id : ids) visible += IsWindowVisible(GetDlgItem(dialog, id)) ? 1 : 0;
      japaneseKeys = IsWindowVisible(GetDlgItem(dialog, kKeyInputHankaku)) != FALSE;
      Press(dialog, kDialogCancel);
    });
    EXPECT_EQ(run.Run(), kDialogCancel);
    user.Finished();
    EXPECT_EQ(visible, hidden ? 0 : 5) << product;
    EXPECT_TRUE(japaneseKeys) << product;
  }
}

// A window on the test's thread that the user switches to while the dialog is open; it counts
// the key messages it receives.
struct OtherWindow {
  OtherWindow() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam,
                                 LPARAM lParam) -> LRESULT {
      if (message == WM_KEYDOWN || message == WM_KEYUP) ++keyMessages;
      return DefWindowProcW(window, message, wParam, lParam);
    };
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QvOtherWindow";
    RegisterClassW(&windowClass);
    keyMessages = 0;
    window = CreateWindowExW(0, L"QvOtherWindow", L"another window", WS_POPUP | WS_VISIBLE, 400, 0,
                             200, 80, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  ~OtherWindow() { DestroyWindow(window); }
  HWND window = nullptr;
  static inline std::atomic<int> keyMessages{0};
};

TEST(KeyInputDialogRules, KeysTypedWhileAnotherWindowIsActiveAreNotRecorded) {
  OtherWindow other;
  ASSERT_NE(other.window, nullptr);
  KeyInputRun run(4647);
  bool switched = false, back = false, bReachedTheOtherWindow = false;
  int rowsWhileAway = -1;
  User user([&](DWORD thread) {
    HWND dialog = WaitForDialog(thread, L"キー入力 #1");
    if (!dialog || !WaitUntil([&] { return GetForegroundWindow() == dialog; })) return;
    Tap('A');
    WaitUntil([&] { return Rows(dialog) == 2; });
    SetForegroundWindow(other.window);
    switched = WaitUntil([&] { return GetForegroundWindow() == other.window; });
    Tap('B');
    // B's press and release have reached the other window: they can no longer be recorded.
    bReachedTheOtherWindow = WaitUntil([&] { return OtherWindow::keyMessages >= 2; });
    rowsWhileAway = Rows(dialog);
    SetForegroundWindow(dialog);
    back = WaitUntil([&] { return GetForegroundWindow() == dialog; });
    Tap('C');
    WaitUntil([&] { return Rows(dialog) == 4; });
    Press(dialog, kDialogOk);
  });
  EXPECT_EQ(run.Run(), kDialogOk);
  user.Finished();
  ASSERT_TRUE(switched && back);
  EXPECT_TRUE(bReachedTheOtherWindow);
  EXPECT_EQ(rowsWhileAway, 2);
  // A and C, each pressed and released; B went to the other window.
  EXPECT_EQ(StrokeCount(run.edited.records[0]), 4);
}

// The user comes back to the dialog and types at once, before the dialog's thread has had the
// time to install its hook again (a busy machine): the keys are recorded all the same.
TEST(KeyInputDialogRules, KeysTypedAtOnceWhenTheDialogComesBackAreRecorded) {
  OtherWindow other;
  ASSERT_NE(other.window, nullptr);
  KeyInputRun run(4647);
  bool switched = false, recorded = false;
  User user([&](DWORD thread) {
    HWND dialog = WaitForDialog(thread, L"キー入力 #1");
    if (!dialog || !WaitUntil([&] { return GetForegroundWindow() == dialog; })) return;
    Tap('A');
    WaitUntil([&] { return Rows(dialog) == 2; });
    SetForegroundWindow(other.window);
    switched = WaitUntil([&] { return GetForegroundWindow() == other.window; });
    SetForegroundWindow(dialog);
    Tap('C');
    recorded = WaitUntil([&] { return Rows(dialog) == 4; });
    Press(dialog, kDialogOk);
  });
  EXPECT_EQ(run.Run(), kDialogOk);
  user.Finished();
  ASSERT_TRUE(switched);
  EXPECT_TRUE(recorded);
  const KeyTable& table = KeyTableFor(false);
  const std::uint8_t a = KeyNumberFromVk('A', table), c = KeyNumberFromVk('C', table);
  const KeyCodeRecord& record = run.edited.records[0];
  ASSERT_EQ(StrokeCount(record), 4);
  EXPECT_EQ(record.bytes[1], a);
  EXPECT_EQ(record.bytes[2], a | kStrokeReleaseBit);
  EXPECT_EQ(record.bytes[3], c);
  EXPECT_EQ(record.bytes[4], c | kStrokeReleaseBit);
}

TEST(KeyInputDialogRules, ARecordThatIsNotOneOfTheListsOwnIsRefused) {
  ShortcutList shortcuts;
  Shortcut ctrlC;
  std::char_traits<char16_t>::copy(ctrlC.keyText, u"CTRL+C", 7);
  ctrlC.records[0] = ctrlC.records[1] = BuildShortcutRecord(u"CTRL+C", KeyTableFor(false));
  shortcuts.entries.push_back(ctrlC);
  // The same key code, but not the list's: a pointer that a message may carry from anywhere.
  const KeyCodeRecord lookalike = ctrlC.records[0];

  KeyInputRun run(4647);
  run.session.shortcuts = &shortcuts;
  int rowsAfterForeign = -1, rowsAfterOwn = -1;
  User user([&](DWORD thread) {
    HWND dialog = WaitForDialog(thread, L"キー入力 #1");
    if (!dialog) return;
    PostMessageW(dialog, kLoadRecordMessage, 0, reinterpret_cast<LPARAM>(&lookalike));
    // The dialog takes its posted messages in order: once the button's press and release are
    // shown, the foreign record has been handled (it would have made 4 rows before them).
    Press(dialog, kKeyInputHankaku);
    WaitUntil([&] { return Rows(dialog) >= 2; });
    rowsAfterForeign = Rows(dialog);
    PostMessageW(dialog, kLoadRecordMessage, 0,
                 reinterpret_cast<LPARAM>(&shortcuts.entries[0].records[0]));
    WaitUntil([&] { return Rows(dialog) == 4; });
    rowsAfterOwn = Rows(dialog);
    Press(dialog, kDialogCancel);
  });
  EXPECT_EQ(run.Run(), kDialogCancel);
  user.Finished();
  EXPECT_EQ(rowsAfterForeign, 2);
  EXPECT_EQ(rowsAfterOwn, 4);
}

}  // namespace
}  // namespace qv
