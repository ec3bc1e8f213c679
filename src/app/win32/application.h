// The program's entry, its hidden main window and everything start-up sets up.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <functional>
#include <memory>

#include "access/access_control.h"
#include "access/access_ports.h"
#include "access/key_pad_table.h"
#include "access/monitor_decisions.h"
#include "access/win32/keyboard_change_watcher.h"
#include "app/app_state.h"
#include "app/command_bracket.h"
#include "app/win32/registry_settings.h"
#include "app/win32/tray_icon.h"
#include "common/settings_store.h"
#include "common/win32/owned.h"
#include "device/device_context.h"
#include "device/hid_port.h"
#include "keycode/key_code_store.h"
#include "keycode/shortcuts.h"
#include "softkbd/win32/soft_keyboard_host_win32.h"

namespace qv {

// What the presence check shows: a task-modal message box, then the main window's dialogs go.
class Win32PresenceCheckUi : public PresenceCheckUi {
 public:
  explicit Win32PresenceCheckUi(const HWND* mainWindow) : mainWindow_(mainWindow) {}
  void ShowForcedCloseMessage() override;
  void CloseOwnedWindows() override;

 private:
  const HWND* mainWindow_;
};

// Everything start-up sets up, kept for the life of the process.
struct Application {
  HINSTANCE instance = nullptr;
  HWND mainWindow = nullptr;
  HACCEL accelerators = nullptr;
  // The instance mutex, the session module (when the program loaded it) and GDI+ are owned by
  // ApplicationMain for its run.
  using WtsRegisterProc = BOOL(WINAPI*)(HWND, DWORD);
  using WtsUnregisterProc = BOOL(WINAPI*)(HWND);
  using ActiveConsoleProc = DWORD(WINAPI*)();
  WtsRegisterProc wtsRegisterSessionNotification = nullptr;
  WtsUnregisterProc wtsUnregisterSessionNotification = nullptr;
  ActiveConsoleProc wtsGetActiveConsoleSessionId = nullptr;
  RegistrySettings settings;
  ShellState shell;

  // The key pads: the HID system, the device link's state, the key pad table and key codes.
  HidSystem* hid = nullptr;
  std::unique_ptr<DeviceContext> device;
  KeyPadTable keyPads;
  DeviceKeyCodeCache keyCodeCache;
  EditedKeyCodes editedKeyCodes;
  // The shortcut list from shortcut.ini, read once at start (the key input dialog's sessions
  // point to it).
  ShortcutList shortcuts;
  Win32SoftKeyboardHost softKeyboards;
  Win32PresenceCheckUi presenceUi{&mainWindow};
  std::unique_ptr<ConnectionPromptPort> prompts;
  std::unique_ptr<ConnectionPorts> ports;

  // The notification-area icon.
  TrayIcon trayIcon;

  // The keyboard-change watcher thread.
  KeyboardWatcherState watcher;
  OwnedHandle watcherThread;

  // The access control: its dialogs and message boxes, and what the flows work with.
  std::unique_ptr<AccessUi> accessUi;
  std::unique_ptr<ShellStepsPort> shellSteps;
  std::unique_ptr<AccessPorts> access;
  // The dialogs of the soft keyboards' menus, and the main window as their threads see it.
  std::unique_ptr<SoftKeyDialogs> softKeyDialogs;
  std::atomic<HWND> sharedMainWindow{nullptr};

  // Called when the end of the session has been handled (the program's run sets it so that the
  // process ends even if a dialog's loop on the main thread's stack is slow to return).
  std::function<void()> onSessionEnded;

  // The shell's command state.
  std::uint16_t currentCommand = 0;
  ShowAgainFlags showAgain{};
  ShellCommandState commands{keyPads, softKeyboards, showAgain, shell.touchEnabled, settings};

  // The main window's messages (its procedure is WindowProcOf<Application>, the window's
  // creation parameter this application).
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// The one application of the process, for start-up only: every window procedure finds the
// application through its window.
Application& TheApplication();

// The program: `hid` is the HID system the key pads are found on.
int ApplicationMain(HINSTANCE instance, const wchar_t* commandLine, int showCommand,
                    HidSystem& hid);

// Loads the strings, prepares the key pad side over `hid`, registers the main window class and
// creates the main window (whose creation starts the watcher and the monitor timers).
bool StartMainWindow(HINSTANCE instance, int showCommand, HidSystem& hid);
bool CreateMainWindow(HINSTANCE instance, int showCommand);

// Shows the notification-area menu at a screen point. Rescans wait while it is open, so that
// its entries describe the key pads the chosen command acts on.
void ShowTrayMenu(Application& app, HWND window, POINT point);
// Enables, disables, checks or deletes the menu's key pad entries as the plan says.
void ApplyTrayMenuPlan(HMENU popup, const ShellMenuPlan& plan);

// The access control as the shell runs it (prompts, commands, lock, the main menu dialog).
// Prepares the access flows' ports and the connection-time prompt over them.
void PrepareAccessControl(Application& app);
void RunShellKeyPadCommand(Application& app, std::uint16_t command, bool preset);
void RunShellLock(Application& app);
// Dialog 137; returns the id of the button that ended it.
int RunTrayMenuDialog(Application& app);

// Sends a message to the first top-level window whose class name equals `className` (ignoring
// case), waiting at most kInstanceMessageTimeoutMs. True when such a window was found.
bool SendToRunningInstance(const wchar_t* className, UINT message);

// Closes every top-level window owned by `owner`, directly or through another owned window (the
// open dialogs of the main window and the dialogs and message boxes they opened). Dialogs and
// message boxes are ended, not destroyed, so that each modal loop returns and enables its owner
// again; other windows are destroyed.
void CloseOwnedWindows(HWND owner);

// How long the process may take to end after the end of the session was handled, before it
// ends itself: by then the keys are released and the key pads resumed.
inline constexpr DWORD kSessionEndGraceMs = 3000;

// How long the main window's end waits for the keyboard-change watcher to stop.
inline constexpr DWORD kWatcherStopWaitMs = 3000;

}  // namespace qv
