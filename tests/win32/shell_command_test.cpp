// Key pad commands run from the main window over emulated key pads: the selection dialog, and a
// key pad that is unplugged while its command's dialog is open.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "resource.h"
#include "shell_fixture.h"

namespace qv {
namespace {

using testing::FindTopLevel;
using testing::PumpUntil;
using testing::ShellRig;

// Waits on the user's thread for a window with this title.
HWND WaitFor(const std::wstring& title, DWORD timeoutMs = 8000) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    if (HWND window = FindTopLevel(title)) return window;
    Sleep(20);
  }
  return nullptr;
}

TEST(ShellCommand, SelectionDialogListsBySerialAndReturnsTheChosenSlot) {
  ShellRig rig;
  ASSERT_TRUE(rig.started);
  rig.Attach(0x1227, 123);
  rig.Attach(0x074F, 45678, 0xA100);
  ASSERT_TRUE(PumpUntil([&] { return rig.app().keyPads.keyPadCount.load() == 2; }));
  ASSERT_EQ(rig.app().keyPads.slots[0].serialNumber, 45678u);  // 0x074F comes first

  std::vector<std::wstring> items;
  bool registrationSeen = false;
  std::thread user([&] {
    HWND selection = WaitFor(L"ルミナキーボード選択");
    if (!selection) return;
    HWND combo = GetDlgItem(selection, IDC_KEYBOARD_LIST);
    int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      wchar_t text[32] = {};
      SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
      items.push_back(text);
    }
    SendMessageW(combo, CB_SETCURSEL, 0, 0);  // "000123 (Merla)": slot 1
    PostMessageW(selection, WM_COMMAND, IDOK, 0);
    if (HWND registration = WaitFor(L"パスワード登録")) {
      registrationSeen = true;
      PostMessageW(registration, WM_COMMAND, IDCANCEL, 0);
    }
  });
  PostMessageW(rig.window(), WM_COMMAND, IDM_PASSWORD_SETTING, 0);
  PumpUntil([&] { return registrationSeen && !rig.app().keyPads.modalActive.load(); }, 15000);
  user.join();
  PumpUntil([&] { return !rig.app().keyPads.modalActive.load(); });

  EXPECT_EQ(items, (std::vector<std::wstring>{L"000123 (Merla)", L"045678 (Tarn)"}));
  EXPECT_TRUE(registrationSeen);
  EXPECT_EQ(rig.app().keyPads.selectedKeyPad.load(), 1);
  EXPECT_FALSE(rig.app().keyPads.commandActive.load());
}

TEST(ShellCommand, UnpluggedKeyPadClosesTheCommandsDialog) {
  ShellRig rig;
  ASSERT_TRUE(rig.started);
  EmulatedDeviceId pad = rig.Attach(0x1224, 5);
  ASSERT_TRUE(PumpUntil([&] { return rig.app().keyPads.keyPadCount.load() == 1; }));

  HWND registration = nullptr;
  bool forcedCloseSeen = false;
  std::thread user([&] {
    registration = WaitFor(L"パスワード登録");
    if (!registration) return;
    // The key pad goes away while the dialog is open; the system reports a keyboard change.
    rig.hid.Detach(pad);
    rig.KeyboardChanged();
    if (HWND message = WaitFor(L"ウィンドウ強制クローズ")) {
      forcedCloseSeen = true;
      PostMessageW(message, WM_COMMAND, IDOK, 0);
    }
  });
  PostMessageW(rig.window(), WM_COMMAND, IDM_PASSWORD_SETTING, 0);
  PumpUntil([&] { return forcedCloseSeen && !rig.app().keyPads.modalActive.load(); }, 15000);
  user.join();

  EXPECT_TRUE(forcedCloseSeen);
  ASSERT_NE(registration, nullptr);
  EXPECT_FALSE(IsWindow(registration));
  // The dialog was ended, not only destroyed: its owner is enabled again.
  EXPECT_TRUE(IsWindowEnabled(rig.window()));
  EXPECT_FALSE(rig.app().keyPads.commandActive.load());
  // The scan that waited for the command runs next: no key pad is left.
  EXPECT_TRUE(PumpUntil([&] { return rig.app().keyPads.keyPadCount.load() == 0; }));
}

// The key pad goes away while the factory reset's confirmation is open, two dialogs deep in the
// connection-time prompt: every dialog is ended, the main window is enabled again and the prompt
// is not shown again for the key pad that left.
TEST(ShellCommand, KeyPadGoneDuringTheConnectionPromptsResetQuestionEndsEveryDialog) {
  ShellRig rig;
  ASSERT_TRUE(rig.started);
  EmulatedDeviceId pad = rig.Attach(0x1224, 8, 0x0100, "secret");
  bool forcedCloseSeen = false;
  HWND prompt = nullptr;
  std::thread user([&] {
    prompt = WaitFor(L"ユーザー認証");
    if (!prompt) return;
    SetDlgItemTextW(prompt, IDC_PASSWORD, L"wrong");
    PostMessageW(prompt, WM_COMMAND, IDOK, 0);
    HWND error = WaitFor(L"パスワードエラー");
    if (!error) return;
    PostMessageW(error, WM_COMMAND, IDC_INITIALISE, 0);
    if (!WaitFor(L"初期化確認")) return;
    rig.hid.Detach(pad);
    rig.KeyboardChanged();
    if (HWND message = WaitFor(L"ウィンドウ強制クローズ")) {
      forcedCloseSeen = true;
      PostMessageW(message, WM_COMMAND, IDOK, 0);
    }
  });
  PumpUntil([&] { return forcedCloseSeen && !rig.app().keyPads.commandActive.load(); }, 20000);
  user.join();
  ASSERT_TRUE(forcedCloseSeen);
  // Time for a second prompt to appear, were it coming.
  PumpUntil([] { return FindTopLevel(L"ユーザー認証") != nullptr; }, 1500);
  EXPECT_EQ(FindTopLevel(L"ユーザー認証"), nullptr);
  EXPECT_FALSE(IsWindow(prompt));
  EXPECT_TRUE(IsWindowEnabled(rig.window()));
  EXPECT_FALSE(rig.app().keyPads.modalActive.load());
  EXPECT_EQ(rig.hid.Password(pad), "secret");  // nothing was reset
}

}  // namespace
}  // namespace qv
