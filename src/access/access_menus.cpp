#include "access/access_menus.h"

namespace qv {
ShellMenuPlan OpenTrayMenuDialog(AccessPorts& ports) {
  return PlanTrayMenuDialog(ports.table, ports.device, ports.touchEnabled != 0);
}

std::array<DialogControlState, 6> TrayMenuDialogControls(const ShellMenuPlan& plan) {
  const bool commands = plan.keyPadCommandsEnabled;
  return {{
      {kTrayDialogReauthenticate, plan.reauthenticateEnabled, true, -1},
      {kTrayDialogLock, plan.lockEnabled, true, -1},
      {kTrayDialogKeyCodes, commands, true, -1},
      {kTrayDialogPassword, commands, true, -1},
      {kTrayDialogFactoryReset, commands, true, -1},
      {kTrayDialogTouch, true, commands && plan.touchPresent, plan.touchChecked ? 1 : 0},
  }};
}

bool TrayMenuDialogEndsWith(int commandId) {
  return commandId == kDialogOk || commandId == kDialogCancel ||
         (commandId >= kTrayDialogReauthenticate && commandId <= kTrayDialogFactoryReset);
}

void ToggleTouchFromTrayMenu(AccessPorts& ports, bool checked) {
  // Set first, so that the soft keyboards may be shown by the calls below.
  ports.touchEnabled = 1;
  for (int slot = 0; slot < kMaxKeyPads; ++slot)
    ports.shellSteps.SetSoftKeyboardVisible(slot, checked);
  if (!checked) ports.touchEnabled = 0;
  WriteTouchSetting(ports.settings, ports.touchEnabled);
}

SoftKeyMenuPlan OpenSoftKeyMenu(KeyPadTable& table, UiWindow owner,
                                const std::function<UiWindow(int slot)>& softKeyboardWindowOf) {
  const int count = CountedSlots(table);
  for (int slot = 0; owner != 0 && slot < count; ++slot) {
    if (softKeyboardWindowOf && softKeyboardWindowOf(slot) == owner) {
      table.menuKeyPad = static_cast<std::uint16_t>(slot);
      break;
    }
  }
  SoftKeyMenuPlan plan;
  const int menuKeyPad = table.menuKeyPad;
  if (!IsSlot(menuKeyPad)) return plan;
  const KeyPadSlot& entry = table.slots[menuKeyPad];
  plan.forKeyPad = true;
  plan.settingsLocked = entry.settingsLocked;
  plan.lockEnabled = entry.accessState == AccessState::Authenticated;
  return plan;
}

int SoftKeyMenuCommand(KeyPadTable& table, int commandId, bool settingsLockedChecked) {
  switch (commandId) {
    case kDialogOk: {
      const int menuKeyPad = table.menuKeyPad;
      if (IsSlot(menuKeyPad)) table.slots[menuKeyPad].settingsLocked = settingsLockedChecked;
      return kDialogOk;
    }
    case kDialogCancel:
    case kSoftKeyMenuLock:
    case kSoftKeyMenuPassword:
      return commandId;
    default:
      return 0;
  }
}

}  // namespace qv
