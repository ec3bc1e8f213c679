// The access dialogs from the resource script, run through their procedures and driven by
// messages from a helper thread that plays the user, against emulated key pads.
#include "access/win32/access_dialogs.h"

#include <gtest/gtest.h>

#include "access_fakes.h"
#include "win32/dialog_user.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "access/key_pad_connection.h"
#include "app/shell_commands.h"
#include "common/memory_settings.h"
#include "device/device_commands.h"
#include "emulator/emulated_hid_system.h"
#include "resource.h"

namespace qv {
namespace {

class CancellingPrompts : public ConnectionPromptPort {
 public:
  int PasswordPrompt(int) override { return kPromptCancelled; }
  bool FactoryResetKeyPad(int) override { return false; }
};
using testing::ItemText;
using testing::kWaitLimit;
using testing::NoSoftKeyboards;
using testing::Press;
using testing::QuietPresenceUi;
using testing::TextOf;
using testing::User;
using testing::WaitForDialog;
struct Rig {
  EmulatedHidSystem hid{EmulatedHidSystem::ClockMode::kVirtual};
  DeviceContext context{hid};
  KeyPadTable table;
  DeviceKeyCodeCache cache;
  Win32AccessUi ui{GetModuleHandleW(nullptr)};
  NoTouchKeyboard touch;
  ShellStepsPort shellSteps;
  ShowAgainFlags showAgain{};
  MemorySettings settings;
  std::atomic<std::uint32_t> touchEnabled{0};
  AccessPorts ports{table,      context,   cache,    ui,           touch,
                    shellSteps, showAgain, settings, touchEnabled, 0};

  EmulatedDeviceId Attach(std::uint16_t productId, std::uint8_t status, std::string password,
                          std::uint32_t serial) {
    EmulatedKeyPad keyPadSpec;
    keyPadSpec.productId = productId;
    keyPadSpec.version = 0xA100;
    keyPadSpec.status = status;
    keyPadSpec.password = password;
    keyPadSpec.serial = serial;
    return hid.AttachKeyPad(keyPadSpec);
  }
  // The scan, with the connection-time prompts cancelled.
  void Connect() {
    CancellingPrompts prompts;
    NoSoftKeyboards softKeyboards;
    QuietPresenceUi presenceUi;
    ConnectionPorts connection{context, cache, softKeyboards, prompts, presenceUi, u"C:\\sk\\"};
    RescanKeyPads(table, connection);
  }
};

// Re-authentication with two locked key pads: the selection dialog, a wrong password answered
// with "再入力" in the error dialog, then the right one.
TEST(AccessDialogs, ReauthenticationThroughSelectionPromptAndErrorDialog) {
  Rig rig;
  rig.Attach(0x074F, 0x01, "first", 111);
  const EmulatedDeviceId second = rig.Attach(0x074F, 0x21, "pw42", 4711);
  rig.Connect();
  ASSERT_EQ(rig.table.keyPadCount.load(), 2);
  const int secondSlot = rig.table.slots[1].serialNumber == 4711 ? 1 : 0;

  std::wstring serialShown, fieldAfterRetry;
  bool topmost = false, errorSurvivedEsc = false;
  {
    User user([&](DWORD thread) {
      HWND selection = WaitForDialog(thread, L"ルミナキーボード選択");
      if (!selection) return;
      HWND combo = GetDlgItem(selection, IDC_KEYBOARD_LIST);
      if (SendMessageW(combo, CB_GETCOUNT, 0, 0) != 2) return;
      // The items are sorted by text: 000111 (Tarn) before 004711 (Tarn).
      SendMessageW(combo, CB_SETCURSEL, 1, 0);
      Press(selection, IDOK);

      HWND prompt = WaitForDialog(thread, L"ユーザー認証　《Tarn》");
      if (!prompt) return;
      serialShown = ItemText(prompt, IDC_SERIAL_NUMBER);
      topmost = (GetWindowLongPtrW(prompt, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
      SetDlgItemTextW(prompt, IDC_PASSWORD, L"wrong");
      Press(prompt, IDOK);

      HWND error = WaitForDialog(thread, L"パスワードエラー");
      if (!error) return;
      Press(error, IDCANCEL);
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      errorSurvivedEsc = IsWindow(error) && IsWindowVisible(error);
      Press(error, IDC_ENTER_AGAIN);

      prompt = WaitForDialog(thread, L"ユーザー認証　《Tarn》");
      if (!prompt) return;
      fieldAfterRetry = ItemText(prompt, IDC_PASSWORD);
      SetDlgItemTextW(prompt, IDC_PASSWORD, L"pw\xFF14\xFF12");  // full-width 4 and 2
      Press(prompt, IDOK);
    });
    RunKeyPadCommand(rig.ports, kCommandAuthenticateAgain, false);
    user.Finished();
  }
  EXPECT_EQ(rig.table.selectedKeyPad.load(), secondSlot);
  EXPECT_EQ(serialShown, L"004711");
  EXPECT_TRUE(topmost);
  EXPECT_TRUE(errorSurvivedEsc);
  EXPECT_EQ(fieldAfterRetry, L"");
  EXPECT_EQ(rig.table.slots[secondSlot].accessState.load(), AccessState::Authenticated);
  EXPECT_EQ(rig.table.slots[1 - secondSlot].accessState.load(), AccessState::Locked);
  EXPECT_EQ(rig.hid.Status(second), 0xA1);  // the resume value of 0x21
  EXPECT_EQ(rig.showAgain[secondSlot], 1);
}

TEST(AccessDialogs, RegistrationRefusesAMismatchThenRegisters) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x1227, 0x00, "", 5);
  rig.Connect();
  rig.table.selectedKeyPad = 0;
  std::wstring refusal, entryAfter, confirmationAfter;
  int result = 0;
  {
    User user([&](DWORD thread) {
      HWND dialog = WaitForDialog(thread, L"パスワード登録");
      if (!dialog) return;
      SetDlgItemTextW(dialog, IDC_NEW_PASSWORD, L"abc1");
      SetDlgItemTextW(dialog, IDC_CONFIRM_PASSWORD, L"abc2");
      Press(dialog, IDOK);
      HWND box = WaitForDialog(thread, L"確認不一致");
      if (!box) return;
      refusal = TextOf(box);
      Press(box, IDOK);
      dialog = WaitForDialog(thread, L"パスワード登録");
      if (!dialog) return;
      entryAfter = ItemText(dialog, IDC_NEW_PASSWORD);
      confirmationAfter = ItemText(dialog, IDC_CONFIRM_PASSWORD);
      SetDlgItemTextW(dialog, IDC_NEW_PASSWORD, L"abc1");
      SetDlgItemTextW(dialog, IDC_CONFIRM_PASSWORD, L"abc1");
      Press(dialog, IDOK);
    });
    result = PasswordRegistration(rig.ports, 0, 0);
    user.Finished();
  }
  EXPECT_EQ(refusal, L"確認不一致");
  EXPECT_EQ(entryAfter, L"");
  EXPECT_EQ(confirmationAfter, L"");
  EXPECT_EQ(result, kRegistrationDone);
  EXPECT_EQ(rig.hid.Password(id), "abc1");
  EXPECT_EQ(rig.table.slots[0].accessState.load(), AccessState::Authenticated);
}

TEST(AccessDialogs, TrayMenuDialogStatesAndTouchCheckBox) {
  Rig rig;
  rig.Attach(0x1225, 0x01, "pw", 9);
  rig.hid.AttachKeyPad(EmulatedKeyPad{});  // 0x1224 without password: Open
  rig.Connect();
  rig.touchEnabled = 1;
  bool reauthenticate = false, lock = true, touchShown = false, touchChecked = false;
  int result = 0;
  {
    User user([&](DWORD thread) {
      HWND dialog = WaitForDialog(thread, L"ルミナキーボード メニュー");
      if (!dialog) return;
      reauthenticate = IsWindowEnabled(GetDlgItem(dialog, IDC_MENU_AUTHENTICATE));
      lock = IsWindowEnabled(GetDlgItem(dialog, IDC_MENU_LOCK));
      touchShown = IsWindowVisible(GetDlgItem(dialog, IDC_MENU_TOUCH));
      touchChecked = IsDlgButtonChecked(dialog, IDC_MENU_TOUCH) == BST_CHECKED;
      SendMessageW(GetDlgItem(dialog, IDC_MENU_TOUCH), BM_CLICK, 0, 0);
      Press(dialog, IDC_MENU_KEY_CODES);
    });
    result = TrayMenuDialog(GetModuleHandleW(nullptr), nullptr, rig.ports);
    user.Finished();
  }
  EXPECT_TRUE(reauthenticate);
  EXPECT_FALSE(lock);
  EXPECT_TRUE(touchShown);
  EXPECT_TRUE(touchChecked);
  EXPECT_EQ(result, IDC_MENU_KEY_CODES);
  EXPECT_EQ(rig.touchEnabled.load(), 0u);
  std::uint32_t stored = 9;
  ASSERT_TRUE(ReadTouchSetting(rig.settings, stored));
  EXPECT_EQ(stored, 0u);
}

TEST(AccessDialogs, SoftKeyMenuStoresTheSettingsLockOfItsKeyPad) {
  KeyPadTable table;
  table.keyPadCount = 2;
  table.slots[1].accessState = AccessState::Authenticated;
  table.slots[1].settingsLocked = true;
  HWND owner = CreateWindowExW(0, L"STATIC", L"soft keyboard", WS_POPUP, 0, 0, 10, 10, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(owner, nullptr);
  bool checked = false, lock = false;
  int result = 0;
  {
    User user([&](DWORD thread) {
      HWND dialog = WaitForDialog(thread, L"ルミナキーボードメニュー");
      if (!dialog) return;
      checked = IsDlgButtonChecked(dialog, IDC_SETTINGS_LOCKED) == BST_CHECKED;
      lock = IsWindowEnabled(GetDlgItem(dialog, IDC_MENU_LOCK));
      SendMessageW(GetDlgItem(dialog, IDC_SETTINGS_LOCKED), BM_CLICK, 0, 0);
      Press(dialog, IDOK);
    });
    result = SoftKeyMenuDialog(GetModuleHandleW(nullptr), owner, table,
                               [owner](int slot) { return slot == 1 ? owner : nullptr; });
    user.Finished();
  }
  DestroyWindow(owner);
  EXPECT_TRUE(checked);
  EXPECT_TRUE(lock);
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(table.menuKeyPad.load(), 1);
  EXPECT_FALSE(table.slots[1].settingsLocked);
}

}  // namespace
}  // namespace qv
