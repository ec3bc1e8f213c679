// The hidden main window: the notification-area icon and its menu, the key pad commands, the
// monitor timers, the console notifications and a second start of the program.
#include <windows.h>

#include <string>

#include "access/key_pad_connection.h"
#include "access/monitor_decisions.h"
#include "access/session_end.h"
#include "app/command_bracket.h"
#include "app/shell_commands.h"
#include "app/shell_texts.h"
#include "app/win32/application.h"
#include "app/win32/shell_dialogs.h"
#include "common/ids.h"
#include "common/settings_store.h"
#include "common/win32/scoped_dc.h"
#include "common/win32/ui_message_win32.h"
#include "common/win32/wide.h"
#include "resource.h"

namespace qv {
namespace {

constexpr UINT kSessionChange = 0x02B1;  // WM_WTSSESSION_CHANGE

void OnCreate(Application& app, HWND window) {
  app.mainWindow = window;
  app.sharedMainWindow = window;
  app.access->mainWindow = reinterpret_cast<UiWindow>(window);
  if (app.wtsRegisterSessionNotification) app.wtsRegisterSessionNotification(window, 0);
  app.shell.nonJapaneseLayout = ReadKeyboardIdentifier(app.settings);
  app.trayIcon.Add(window, app.instance, Wide(app.shell.strings.productName));
  app.keyPads.modalActive = false;
  app.keyPads.commandActive = false;
  app.keyPads.keyPadPresent = true;
  app.softKeyboards.Clear();
  app.watcher.mainWindow = window;
  if (!app.watcherThread) {
    app.watcher.watcherRunning = true;
    app.watcherThread.reset(
        CreateThread(nullptr, 0, KeyboardChangeWatcher, &app.watcher, 0, nullptr));
  }
  // The first key pad scan runs half a second after start, inside the message loop.
  SetTimer(window, kRescanTimerId, kMonitorStartMs, nullptr);
  SetTimer(window, kPresenceTimerId, kMonitorStartMs, nullptr);
  SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void OnDestroy(Application& app, HWND window) {
  if (app.watcherThread) {
    app.watcher.watcherRunning = false;
    // The watcher notices the flag within about 100 ms. One stuck in the system's event query
    // must not keep the program from ending: after a few seconds the end goes on without it.
    WaitForSingleObject(app.watcherThread.get(), kWatcherStopWaitMs);
    app.watcherThread.reset();
  }
  app.watcher.mainWindow = nullptr;
  app.trayIcon.Delete();
  KillTimer(window, kRescanTimerId);
  KillTimer(window, kPresenceTimerId);
  // A scan this close came in the middle of (a "/CLOSE" handled while the scan waits for a
  // starting soft keyboard) starts no other keyboard and asks nothing more.
  app.keyPads.keyPadPresent = false;
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
  if (change.setActive) {
    app.keyPads.consoleInactive = false;
    // Windows may have dropped the low-level hook while the session was away.
    app.softKeyboards.ReinstallHotKeyHook();
  }
  if (change.closeOwnedWindows) CloseOwnedWindows(window);
}

void OnTrayNotify(Application& app, HWND window, WPARAM iconId, LPARAM mouseMessage) {
  if (iconId != kTrayIconId || app.keyPads.modalActive.load()) return;
  switch (mouseMessage) {
    case WM_LBUTTONUP:
      ShowEverySoftKeyboard(app.commands);
      break;
    case WM_LBUTTONDBLCLK: {
      if (!TakeModal(app.keyPads)) break;  // a soft keyboard's command took it meanwhile
      int button = RunTrayMenuDialog(app);
      // The dialog is over before its command runs (the command brackets itself).
      ReleaseModal(app.keyPads);
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
      ShowTrayMenu(app, window, point);
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
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(kCommandAuthenticateAgain, kPresetKeyPadCode),
                     0);
        break;
      case RevealAction::kShowSoftKeyboard:
        app.softKeyboards.ShowRevealed(slot);
        break;
    }
  }
}

LRESULT OnCommand(Application& app, HWND window, WPARAM wParam, LPARAM lParam) {
  const std::uint16_t command = LOWORD(wParam);
  const ShellCommandStart start = BeginShellCommand(app.commands, command, HIWORD(wParam));
  if (start.dropped) return 0;
  app.currentCommand = command;
  switch (start.kind) {
    case ShellCommandKind::kAbout:
      RunAboutDialog(app.instance, window, app.shell.paths);
      break;
    case ShellCommandKind::kExit: {
      if (ShowUiMessage(window, kExitConfirmationMessage) == kMessageYes) {
        DestroyWindow(window);
        return 0;
      }
      break;
    }
    case ShellCommandKind::kKeyPad:
      RunShellKeyPadCommand(app, command, start.preset);
      break;
    case ShellCommandKind::kLock:
      RunShellLock(app);
      break;
    case ShellCommandKind::kTouchSwitch:
      SwitchTouchFunction(app.commands);
      break;
    case ShellCommandKind::kOther:
      EndShellCommand(app.commands, start);
      return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
  }
  EndShellCommand(app.commands, start);
  SetForegroundWindow(window);
  return 0;
}

// Windows ends the session, an installer (through the Restart Manager, ENDSESSION_CLOSEAPP) or
// "/CLOSE" closes the program: the process may be ended as soon as this returns, so everything
// that must not be left behind happens here, in this order. The key pads' waits are cut short
// first, so that no close below waits out an exchange with a key pad that stopped answering. Then
// the soft keyboards close: a soft key repeating stops and every key it holds is released, and no
// soft keyboard talks to its key pad any more. Then the key pad a command left in its editing state
// gets its resume value, and the command's remaining steps are told that their key pad is gone.
// Last the open dialogs end and the main window goes (its WM_DESTROY stops the watcher, removes
// the icon and ends the loop).
void EndProgram(Application& app, HWND window) {
  CutKeyPadWaitsForSessionEnd(*app.device);
  for (int slot = 0; slot < kMaxKeyPads; ++slot) CloseSoftKeyboard(app.softKeyboards, slot);
  SettleKeyPadsForSessionEnd(app.keyPads, *app.device);
  KillTimer(window, kRescanTimerId);
  KillTimer(window, kPresenceTimerId);
  EndMenu();  // the notification-area menu, if it is open
  CloseOwnedWindows(window);
  DestroyWindow(window);
}

LRESULT HandleMainWindowMessage(Application& app, HWND window, UINT message, WPARAM wParam,
                                LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      OnCreate(app, window);
      return 0;
    case WM_DESTROY:
      OnDestroy(app, window);
      return 0;
    case WM_PAINT: {
      const PaintDc paint(window);  // the hidden window draws nothing
      return 0;
    }
    case WM_TIMER:
      OnTimer(app, window, wParam);
      return 0;
    case kSessionChange:
      OnSessionChange(app, window, wParam, lParam);
      return 0;
    case WM_COMMAND:
      return OnCommand(app, window, wParam, lParam);
    case WM_QUERYENDSESSION:
      // The program never holds up a logoff, a shutdown or an installer: whatever it is doing
      // can be ended cleanly when the end comes.
      return TRUE;
    case WM_ENDSESSION:
      if (wParam) {
        EndProgram(app, window);
        if (app.onSessionEnded) app.onSessionEnded();
      }
      return 0;
    case WM_CLOSE:
      // "/CLOSE" (or an installer that closes the window): a command in the middle of its work
      // leaves its key pad in the editing state unless the end settles it as the end of the
      // session does; destroying the window alone would unwind the command without its resume.
      EndProgram(app, window);
      return 0;
    default:
      if (message == kTrayNotifyMessage) {
        OnTrayNotify(app, window, wParam, lParam);
        return 0;
      }
      if (message == kRevealMessage) {
        OnReveal(app, window);
        return 0;
      }
      if (message == kKeyboardChangedMessage) {
        // Re-setting a pending timer restarts it: a burst of changes gives one rescan.
        SetTimer(window, kRescanTimerId, kMonitorChangeMs, nullptr);
        SetTimer(window, kPresenceTimerId, kMonitorChangeMs, nullptr);
        return 0;
      }
      // The shell restarted and lost every icon: add ours again.
      if (message != 0 && message == app.trayIcon.taskbarCreatedMessage()) {
        app.trayIcon.AddAgain();
        return 0;
      }
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

// Closes one owned window. A dialog (the system's dialog class, message boxes included) is sent
// its cancel command, so it ends as its own cancel button would end it: whatever that button
// drops (a pending extended setting, a declined prompt) is dropped here too. A dialog still shown
// afterwards has no cancel of its own (a Yes/No box, a dialog that swallows Esc) and is ended
// with IDCANCEL, so that its modal loop returns and enables its owner again. Any other window is
// destroyed.
void CloseOwnedWindow(HWND window) {
  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  if (lstrcmpW(className, L"#32770") == 0) {
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    if (IsWindow(window) && IsWindowVisible(window)) EndDialog(window, IDCANCEL);
  } else {
    DestroyWindow(window);
  }
}

bool IsOwnedBy(HWND window, HWND owner) {
  // Top-level windows form a short owner chain; the bound only guards against a cycle.
  for (int depth = 0; window != nullptr && depth < 32; ++depth) {
    window = GetWindow(window, GW_OWNER);
    if (window == owner) return true;
  }
  return false;
}

BOOL CALLBACK CloseIfOwned(HWND window, LPARAM owner) {
  if (IsOwnedBy(window, reinterpret_cast<HWND>(owner))) CloseOwnedWindow(window);
  return TRUE;
}

}  // namespace

LRESULT Application::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return HandleMainWindowMessage(*this, window, message, wParam, lParam);
}

void ShowTrayMenu(Application& app, HWND window, POINT point) {
  OwnedMenu menu(LoadMenuW(app.instance, MAKEINTRESOURCEW(IDR_TRAY_MENU)));
  if (!menu) return;
  HMENU popup = GetSubMenu(menu.get(), 0);
  if (!popup) return;
  ApplyTrayMenuPlan(popup, PlanTrayMenu(app.keyPads, *app.device, app.shell.touchEnabled != 0));
  // The menu's own loop runs the monitor timers: a rescan meanwhile would renumber the slots
  // behind the entries the user is looking at.
  app.keyPads.trayMenuOpen = true;
  TrackPopupMenu(popup, TPM_BOTTOMALIGN | TPM_RIGHTALIGN, point.x, point.y, 0, window, nullptr);
  app.keyPads.trayMenuOpen = false;
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

void CloseOwnedWindows(HWND owner) {
  EnumWindows(CloseIfOwned, reinterpret_cast<LPARAM>(owner));
}

void Win32PresenceCheckUi::ShowForcedCloseMessage() {
  const UiMessage message{kForcedCloseTitle, kForcedCloseText, MessageIcon::kError};
  ShowUiMessage(nullptr, message, MB_TASKMODAL | MB_TOPMOST);
}

void Win32PresenceCheckUi::CloseOwnedWindows() {
  if (mainWindow_ != nullptr && *mainWindow_ != nullptr) qv::CloseOwnedWindows(*mainWindow_);
}

}  // namespace qv
