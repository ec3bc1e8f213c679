#include "access/monitor_decisions.h"

#include "access/key_pad_connection.h"
#include "access/soft_keyboard_visibility.h"
#include "device/device_commands.h"
#include "device/device_link.h"

namespace qv {
namespace {

ShellMenuPlan PlanMenu(KeyPadTable& table, DeviceContext& context, bool touchEnabled,
                       bool pingEveryBrava) {
  ShellMenuPlan plan;
  const int count = CountedSlots(table);
  bool anyLocked = false;
  bool anyAuthenticated = false;
  for (int i = 0; i < count; ++i) {
    const AccessState state = table.slots[i].accessState;
    anyLocked = anyLocked || state == AccessState::Locked;
    anyAuthenticated = anyAuthenticated || state == AccessState::Authenticated;
  }
  plan.reauthenticateEnabled = anyLocked;
  plan.lockEnabled = anyAuthenticated;
  plan.keyPadCommandsEnabled = count > 0;
  for (int i = 0; i < count; ++i) {
    if (pingEveryBrava && table.slots[i].modelIdentity == kModelB5B50777)
      PingLink(context, table.slots[i].link);
    if (HasSoftKeyboard(table, context, i)) {
      plan.touchPresent = true;
      break;
    }
  }
  plan.touchChecked = plan.touchPresent && touchEnabled;
  return plan;
}

}  // namespace

MonitorTimerAction DecideMonitorTimer(unsigned timerId, const KeyPadTable& table) {
  // While the console is locked or disconnected the timers stay armed: a change made meanwhile
  // is handled at the first tick after the console is back.
  if (table.consoleInactive) return MonitorTimerAction::kKeepArmed;
  if (timerId == kRescanTimerId) {
    // A rescan closes every link and soft keyboard and reconnects the key pads into possibly
    // other slots. While a command (or the connection-time prompt) works on selectedKeyPad, its
    // dialog's modal loop still dispatches this timer; rescanning there would pull the link out
    // from under the command and let it go on with another key pad's slot. The rescan waits
    // instead and runs at the first tick after the command ends; the presence check goes on
    // meanwhile and ends the command when its key pad has gone.
    // The same holds for the lock and the shell's other dialogs (modalActive): the lock walks
    // the slots after its confirmation box, whose modal loop runs this timer too.
    // And while the notification-area menu is open: its entries were set for the table as it is
    // and the user's choice must act on that table.
    if (table.commandActive || table.modalActive || table.trayMenuOpen)
      return MonitorTimerAction::kKeepArmed;
    return MonitorTimerAction::kKillAndRescan;
  }
  return MonitorTimerAction::kKillAndVerify;
}

void RunRescanTick(KeyPadTable& table, ConnectionPorts& ports) {
  // A rescan that waited for a command runs after that command's presence check. With no
  // command left to stop, the flag is what the next presence tick would make it, so the scan
  // reconnects every key pad instead of stopping at the first one after a forced close.
  if (!table.commandActive) table.keyPadPresent = true;
  RescanKeyPads(table, ports);
}

void RunPresenceCheck(KeyPadTable& table, ConnectionPorts& ports) {
  table.keyPadPresent = table.commandActive ? VerifySelectedKeyPad(table, ports) : true;
}

RevealAction DecideReveal(const KeyPadTable& table, int slot, bool softKeyboardWindowExists,
                          bool touchEnabled) {
  if (!IsSlot(slot) || !softKeyboardWindowExists) return RevealAction::kNothing;
  // A command or shell dialog is running: a re-authentication started now would take over
  // selectedKeyPad and the key pad's status in the middle of it, and showing a soft keyboard
  // would undo the hiding the command did. The second start then brings nothing forward; the
  // user can authenticate again from the menu afterwards.
  if (table.modalActive) return RevealAction::kNothing;
  if (table.slots[slot].accessState == AccessState::Locked) return RevealAction::kReauthenticate;
  return MayShowSoftKeyboard(table, slot, touchEnabled) ? RevealAction::kShowSoftKeyboard
                                                        : RevealAction::kNothing;
}

ShellMenuPlan PlanTrayMenu(KeyPadTable& table, DeviceContext& context, bool touchEnabled) {
  return PlanMenu(table, context, touchEnabled, true);
}

ShellMenuPlan PlanTrayMenuDialog(KeyPadTable& table, DeviceContext& context, bool touchEnabled) {
  return PlanMenu(table, context, touchEnabled, false);
}

}  // namespace qv
