// The main window's decisions about the key pads: what a monitor timer tick does, what the
// reveal message from a second start does for each slot, and which entries of the notification
// area menu and of the main menu dialog are offered.
#pragma once

#include <cstdint>

#include "access/access_ports.h"
#include "access/key_pad_table.h"
#include "common/ids.h"
#include "device/device_context.h"

namespace qv {

enum class MonitorTimerAction {
  kKeepArmed,      // do nothing now; the timer fires again
  kKillAndRescan,  // kill the timer, then RescanKeyPads
  kKillAndVerify,  // kill the timer, then RunPresenceCheck
};

// The rescan timer (id 1) and any other id (the presence check).
MonitorTimerAction DecideMonitorTimer(unsigned timerId, const KeyPadTable& table);

// The rescan of a timer tick: with no command active the key pads count as present again, then
// RescanKeyPads.
void RunRescanTick(KeyPadTable& table, ConnectionPorts& ports);

// The presence check of a timer tick: keyPadPresent = VerifySelectedKeyPad while a command is
// active, true otherwise.
void RunPresenceCheck(KeyPadTable& table, ConnectionPorts& ports);

// What the reveal message (a second start of the program) does for one slot.
enum class RevealAction {
  kNothing,
  kReauthenticate,    // selectedKeyPad = slot, then command 32781 with the slot preset
  kShowSoftKeyboard,  // lay out the current page, hide the info icon, show without activating
};
RevealAction DecideReveal(const KeyPadTable& table, int slot, bool softKeyboardWindowExists,
                          bool touchEnabled);

// Positions of the notification-area menu's first popup.
inline constexpr int kMenuPosReauthenticate = 0;
inline constexpr int kMenuPosLock = 1;
inline constexpr int kMenuPosKeyCodes = 3;
inline constexpr int kMenuPosPassword = 4;
inline constexpr int kMenuPosFactoryReset = 5;
inline constexpr int kMenuPosTouch = 6;

// The states of the key pad entries. In the menu: reauthenticate = position 0, lock = 1,
// keyPadCommands = 3, 4, 5, touch = 6 (deleted when not present). In dialog 137: 1019, 1020,
// 1021 to 1023 and the check box 1044 (hidden when not present).
struct ShellMenuPlan {
  bool reauthenticateEnabled = true;  // some counted key pad is Locked
  bool lockEnabled = false;           // some counted key pad is Authenticated
  bool keyPadCommandsEnabled = true;  // a key pad is counted
  bool touchPresent = false;          // some counted key pad has a soft keyboard
  bool touchChecked = false;          // touchEnabled
};

// The notification-area menu. Tests the counted slots with HasSoftKeyboard up to the first that
// has one (pinging a 0xB4B4074F key pad); a 0xB5B50777 key pad that is tested is pinged too.
ShellMenuPlan PlanTrayMenu(KeyPadTable& table, DeviceContext& context, bool touchEnabled);

// The main menu dialog 137: the same rule, without the extra ping.
ShellMenuPlan PlanTrayMenuDialog(KeyPadTable& table, DeviceContext& context, bool touchEnabled);

}  // namespace qv
