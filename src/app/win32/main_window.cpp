// The hidden main window: the notification-area icon and its menu, the key pad commands, the
// monitor timers, the console notifications and a second start of the program.
#include <windows.h>

#include "access/key_pad_connection.h"
#include "access/monitor_decisions.h"
#include "app/shell_commands.h"
#include "app/shell_texts.h"
#include "app/win32/application.h"
#include "app/win32/shell_dialogs.h"
#include "common/settings_store.h"
#include "common/win32/wide.h"
#include "resource.h"

namespace qv {
namespace {

constexpr UINT kSessionChange = 0x02B1;  // WM_WTSSESSION_CHANGE

void OnCreate(Application& app, HWND window) {
  app.mainWindow = window;
  app.access->mainWindow = reinterpret_cast<UiWindow>(window);
  if (app.wtsRegisterSessionNotification) app.wtsRegisterSessionNotification(window, 0);
  app.shell.nonJapaneseLayout = ReadKeyboardIdentifier(app.settings);
  AddTrayIcon(window, app.instance, Wide(app.shell.strings.productName));
  app.keyPads.modalActive = false;
  app.keyPads.commandActive = false;
  app.keyPads.keyPadPresent = true;
  app.softKeyboards.Clear();
  app.watcher.mainWindow = window;
  if (!app.watcherThread) {
    app.watcher.watcherRunning = true;
    app.watcherThread = CreateThread(nullptr, 0, KeyboardChangeWatcher, &app.watcher, 0, nullptr);
  }
  // The first key pad scan runs half a second after start, inside the message loop.
  SetTimer(window, kRescanTimerId, kMonitorStartMs, nullptr);
  SetTimer(window, kPresenceTimerId, kMonitorStartMs, nullptr);
  SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void OnDestroy(Application& app, HWND window) {
  if (app.watcherThread) {
    app.watcher.watcherRunning = false;
    WaitForSingleObject(app.watcherThread, INFINITE);
    CloseHandle(app.watcherThread);
    app.watcherThread = nullptr;
  }
  app.watcher.mainWindow = nullptr;
  DeleteTrayIcon(window);
  KillTimer(window, kRescanTimerId);
  KillTimer(window, kPresenceTimerId);
  for (int slot = 0; slot < kMaxKeyPads; ++slot) CloseSoftKeyboard(app.softKeyboards, slot);
  if (app.wtsUnregisterSessionNotification) app.wtsUnregisterSessionNotification(window);
  app.mainWindow = nullptr;
  PostQuitMessage(0);
}

void OnTimer(Application& app, HWND window, UINT_PTR timerId) {
  switch (DecideMonitorTimer(static_cast<unsigned>(timerId), app.keyPads)) {
    case MonitorTimerAction::kKeepArmed:
      break;
    case MonitorTimerAction::kKillAndRescan:
      KillTimer(window, kRescanTimerId);
      RunRescanTick(app.keyPads, *app.ports);
      break;
    case MonitorTimerAction::kKillAndVerify:
      KillTimer(window, kPresenceTimerId);
      RunPresenceCheck(app.keyPads, *app.ports);
      break;
  }
}

void OnSessionChange(Application& app, HWND window, WPARAM event, LPARAM session) {
  DWORD active = app.wtsGetActiveConsoleSessionId ? app.wtsGetActiveConsoleSessionId() : 0xFFFFFFFF;
  ConsoleChange change = DecideConsoleChange(static_cast<std::uint32_t>(event),
                                             static_cast<std::uint32_t>(session), active);
  if (change.setInactive) app.keyPads.consoleInactive = true;
  if (change.setActive) app.keyPads.consoleInactive = false;
  if (change.closeOwnedWindows) CloseOwnedWindows(window);
}

void ShowEverySoftKeyboard(Application& app) {
  for (int slot = 0; slot < kMaxKeyPads; ++slot) {
    if (app.keyPads.slots[slot].accessState.load() == AccessState::Locked) continue;
    if (!app.shell.touchEnabled.load()) continue;
    app.softKeyboards.SetSoftKeyboardVisible(slot, true, false);
  }
}

void OnTrayNotify(Application& app, HWND window, WPARAM iconId, LPARAM mouseMessage) {
  if (iconId != 1 || app.keyPads.modalActive.load()) return;
  switch (mouseMessage) {
    case WM_LBUTTONUP:
      ShowEverySoftKeyboard(app);
      break;
    case WM_LBUTTONDBLCLK: {
      app.keyPads.modalActive = true;
      int button = RunTrayMenuDialog(app);
      // The dialog is over before its command runs (the command brackets itself).
      app.keyPads.modalActive = false;
      if (std::uint16_t command = CommandForTrayMenuButton(button)) {
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(command, 0), 0);
      }
      SetForegroundWindow(window);
      break;
    }
    case WM_RBUTTONUP: {
      POINT point;
      GetCursorPos(&point);
      SetForegroundWindow(window);
      ShowTrayMenu(window, point);
      PostMessageW(window, WM_NULL, 0, 0);  // so that the menu closes properly
      break;
    }
    default:
      break;
  }
}

void OnReveal(Application& app, HWND window) {
  for (int slot = 0; slot < kMaxKeyPads; ++slot) {
    switch (DecideReveal(app.keyPads, slot, app.softKeyboards.SoftKeyboardWindowExists(slot),
                         app.shell.touchEnabled.load() != 0)) {
      case RevealAction::kNothing:
        break;
      case RevealAction::kReauthenticate:
        app.keyPads.selectedKeyPad = static_cast<std::uint16_t>(slot);
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(kCommandAuthenticateAgain, kFromSecondInstance),
                     0);
        break;
      case RevealAction::kShowSoftKeyboard:
        app.softKeyboards.SetSoftKeyboardVisible(slot, true, false);
        break;
    }
  }
}

// Every command first hides the visible soft keyboards, remembering which to show again.
void HideSoftKeyboardsForCommand(Application& app) {
  for (int slot = 0; slot < kMaxKeyPads; ++slot) {
    app.showAgain[slot] = app.softKeyboards.KeyboardShown(slot);
    if (app.softKeyboards.SoftKeyboardWindowExists(slot) &&
        app.keyPads.slots[slot].accessState.load() != AccessState::Locked &&
        app.shell.touchEnabled.load()) {
      app.softKeyboards.SetSoftKeyboardVisible(slot, false, false);
    }
  }
}

void RestoreSoftKeyboards(Application& app) {
  for (int slot = 0; slot < kMaxKeyPads; ++slot) {
    app.softKeyboards.SetSoftKeyboardVisible(slot, app.showAgain[slot] != 0, false);
  }
}

bool IsShellCommand(std::uint16_t command) {
  switch (command) {
    case kCommandAbout:
    case kCommandExit:
    case kCommandKeyCodeSettings:
    case kCommandPasswordSetting:
    case kCommandFactoryReset:
    case kCommandAuthenticateAgain:
    case kCommandLock:
    case kCommandTouchEnabled:
      return true;
    default:
      return false;
  }
}

bool OnCommand(Application& app, HWND window, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  std::uint16_t command = LOWORD(wParam);
  bool preset = HIWORD(wParam) == kFromSecondInstance;
  // A command that arrives while another one or a shell dialog runs (a soft keyboard can send
  // one at any time) is dropped: nested, it would end the running command's bracket and let a
  // rescan pull its key pad away.
  if (IsShellCommand(command) && app.keyPads.modalActive.load()) {
    result = 0;
    return true;
  }
  app.currentCommand = command;
  if (!preset) HideSoftKeyboardsForCommand(app);
  switch (command) {
    case kCommandAbout:
      app.keyPads.modalActive = true;
      DialogBoxParamW(app.instance, MAKEINTRESOURCEW(IDD_ABOUT), window, AboutDialog, 0);
      break;
    case kCommandExit:
      app.keyPads.modalActive = true;
      if (MessageBoxW(window, Wide(kExitConfirmText.data()), Wide(kExitConfirmTitle.data()),
                      MB_ICONWARNING | MB_YESNO | MB_DEFBUTTON2) == IDYES) {
        DestroyWindow(window);
        return true;
      }
      break;
    case kCommandKeyCodeSettings:
    case kCommandPasswordSetting:
    case kCommandFactoryReset:
    case kCommandAuthenticateAgain:
      app.keyPads.modalActive = true;
      RunShellKeyPadCommand(app, command, preset);
      break;
    case kCommandLock:
      app.keyPads.modalActive = true;
      RunShellLock(app);
      break;
    case kCommandTouchEnabled: {
      std::uint32_t enabled = app.shell.touchEnabled.load() ? 0 : 1;
      app.shell.touchEnabled = enabled;
      WriteTouchSetting(app.settings, enabled);
      if (enabled) app.showAgain.fill(1);
      break;
    }
    default:
      RestoreSoftKeyboards(app);
      result = DefWindowProcW(window, WM_COMMAND, wParam, lParam);
      return true;
  }
  app.keyPads.modalActive = false;
  SetForegroundWindow(window);
  RestoreSoftKeyboards(app);
  result = 0;
  return true;
}

}  // namespace

void ShowTrayMenu(HWND window, POINT point) {
  Application& app = TheApplication();
  HMENU menu = LoadMenuW(app.instance, MAKEINTRESOURCEW(IDR_TRAY_MENU));
  if (!menu) return;
  HMENU popup = GetSubMenu(menu, 0);
  if (popup) {
    ApplyTrayMenuPlan(popup, PlanTrayMenu(app.keyPads, *app.device, app.shell.touchEnabled != 0));
    TrackPopupMenu(popup, TPM_BOTTOMALIGN | TPM_RIGHTALIGN, point.x, point.y, 0, window, nullptr);
  }
  DestroyMenu(menu);
}

void ApplyTrayMenuPlan(HMENU popup, const ShellMenuPlan& plan) {
  auto enable = [popup](int position, bool enabled) {
    EnableMenuItem(popup, position, MF_BYPOSITION | (enabled ? MF_ENABLED : MF_GRAYED));
  };
  enable(kMenuPosReauthenticate, plan.reauthenticateEnabled);
  enable(kMenuPosLock, plan.lockEnabled);
  enable(kMenuPosKeyCodes, plan.keyPadCommandsEnabled);
  enable(kMenuPosPassword, plan.keyPadCommandsEnabled);
  enable(kMenuPosFactoryReset, plan.keyPadCommandsEnabled);
  if (plan.touchPresent) {
    CheckMenuItem(popup, kMenuPosTouch,
                  MF_BYPOSITION | (plan.touchChecked ? MF_CHECKED : MF_UNCHECKED));
  } else {
    DeleteMenu(popup, kMenuPosTouch, MF_BYPOSITION);
  }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Application& app = TheApplication();
  switch (message) {
    case WM_CREATE:
      OnCreate(app, window);
      return 0;
    case WM_DESTROY:
      OnDestroy(app, window);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_TIMER:
      OnTimer(app, window, wParam);
      return 0;
    case kSessionChange:
      OnSessionChange(app, window, wParam, lParam);
      return 0;
    case WM_COMMAND: {
      LRESULT result = 0;
      OnCommand(app, window, wParam, lParam, result);
      return result;
    }
    default:
      if (message == kTrayNotifyMessage) {
        OnTrayNotify(app, window, wParam, lParam);
        return 0;
      }
      if (message == kRevealMessage) {
        OnReveal(app, window);
        return 0;
      }
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

namespace {

BOOL CALLBACK DestroyOwnedWindow(HWND window, LPARAM owner) {
  if (GetParent(window) == reinterpret_cast<HWND>(owner)) DestroyWindow(window);
  return TRUE;
}

}  // namespace

void CloseOwnedWindows(HWND owner) {
  EnumWindows(DestroyOwnedWindow, reinterpret_cast<LPARAM>(owner));
}

void Win32PresenceCheckUi::ShowForcedCloseMessage() {
  MessageBoxW(nullptr, Wide(kForcedCloseText.data()), Wide(kForcedCloseTitle.data()),
              MB_ICONERROR | MB_TASKMODAL | MB_TOPMOST);
}

void Win32PresenceCheckUi::CloseOwnedWindows() {
  if (HWND window = TheApplication().mainWindow) qv::CloseOwnedWindows(window);
}

}  // namespace qv
