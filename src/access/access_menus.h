// The two small menu dialogs: the main menu dialog 137 (a double click on the notification-area
// icon) and the soft keyboard's menu dialog 173.
#pragma once

#include <array>
#include <functional>

#include "access/access_control.h"
#include "access/monitor_decisions.h"

namespace qv {

// Dialog 137 opens: the states of its buttons and of the check box 1044.
ShellMenuPlan OpenTrayMenuDialog(AccessPorts& ports);

// How one control of a dialog is set when the dialog opens.
struct DialogControlState {
  int id = 0;
  bool enabled = true;
  bool shown = true;
  int checked = -1;  // -1: not a check box; 0 or 1
};
// The controls of dialog 137 as the plan sets them: 1019 only while some key pad is Locked, 1020
// (disabled in the resource) while some key pad is Authenticated, 1021 to 1023 while a key pad
// is counted, and the check box 1044 shown only when some key pad has a soft keyboard, checked
// with the touch function.
std::array<DialogControlState, 6> TrayMenuDialogControls(const ShellMenuPlan& plan);

// Whether a command of dialog 137 ends it (with that id): OK, Cancel and the buttons 1019-1023.
bool TrayMenuDialogEndsWith(int commandId);

// The check box 1044 was clicked and is now `checked`: shows or hides every soft keyboard,
// sets touchEnabled and stores it as "t_enable". The dialog stays open.
void ToggleTouchFromTrayMenu(AccessPorts& ports, bool checked);

// Dialog 173 opens, owned by `owner`.
struct SoftKeyMenuPlan {
  bool forKeyPad = false;       // menuKeyPad names a slot; the states below apply
  bool settingsLocked = false;  // check 1042
  bool lockEnabled = false;     // enable 1020
};
// menuKeyPad = the first counted slot whose soft keyboard window is `owner` (unchanged when none
// is). `softKeyboardWindowOf` gives a slot's soft keyboard window, 0 for none.
SoftKeyMenuPlan OpenSoftKeyMenu(KeyPadTable& table, UiWindow owner,
                                const std::function<UiWindow(int slot)>& softKeyboardWindowOf);

// A command of dialog 173 with the check box's state: the id to end the dialog with (1, 2, 1020,
// 1022), or 0 when the dialog stays open. OK stores the check box in settingsLocked of menuKeyPad.
int SoftKeyMenuCommand(KeyPadTable& table, int commandId, bool settingsLockedChecked);

}  // namespace qv
