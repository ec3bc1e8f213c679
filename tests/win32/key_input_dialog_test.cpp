// The key input dialog from the resource script with its low-level keyboard hook: keys typed
// with SendInput while it is active are recorded and kept from the rest of the system (NumLock
// excepted), and its buttons, the key pad's default key code (over the emulator) and the
// shortcut list build the record that "登録" stores.
#include "keycode/win32/key_input_dialog.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/ids.h"
#include "device/device_commands.h"
#include "device/device_context.h"
#include "device/device_link.h"
#include "emulator/emulated_hid_system.h"
#include "keycode/key_table.h"
#include "keycode/win32/capture_hook_win32.h"

namespace qv {
namespace {

using Strokes = std::vector<std::uint8_t>;
constexpr auto kWaitLimit = std::chrono::seconds(10);

bool WaitFor(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Pumps this thread's messages until `done` holds or the wait limit has passed.
bool PumpUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

void Type(std::initializer_list<std::pair<WORD, bool>> keys) {
  std::vector<INPUT> inputs;
  for (const auto& [vk, up] : keys) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, 0 /* MAPVK_VK_TO_VSC */));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
  }
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

int Rows(HWND dialog) {
  return static_cast<int>(SendDlgItemMessageW(dialog, kKeyCodeListId, LVM_GETITEMCOUNT, 0, 0));
}

Strokes StrokesOf(const KeyCodeRecord& record) {
  return Strokes(record.bytes.begin() + 1, record.bytes.begin() + StrokeCount(record) + 1);
}

void Press(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

// The key events that reach the hooks installed before the dialog's own, i.e. the system.
std::vector<DWORD> eventsPassedOn;
LRESULT CALLBACK WitnessHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) {
    const auto* info = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    eventsPassedOn.push_back(info->vkCode | ((info->flags & LLKHF_UP) ? 0x100u : 0u));
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The user on a second thread: a script run against the dialog once it is the active window;
// whatever is left open when the script ends is cancelled, so the test cannot hang.
class User {
 public:
  User(std::wstring title, std::function<void(HWND)> script)
      : thread_([this, title = std::move(title), script = std::move(script)] {
          HWND dialog = nullptr;
          const bool found = WaitFor([&] {
            dialog = FindWindowW(L"#32770", title.c_str());
            return dialog != nullptr && GetForegroundWindow() == dialog;
          });
          if (found) script(dialog);
          ran_ = found;
          while (!finished_) {
            if (HWND open = FindWindowW(L"#32770", title.c_str())) Press(open, kDialogCancel);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
          }
        }) {}
  ~User() {
    finished_ = true;
    thread_.join();
  }
  void Finished() { finished_ = true; }
  bool ran() const { return ran_; }

 private:
  std::atomic<bool> ran_{false};
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

struct EditWindow {
  EditWindow() {
    frame = CreateWindowExW(0, L"STATIC", L"focus before", WS_POPUP | WS_VISIBLE, 0, 0, 300, 80,
                            nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 0, 0, 300, 24, frame, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  }
  ~EditWindow() { DestroyWindow(frame); }
  std::wstring Text() const {
    wchar_t text[64] = {};
    GetWindowTextW(edit, text, 64);
    return text;
  }
  HWND frame = nullptr;
  HWND edit = nullptr;
};

TEST(KeyInputDialog, TypedKeysAreRecordedAndKeptFromTheFocusedWindowExceptNumLock) {
  EditWindow before;
  ASSERT_NE(before.edit, nullptr);
  SetForegroundWindow(before.frame);
  SetFocus(before.edit);
  // Without the dialog the keys reach the edit control, so their absence below means something.
  Type({{'Q', false}, {'Q', true}});
  ASSERT_TRUE(PumpUntil([&] { return before.Text() == L"q"; }));

  HHOOK witness = SetWindowsHookExW(WH_KEYBOARD_LL, WitnessHook, GetModuleHandleW(nullptr), 0);
  ASSERT_NE(witness, nullptr);
  const SHORT numLockBefore = GetKeyState(VK_NUMLOCK) & 1;
  eventsPassedOn.clear();

  EditedKeyCodes edited;
  edited.selectedKey = 4;
  KeyInputSession session;
  session.edited = &edited;
  session.productId = 4647;
  int rowsSeen = 0;
  User user(L"キー入力 #5", [&](HWND dialog) {
    Type({{VK_LSHIFT, false},
          {'A', false},
          {'A', false},
          {'A', true},
          {VK_LSHIFT, true},
          {VK_NUMLOCK, false},
          {VK_NUMLOCK, true}});
    WaitFor([&] { return Rows(dialog) >= 6; });
    rowsSeen = Rows(dialog);
    Press(dialog, kDialogOk);
  });
  const INT_PTR result = RunKeyInputDialog(before.frame, session);
  user.Finished();
  ASSERT_TRUE(user.ran()) << "the key input dialog never became the active window";
  EXPECT_EQ(result, kDialogOk);
  EXPECT_EQ(rowsSeen, 6);
  // Shift(左), Ａ (auto-repeat once), NumLock, each pressed and released.
  EXPECT_EQ(StrokesOf(edited.records[4]), (Strokes{0x2C, 0x1F, 0x9F, 0xAC, 0x5A, 0xDA}));

  // Let whatever input is still on its way arrive.
  const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  PumpUntil([&] { return std::chrono::steady_clock::now() > settle; });
  EXPECT_EQ(before.Text(), L"q");
  EXPECT_EQ(eventsPassedOn, (std::vector<DWORD>{VK_NUMLOCK, VK_NUMLOCK | 0x100u}));
  EXPECT_NE(GetKeyState(VK_NUMLOCK) & 1, numLockBefore);
  UnhookWindowsHookEx(witness);
  Type({{VK_NUMLOCK, false}, {VK_NUMLOCK, true}});  // as it was
  PumpUntil([&] { return (GetKeyState(VK_NUMLOCK) & 1) == numLockBefore; });
  EXPECT_EQ(OpenKeyInputWindow(), nullptr);
}

TEST(KeyInputDialog, DefaultKeyCodeButtonsAndShortcutListBuildTheStoredRecord) {
  EmulatedHidSystem hid(EmulatedHidSystem::ClockMode::kVirtual);
  EmulatedKeyPad pad;
  pad.productId = 0x1227;
  pad.version = 0x0100;
  pad.serial = 1;
  hid.AttachKeyPad(pad);
  DeviceContext context(hid);
  DeviceLink link;
  ASSERT_EQ(OpenKeyPad(context, link, pad.productId, nullptr, 1, false), 1);

  ShortcutList shortcuts;
  Shortcut ctrlC;
  std::char_traits<char16_t>::copy(ctrlC.keyText, u"CTRL+C", 7);
  ctrlC.records[0] = ctrlC.records[1] = BuildShortcutRecord(u"CTRL+C", KeyTableFor(false));
  shortcuts.entries.push_back(ctrlC);

  EditedKeyCodes edited;
  edited.selectedKey = 5;  // key number 6: Shift(左) held around key number 7
  KeyInputSession session;
  session.edited = &edited;
  session.productId = 0x1227;
  session.shortcuts = &shortcuts;
  session.readDefaultKeyCode = [&](int keyNumber, KeyCodeRecord& record) {
    return ReadDefaultKeyCode(context, link, keyNumber, record);
  };

  POINT listAt = {};
  RECT dialogRect = {};
  int rowsAfterForeignSend = -1;
  bool shortcutButtonBack = false;
  User user(L"キー入力 #6", [&](HWND dialog) {
    Press(dialog, kKeyInputDefault);
    WaitFor([&] { return Rows(dialog) == 4; });
    Press(dialog, kKeyInputDelay2);
    WaitFor([&] { return Rows(dialog) == 5; });
    Press(dialog, kKeyInputShortcuts);
    HWND list = nullptr;
    // Found once it is shown, that is, placed.
    WaitFor([&] {
      list = FindWindowW(L"#32770", L"ショートカット");
      return list != nullptr && IsWindowVisible(list);
    });
    if (list == nullptr) return;
    GetWindowRect(dialog, &dialogRect);
    RECT listRect = {};
    GetWindowRect(list, &listRect);
    listAt = {listRect.left, listRect.top};
    // A record sent from another thread is not taken, even one of the list's own.
    SendMessageW(dialog, kLoadRecordMessage, 0,
                 reinterpret_cast<LPARAM>(&shortcuts.entries[0].records[0]));
    rowsAfterForeignSend = Rows(dialog);
    LVITEMW select = {};
    select.stateMask = select.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendDlgItemMessageW(list, kShortcutListId, LVM_SETITEMSTATE, 0,
                        reinterpret_cast<LPARAM>(&select));
    WaitFor([&] { return IsWindowEnabled(GetDlgItem(list, kDialogOk)) != FALSE; });
    // A double click on the chosen row enters it as "入力" does.
    RECT row = {};
    row.left = LVIR_BOUNDS;
    SendDlgItemMessageW(list, kShortcutListId, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
    PostMessageW(GetDlgItem(list, kShortcutListId), WM_LBUTTONDBLCLK, MK_LBUTTON,
                 MAKELPARAM((row.left + row.right) / 2, (row.top + row.bottom) / 2));
    WaitFor([&] { return !IsWindow(list) && Rows(dialog) == 4; });
    shortcutButtonBack = IsWindowEnabled(GetDlgItem(dialog, kKeyInputShortcuts)) != FALSE;
    WaitFor([&] { return GetForegroundWindow() == dialog; });
    Press(dialog, kDialogOk);
  });
  const INT_PTR result = RunKeyInputDialog(nullptr, session);
  user.Finished();
  ASSERT_TRUE(user.ran());
  EXPECT_EQ(result, kDialogOk);
  EXPECT_EQ(rowsAfterForeignSend, 5);
  EXPECT_EQ(listAt.x, dialogRect.right + GetSystemMetrics(SM_CXFRAME));
  EXPECT_EQ(listAt.y, dialogRect.top);
  EXPECT_TRUE(shortcutButtonBack);
  // The shortcut replaced the default and the delay.
  EXPECT_EQ(StrokesOf(edited.records[5]), (Strokes{0x3A, 0x30, 0xB0, 0xBA}));
  CloseLink(context, link);
}

TEST(KeyInputDialog, AHookTheSystemRemovedIsInstalledAgainAndItsKeysAreRecordedNotPressed) {
  EditedKeyCodes edited;
  edited.selectedKey = 2;
  KeyInputSession session;
  session.edited = &edited;
  session.productId = 4647;
  bool firstCaptured = false, hookBack = false;
  User user(L"キー入力 #3", [&](HWND dialog) {
    Type({{'A', false}, {'A', true}});
    firstCaptured = WaitFor([&] { return Rows(dialog) == 2; });
    // The system removes a hook that answered late, without a word.
    const HHOOK removed = CaptureHookHandle();
    UnhookWindowsHookEx(removed);
    // Enter now reaches the dialog's thread, where it would press "登録": it is recorded there
    // instead, and the hook comes back for the keys after it.
    Type({{VK_RETURN, false}, {VK_RETURN, true}});
    WaitFor([&] { return Rows(dialog) == 4; });
    Type({{'B', false}, {'B', true}});
    WaitFor([&] { return Rows(dialog) == 6; });
    hookBack =
        WaitFor([&] { return CaptureHookHandle() != nullptr && CaptureHookHandle() != removed; });
    Press(dialog, kDialogOk);
  });
  const INT_PTR result = RunKeyInputDialog(nullptr, session);
  user.Finished();
  ASSERT_TRUE(user.ran());
  EXPECT_TRUE(firstCaptured);
  EXPECT_TRUE(hookBack);
  EXPECT_EQ(result, kDialogOk);
  const std::uint8_t enter = KeyNumberFromVk(VK_RETURN, KeyTableFor(false));
  EXPECT_EQ(StrokesOf(edited.records[2]),
            (Strokes{0x1F, 0x9F, enter, static_cast<std::uint8_t>(enter | 0x80), 0x32, 0xB2}));
  EXPECT_FALSE(CaptureHookInstalled());
}

TEST(KeyInputDialog, TheShortcutListIsUsedWithTheArrowKeysAndEnter) {
  ShortcutList shortcuts;
  for (const char16_t* text : {u"CTRL+C", u"CTRL+V"}) {
    Shortcut entry;
    std::char_traits<char16_t>::copy(entry.keyText, text, 7);
    entry.records[0] = entry.records[1] = BuildShortcutRecord(text, KeyTableFor(false));
    shortcuts.entries.push_back(entry);
  }
  EditedKeyCodes edited;
  edited.selectedKey = 0;
  KeyInputSession session;
  session.edited = &edited;
  session.productId = 4647;
  session.shortcuts = &shortcuts;
  bool listClosed = false;
  User user(L"キー入力 #1", [&](HWND dialog) {
    Press(dialog, kKeyInputShortcuts);
    HWND list = nullptr;
    WaitFor([&] {
      list = FindWindowW(L"#32770", L"ショートカット");
      return list != nullptr && IsWindowVisible(list);
    });
    if (list == nullptr) return;
    // Opening the list gives the key input dialog the focus back; then the user comes to the list
    // and chooses the second row with the keyboard alone.
    WaitFor([&] { return GetForegroundWindow() == dialog; });
    // The list must stay in front before the keys are typed: a late activation of the dialog
    // would take them into the capture instead.
    for (int attempt = 0; attempt < 5; ++attempt) {
      SetForegroundWindow(list);
      WaitFor([&] { return GetForegroundWindow() == list; });
      Sleep(300);
      if (GetForegroundWindow() == list) break;
    }
    Type({{VK_DOWN, false}, {VK_DOWN, true}, {VK_DOWN, false}, {VK_DOWN, true}});
    WaitFor([&] { return IsWindowEnabled(GetDlgItem(list, kDialogOk)) != FALSE; });
    Type({{VK_RETURN, false}, {VK_RETURN, true}});
    listClosed = WaitFor([&] { return !IsWindow(list) && Rows(dialog) == 4; });
    WaitFor([&] { return GetForegroundWindow() == dialog; });
    Press(dialog, kDialogOk);
  });
  const INT_PTR result = RunKeyInputDialog(nullptr, session);
  user.Finished();
  ASSERT_TRUE(user.ran());
  EXPECT_TRUE(listClosed);
  EXPECT_EQ(result, kDialogOk);
  // CTRL+V: Ctrl(左) and V pressed, then released.
  EXPECT_EQ(StrokesOf(edited.records[0]), StrokesOf(shortcuts.entries[1].records[0]));
}

TEST(KeyInputDialog, CancelLeavesTheRecordAndNoKeyMeansNoDialog) {
  EditedKeyCodes edited;
  edited.records[0].bytes[0] = 1;
  edited.selectedKey = 0;
  KeyInputSession session;
  session.edited = &edited;
  User user(L"キー入力 #1", [&](HWND dialog) {
    Press(dialog, kKeyInputHankaku);
    WaitFor([&] { return Rows(dialog) == 2; });
    Press(dialog, kDialogCancel);
  });
  EXPECT_EQ(RunKeyInputDialog(nullptr, session), kDialogCancel);
  user.Finished();
  EXPECT_TRUE(user.ran());
  EXPECT_EQ(edited.records[0].bytes[0], 1);
  edited.selectedKey = -1;
  EXPECT_EQ(RunKeyInputDialog(nullptr, session), kDialogCancel);
}

}  // namespace
}  // namespace qv
