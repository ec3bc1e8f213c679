// The soft keyboards of the running program in a user's hands: the hot key, the header's hide
// icon and the info icon, the page tabs following the key pad, and a key edited through its menu.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/ids.h"
#include "common/win32/owned.h"
#include "keyboard_hook_recorder.h"
#include "keycode/win32/capture_hook_win32.h"
#include "resource.h"
#include "shell_fixture.h"
#include "softkbd/win32/hot_key_hook_win32.h"

namespace qv {
namespace {

using testing::PumpUntil;
using testing::SendKeys;
using testing::ShellRig;

void HotKey(WORD digit) {
  SendKeys({{VK_LCONTROL, false},
            {VK_LMENU, false},
            {VK_LSHIFT, false},
            {digit, false},
            {digit, true},
            {VK_LSHIFT, true},
            {VK_LMENU, true},
            {VK_LCONTROL, true}});
}

void MouseAt(POINT point, DWORD flags) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = point.x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
  input.mi.dy = point.y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
  input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &input, sizeof input);
}

void ClickAt(POINT point, DWORD down = MOUSEEVENTF_LEFTDOWN, DWORD up = MOUSEEVENTF_LEFTUP) {
  MouseAt(point, 0);
  PumpUntil([] { return false; }, 50);
  MouseAt(point, down);
  PumpUntil([] { return false; }, 50);
  MouseAt(point, up);
}

POINT CentreOf(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// The layered info icon window on the soft keyboard's thread.
HWND InfoIconOf(HWND keyboard) {
  HWND found = nullptr;
  EnumThreadWindows(
      GetWindowThreadProcessId(keyboard, nullptr),
      [](HWND window, LPARAM data) -> BOOL {
        if (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_LAYERED) {
          *reinterpret_cast<HWND*>(data) = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND Button(HWND keyboard, int j) {
  return GetDlgItem(keyboard, 32968 + j);
}

// The program with two soft-keyboard key pads (a 30-key one in slot 0, a paged one in slot 1)
// connected and their keyboards shown.
class SoftKeyboardUseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(rig.started);
    rig.app().shell.touchEnabled = 1;
    small = rig.Attach(0x1224, 11);
    paged = rig.Attach(0x130D, 12);
    ASSERT_TRUE(PumpUntil(
        [&] {
          return IsWindowVisible(Keyboard(0)) && IsWindowVisible(Keyboard(1)) &&
                 rig.app().keyPads.slots[1].accessState.load() != AccessState::Locked;
        },
        15000));
  }
  HWND Keyboard(int slot) { return rig.app().softKeyboards.SoftKeyboardWindow(slot); }

  ShellRig rig;
  EmulatedDeviceId small = 0;
  EmulatedDeviceId paged = 0;
};

TEST_F(SoftKeyboardUseTest, HotKeyAndHideIconAndInfoIcon) {
  HWND keyboard = Keyboard(0);
  // Ctrl+Alt+Shift+0 hides slot 0's keyboard and shows it again; slot 1's stays.
  HotKey('0');
  EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(keyboard); }));
  EXPECT_TRUE(IsWindowVisible(Keyboard(1)));
  // The console went away and came back meanwhile (the system may drop the hook while it is
  // away): the hot key still works.
  SendMessageW(rig.window(), WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT, 0);
  SendMessageW(rig.window(), WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT, 0);
  HotKey('0');
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(keyboard); }));
  // The digit of a slot without a key pad does nothing.
  HotKey('7');
  PumpUntil([] { return false; }, 300);
  EXPECT_TRUE(IsWindowVisible(keyboard));

  // The hide icon: the keyboard goes, its info icon stays on the screen.
  RECT frame{};
  GetWindowRect(keyboard, &frame);
  const POINT hide{frame.right - GetSystemMetrics(SM_CXFRAME) - 75,
                   frame.top + GetSystemMetrics(SM_CYFRAME) + 25};
  ClickAt(hide);
  HWND icon = InfoIconOf(keyboard);
  ASSERT_TRUE(icon);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(keyboard) && IsWindowVisible(icon); }));
  EXPECT_TRUE(rig.app().softKeyboards.HiddenToIcon(0));

  // A tray command brings back the icon, not the keyboard.
  testing::WindowUser user(L"バージョン情報", IDOK);
  SendMessageW(rig.window(), WM_COMMAND, MAKEWPARAM(kCommandAbout, 0), 0);
  user.Wait();
  EXPECT_TRUE(user.seen());
  PumpUntil([] { return false; }, 200);
  EXPECT_FALSE(IsWindowVisible(keyboard));
  EXPECT_TRUE(IsWindowVisible(icon));

  // Slot 1's keyboard, started in the same corner, is put away first.
  HotKey('1');
  ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(Keyboard(1)); }));
  // Dragged with the left button, the icon moves with the pointer; the keyboard stays hidden.
  // The system's move starts once the pointer has gone a few pixels from the press (waited for,
  // so that a busy icon thread cannot see the whole drag as one move): the icon follows the rest.
  const POINT from = CentreOf(icon);
  const POINT start{from.x - 10, from.y - 8};
  const POINT to{from.x - 80, from.y - 60};
  MouseAt(from, 0);
  MouseAt(from, MOUSEEVENTF_LEFTDOWN);
  MouseAt(start, 0);
  const DWORD iconThread = GetWindowThreadProcessId(icon, nullptr);
  ASSERT_TRUE(PumpUntil([&] {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(iconThread, &info) && (info.flags & GUI_INMOVESIZE) != 0;
  }));
  // The pointer is held at its end until the icon is there: under Wine a pointer move can reach
  // the move loop before an earlier one, and the later move would then be lost with the release.
  // The button goes up only then, and the icon must stay where it was put.
  MouseAt({(start.x + to.x) / 2, (start.y + to.y) / 2}, 0);
  const POINT moved{to.x + from.x - start.x, to.y + from.y - start.y};
  const auto iconAtMoved = [&] {
    const POINT now = CentreOf(icon);
    return std::abs(now.x - moved.x) <= 1 && std::abs(now.y - moved.y) <= 1;
  };
  DWORD lastMove = 0;
  EXPECT_TRUE(PumpUntil([&] {
    if (iconAtMoved()) return true;
    if (GetTickCount() - lastMove >= 100) {
      MouseAt(to, 0);
      lastMove = GetTickCount();
    }
    return false;
  })) << CentreOf(icon).x
      << "," << CentreOf(icon).y << " from " << from.x << "," << from.y;
  MouseAt(to, MOUSEEVENTF_LEFTUP);
  EXPECT_TRUE(PumpUntil([&] {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(iconThread, &info) && (info.flags & GUI_INMOVESIZE) == 0;
  }));
  EXPECT_TRUE(iconAtMoved()) << CentreOf(icon).x << "," << CentreOf(icon).y;
  EXPECT_FALSE(IsWindowVisible(keyboard));
  // A click on the icon brings the keyboard back.
  ASSERT_EQ(WindowFromPoint(CentreOf(icon)), icon);
  ClickAt(CentreOf(icon));
  EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(keyboard) && !IsWindowVisible(icon); }));
}

TEST_F(SoftKeyboardUseTest, PageTabsFollowTheKeyPad) {
  HWND keyboard = Keyboard(1);
  // The six tabs are push buttons of which one stays pressed, not radio circles.
  for (int j = 0; j < 6; ++j) {
    EXPECT_EQ(GetWindowLongPtrW(Button(keyboard, j), GWL_STYLE) & (BS_PUSHLIKE | BS_TYPEMASK),
              BS_PUSHLIKE | BS_AUTORADIOBUTTON)
        << j;
  }
  rig.hid.SetActivePage(paged, 4);
  const DWORD start = GetTickCount();
  EXPECT_TRUE(PumpUntil(
      [&] { return SendMessageW(Button(keyboard, 3), BM_GETCHECK, 0, 0) == BST_CHECKED; }));
  const DWORD took = GetTickCount() - start;
  EXPECT_LT(took, 1000u);
  EXPECT_EQ(SendMessageW(Button(keyboard, 0), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  // Page 4 shows keys 73 to 96.
  EXPECT_EQ(testing::WindowText(Button(keyboard, 6)), L"73");

  // Clicking the second tab sends page 2 to the key pad.
  ClickAt(CentreOf(Button(keyboard, 1)));
  EXPECT_TRUE(PumpUntil([&] { return rig.hid.ActivePage(paged) == 2; }));
  EXPECT_EQ(testing::WindowText(Button(keyboard, 6)), L"25");

  // A key pad exchange that takes long (here: one that waits for the exchange lock) holds up
  // only the keyboard's key pad thread. The window keeps answering what other threads send it
  // while the page follow waits; on its own thread every send would wait for the exchange.
  int answered = 0;
  int unanswered = 0;
  {
    std::lock_guard hold(rig.app().device->exchangeMutex);
    const DWORD holdStart = GetTickCount();
    while (GetTickCount() - holdStart < 1600) {
      DWORD_PTR reply = 0;
      if (SendMessageTimeoutW(keyboard, WM_NULL, 0, 0, SMTO_NORMAL, 400, &reply))
        ++answered;
      else
        ++unanswered;
      Sleep(50);
    }
  }
  EXPECT_EQ(unanswered, 0);
  EXPECT_GE(answered, 3);
  // Once the lock is free the page follow goes on.
  rig.hid.SetActivePage(paged, 5);
  EXPECT_TRUE(PumpUntil(
      [&] { return SendMessageW(Button(keyboard, 4), BM_GETCHECK, 0, 0) == BST_CHECKED; }));
}

TEST_F(SoftKeyboardUseTest, KeyEditedThroughItsMenuIsWrittenAndTyped) {
  HWND keyboard = nullptr;
  // "設定禁止" cleared in the menu dialog; the key pad has no password, so the key menus open.
  // Once the start-up scan has locked the settings (it does so for every soft keyboard it starts),
  // nothing locks them again.
  ASSERT_TRUE(PumpUntil([&] {
    return rig.app().keyPads.slots[0].settingsLocked.load() &&
           !rig.app().keyPads.rescanRunning.load();
  }));
  rig.app().keyPads.slots[0].settingsLocked = false;
  keyboard = Keyboard(0);
  // Slot 1's keyboard, started in the same corner, is put away.
  HotKey('1');
  ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(Keyboard(1)); }));
  testing::TypingTarget typing;
  HWND target = typing.window;
  ASSERT_TRUE(typing.Focus());

  // With a password registered on the key pad (status bit 0), a right click on the keyboard's
  // background opens the settings menu: "設定認証" before the settings were authenticated.
  rig.hid.SetStatus(small, 0x01);
  POINT background{130, 20};
  ClientToScreen(keyboard, &background);
  PostMessageW(keyboard, WM_NCRBUTTONDOWN, HTCAPTION, MAKELPARAM(background.x, background.y));
  HWND settingsMenu = nullptr;
  ASSERT_TRUE(PumpUntil([&] {
    return (settingsMenu = FindWindowW(L"#32768", nullptr)) && IsWindowVisible(settingsMenu);
  }));
  auto settingsPopup =
      reinterpret_cast<HMENU>(SendMessageW(settingsMenu, 0x01E1 /* MN_GETHMENU */, 0, 0));
  wchar_t item[64] = {};
  GetMenuStringW(settingsPopup, 0, item, 64, MF_BYPOSITION);
  EXPECT_STREQ(item, L"設定認証...(&P)");
  PostMessageW(settingsMenu, WM_KEYDOWN, VK_ESCAPE, 0);
  ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(settingsMenu); }));
  rig.hid.SetStatus(small, 0x00);

  // Right click on key 30, then "キー入力(&K)..." in its menu.
  ClickAt(CentreOf(Button(keyboard, 29)), MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
  HWND menu = nullptr;
  ASSERT_TRUE(
      PumpUntil([&] { return (menu = FindWindowW(L"#32768", nullptr)) && IsWindowVisible(menu); }));
  auto popup = reinterpret_cast<HMENU>(SendMessageW(menu, 0x01E1 /* MN_GETHMENU */, 0, 0));
  ASSERT_EQ(GetMenuItemCount(popup), 5);
  // Its mnemonic, typed into the menu as the menu's own thread reads it.
  PostMessageW(menu, WM_CHAR, L'k', 0);
  HWND input = nullptr;
  ASSERT_TRUE(
      PumpUntil([&] { return (input = testing::FindTopLevel(L"キー入力 #30")) != nullptr; }));
  EXPECT_TRUE(rig.app().keyPads.modalActive.load());
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == input && CaptureHookInstalled(); }));
  SendKeys({{'B', false}, {'B', true}});
  EXPECT_TRUE(PumpUntil(
      [&] { return SendDlgItemMessageW(input, kKeyCodeListId, LVM_GETITEMCOUNT, 0, 0) == 2; }));
  PostMessageW(input, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(PumpUntil([&] { return rig.hid.Record(small, 30).length() == 3; }));
  // The keyboard's thread writes the mirror after the key pad and then ends the command: the
  // mirror is compared once the command is over.
  EXPECT_TRUE(PumpUntil([&] { return !rig.app().keyPads.modalActive.load(); }));
  EXPECT_EQ(rig.app().keyCodeCache.slots[0][29], rig.hid.Record(small, 30));

  // The next click on key 30 types the new code: the keys it sends are read where they enter
  // the system. (Under Wine a click on the keyboard can hand the foreground to the desktop, so
  // a focused edit box would lose keys that were typed all the same.)
  testing::KeyboardHookRecorder typed;
  ASSERT_TRUE(typed.installed());
  ClickAt(CentreOf(Button(keyboard, 29)));
  ASSERT_TRUE(PumpUntil([&] { return typed.Events().size() >= 2; }))
      << typed.Events().size() << " key events";
  const std::vector<testing::HookedKey> keys = typed.Events();
  EXPECT_EQ(keys[0].vk, static_cast<DWORD>('B'));
  EXPECT_EQ(keys[0].flags & LLKHF_UP, 0u);
  EXPECT_EQ(keys[1].vk, static_cast<DWORD>('B'));
  EXPECT_NE(keys[1].flags & LLKHF_UP, 0u);
  PumpUntil([] { return false; }, 300);  // and nothing after it
  EXPECT_EQ(typed.Events().size(), 2u);
  DestroyWindow(target);
}

TEST_F(SoftKeyboardUseTest, MainWindowClosedDuringAMenuIconCommandEndsPromptly) {
  HWND keyboard = Keyboard(0);
  HWND main = rig.window();
  // Slot 1's keyboard, started in the same corner, is put away.
  HotKey('1');
  ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(Keyboard(1)); }));

  // The menu icon's dialog answers "パスワード設定"; while the command's own dialog is open on the
  // main thread, something (an installer, "/CLOSE") closes the main window.
  testing::WindowUser menu(L"ルミナキーボードメニュー", IDC_MENU_PASSWORD);
  std::atomic<DWORD> closedAt{0};
  std::thread closer([&] {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 15000) {
      if (testing::FindTopLevel(L"パスワード登録")) {
        closedAt = GetTickCount();
        PostMessageW(main, WM_CLOSE, 0, 0);
        return;
      }
      Sleep(20);
    }
  });
  // A main window that waits for a keyboard thread waiting for it never returns here: the test
  // program then ends as failed instead of hanging.
  std::atomic<bool> over{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 600 && !over; ++i) Sleep(100);
    if (over) return;
    std::fprintf(stderr, "The main window's end is stuck behind a soft keyboard thread.\n");
    std::fflush(stderr);
    std::_Exit(1);
  });
  RECT frame{};
  GetWindowRect(keyboard, &frame);
  ClickAt({frame.right - GetSystemMetrics(SM_CXFRAME) - 125,
           frame.top + GetSystemMetrics(SM_CYFRAME) + 25});
  const bool ended = PumpUntil(
      [&] {
        return closedAt.load() != 0 && !IsWindow(main) && !IsWindow(keyboard) &&
               !rig.app().softKeyboards.SoftKeyboardThreadExists(0);
      },
      20000);
  const DWORD took = GetTickCount() - closedAt.load();
  over = true;
  watchdog.join();
  closer.join();
  menu.Wait();
  EXPECT_TRUE(menu.seen());
  ASSERT_NE(closedAt.load(), 0u);
  EXPECT_TRUE(ended);
  // The end waits for the keyboard-change watcher (at most its bound) and, on the tests' display
  // without a window manager, two seconds for the shown keyboard's withdrawal.
  EXPECT_LT(took, 10000u);
}
}  // namespace
}  // namespace qv

namespace qv {
namespace {

// Soft keyboards starting together put in one hook between them.
TEST(SoftKeyboardHotKeyHook, InstalledOnceWhenKeyboardsStartTogether) {
  ASSERT_FALSE(SoftKeyboardHookInstalled());
  std::atomic<int> installed{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      if (InstallSoftKeyboardHook()) ++installed;
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(installed.load(), 1);
  EXPECT_TRUE(SoftKeyboardHookInstalled());
  RemoveSoftKeyboardHook();
  EXPECT_FALSE(SoftKeyboardHookInstalled());
}

// A hook thread that does not end within its wait (its procedure is held up) keeps its place: no
// second hook is put in beside it while it may still hold its own, and once it has ended a new
// one is.
TEST(SoftKeyboardHotKeyHook, AHookThreadThatDoesNotEndIsNeverFollowedByASecondHook) {
  struct Targets : HotKeyTargets {
    OwnedHandle release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<bool> entered{false};
    HWND SoftKeyboardWindowOf(int) override { return nullptr; }
    bool ModalActive() override {
      entered = true;
      WaitForSingleObject(release.get(), 20000);
      return false;
    }
  };
  const auto targets = std::make_shared<Targets>();
  SetHotKeyTargets(targets);
  ASSERT_TRUE(InstallSoftKeyboardHook());
  std::thread typing([] { SendKeys({{VK_F13, false}, {VK_F13, true}}); });
  ASSERT_TRUE(PumpUntil([&] { return targets->entered.load(); }));
  RemoveSoftKeyboardHook();  // gives up on the thread after its wait
  EXPECT_FALSE(SoftKeyboardHookInstalled());
  EXPECT_FALSE(InstallSoftKeyboardHook());
  SetEvent(targets->release.get());
  typing.join();
  EXPECT_TRUE(PumpUntil([] { return InstallSoftKeyboardHook(); }, 5000));
  RemoveSoftKeyboardHook();
  ForgetHotKeyTargets(targets.get());
}

// The hot key still works while the thread that put the hook in is busy (a soft keyboard typing a
// key code with delays, or talking to its key pad): the hook has a thread of its own. It passes
// every key on, the hot key's own too: a hook put in before it still sees them all.
TEST(SoftKeyboardHotKeyHook, ServedWhileTheInstallingThreadIsBusy) {
  static std::atomic<int> toggles{0};
  toggles = 0;
  WNDCLASSW windowClass{};
  windowClass.lpszClassName = L"qv-hot-key-target";
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kToggleSoftKeyboardMessage) ++toggles;
    return DefWindowProcW(window, message, wParam, lParam);
  };
  RegisterClassW(&windowClass);
  HWND target = CreateWindowW(windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              windowClass.hInstance, nullptr);
  ASSERT_TRUE(target);
  struct Targets : HotKeyTargets {
    HWND window = nullptr;
    HWND SoftKeyboardWindowOf(int slot) override { return slot == 5 ? window : nullptr; }
    bool ModalActive() override { return false; }
  };
  const auto targets = std::make_shared<Targets>();
  targets->window = target;
  SetHotKeyTargets(targets);

  testing::KeyboardHookRecorder earlierHook(false);
  ASSERT_TRUE(earlierHook.installed());
  std::atomic<bool> installed{false};
  std::thread busy([&] {
    installed = InstallSoftKeyboardHook();
    Sleep(3000);
  });
  ASSERT_TRUE(PumpUntil([&] { return installed.load(); }));
  HotKey('5');
  EXPECT_TRUE(PumpUntil([] { return toggles.load() == 1; }, 1500));
  EXPECT_TRUE(earlierHook.AwaitEvents(8, 1500)) << earlierHook.Events().size();
  busy.join();
  RemoveSoftKeyboardHook();
  ForgetHotKeyTargets(targets.get());
  DestroyWindow(target);
}

}  // namespace
}  // namespace qv
