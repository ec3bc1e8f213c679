// The main window over emulated key pads: the monitor timers, the menu's item states, the about
// box and the end of the program.
#include <windows.h>

#include <gtest/gtest.h>

#include <shellapi.h>

#include "access/monitor_decisions.h"
#include "qv_version.h"
#include "resource.h"
#include "shell_fixture.h"

namespace qv {
namespace {

using testing::PumpUntil;
using testing::ShellRig;
using testing::WindowUser;

TEST(ShellWindow, KeyPadsPluggedInAndOutAreTakenUpAtTheNextTick) {
  ShellRig rig;
  ASSERT_TRUE(rig.started);
  rig.Attach(0x1227, 123);
  EmulatedDeviceId tarn = rig.Attach(0x074F, 45678, 0xA100);
  // The first scan runs half a second after the window's creation.
  ASSERT_TRUE(PumpUntil([&] { return rig.app().keyPads.keyPadCount.load() == 2; }));
  EXPECT_EQ(rig.app().keyPads.slots[0].modelIdentity, 0xA100074Fu);  // smaller product id first
  EXPECT_EQ(rig.app().keyPads.slots[1].serialNumber, 123u);

  rig.hid.Detach(tarn);
  rig.Attach(0x130D, 7);
  rig.KeyboardChanged();
  ASSERT_TRUE(PumpUntil([&] {
    return rig.app().keyPads.keyPadCount.load() == 2 &&
           rig.app().keyPads.slots[1].modelIdentity == 0x0100130Du;
  }));
  EXPECT_EQ(rig.app().keyPads.slots[0].serialNumber, 123u);
  EXPECT_EQ(rig.app().keyPads.slots[0].accessState.load(), AccessState::Open);
}

TEST(ShellWindow, TrayMenuItemStatesFollowTheKeyPads) {
  ShellRig rig;
  ASSERT_TRUE(rig.started);
  HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU));
  HMENU popup = GetSubMenu(menu, 0);
  // No key pad: re-authentication, the key pad commands disabled and no touch entry.
  ApplyTrayMenuPlan(popup, PlanTrayMenu(rig.app().keyPads, *rig.app().device, false));
  EXPECT_EQ(GetMenuItemCount(popup), 10);
  for (int position : {0, 1, 3, 4, 5}) {
    EXPECT_TRUE(GetMenuState(popup, position, MF_BYPOSITION) & MF_GRAYED) << position;
  }
  EXPECT_EQ(GetMenuItemID(popup, 7), static_cast<UINT>(IDM_ABOUT));
  DestroyMenu(menu);

  // A soft-keyboard model that is authenticated: lock enabled, touch entry checked.
  rig.Attach(0x1224, 5);
  ASSERT_TRUE(PumpUntil([&] { return rig.app().keyPads.keyPadCount.load() == 1; }));
  rig.app().keyPads.slots[0].accessState = AccessState::Authenticated;
  menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU));
  popup = GetSubMenu(menu, 0);
  ApplyTrayMenuPlan(popup, PlanTrayMenu(rig.app().keyPads, *rig.app().device, true));
  EXPECT_EQ(GetMenuItemCount(popup), 11);
  EXPECT_TRUE(GetMenuState(popup, 0, MF_BYPOSITION) & MF_GRAYED);
  EXPECT_FALSE(GetMenuState(popup, 1, MF_BYPOSITION) & MF_GRAYED);
  EXPECT_FALSE(GetMenuState(popup, 3, MF_BYPOSITION) & MF_GRAYED);
  EXPECT_TRUE(GetMenuState(popup, 6, MF_BYPOSITION) & MF_CHECKED);
  DestroyMenu(menu);
}

TEST(ShellWindow, AboutBoxShowsTheFileVersion) {
  ShellRig rig;
  ASSERT_TRUE(rig.started);
  std::wstring version;
  {
    WindowUser user(L"バージョン情報", IDOK, [&](HWND dialog) {
      wchar_t text[32] = {};
      GetDlgItemTextW(dialog, IDC_VERSION_TEXT, text, 32);
      version = text;
    });
    PostMessageW(rig.window(), WM_COMMAND, IDM_ABOUT, 0);
    ASSERT_TRUE(PumpUntil([&] { return user.seen(); }));
  }
  PumpUntil([&] { return !rig.app().keyPads.modalActive.load(); });
  EXPECT_EQ(version, QV_VERSION_WTEXT);  // "1.0.0", as everything else says it
}

// The shell restarted and lost the icon: the icon comes back when it announces "TaskbarCreated".
TEST(ShellWindow, IconIsAddedAgainAfterTheShellRestarts) {
  ShellRig rig;
  ASSERT_TRUE(rig.started);
  NOTIFYICONDATAW record = {};
  record.cbSize = sizeof record;
  record.hWnd = rig.window();
  record.uID = 1;
  record.uFlags = NIF_TIP;
  lstrcpyW(record.szTip, L"probe");
  ASSERT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &record)) << "the icon was added at creation";
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &record));  // what a restarting shell does to it
  ASSERT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &record));

  const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
  ASSERT_NE(taskbarCreated, 0u);
  SendMessageW(rig.window(), taskbarCreated, 0, 0);
  EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &record));
}

// A watcher thread that does not stop (stuck in the system's event query) does not keep the
// program from ending.
TEST(ShellWindow, EndDoesNotWaitForeverForTheWatcher) {
  ShellRig rig;
  ASSERT_TRUE(rig.started);
  OwnedHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(release);
  // The real watcher ends at once under Wine; a stuck one stands in for it.
  rig.app().watcherThread.reset(CreateThread(
      nullptr, 0,
      [](LPVOID event) -> DWORD {
        WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
        return 0;
      },
      release.get(), 0, nullptr));
  const DWORD start = GetTickCount();
  DestroyWindow(rig.window());
  const DWORD elapsed = GetTickCount() - start;
  SetEvent(release.get());
  EXPECT_GE(elapsed, kWatcherStopWaitMs - 100);
  EXPECT_LT(elapsed, kWatcherStopWaitMs + 5000);
  EXPECT_FALSE(rig.app().watcherThread);
}

TEST(ShellWindow, ExitAsksFirstAndCloseDoesNot) {
  ShellRig rig;
  ASSERT_TRUE(rig.started);
  {
    WindowUser no(L"終了確認", IDNO);
    PostMessageW(rig.window(), WM_COMMAND, IDM_EXIT, 0);
    ASSERT_TRUE(PumpUntil([&] { return no.seen(); }));
  }
  ASSERT_TRUE(PumpUntil([&] { return !rig.app().keyPads.modalActive.load(); }));
  EXPECT_TRUE(IsWindow(rig.window()));
  {
    WindowUser yes(L"終了確認", IDYES);
    HWND window = rig.window();
    PostMessageW(window, WM_COMMAND, IDM_EXIT, 0);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(window); }));
    EXPECT_TRUE(yes.seen());
  }
  ShellRig again;
  ASSERT_TRUE(again.started);
  WindowUser nobody(L"終了確認", IDYES, {}, 1000);
  HWND window = again.window();
  SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(window));
  nobody.Wait();
  EXPECT_FALSE(nobody.seen());
}

}  // namespace
}  // namespace qv
