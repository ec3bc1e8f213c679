#include "app/command_bracket.h"

#include "common/ids.h"

namespace qv {

ShellCommandKind KindOfCommand(std::uint16_t command) {
  switch (command) {
    case kCommandAbout:
      return ShellCommandKind::kAbout;
    case kCommandExit:
      return ShellCommandKind::kExit;
    case kCommandKeyCodeSettings:
    case kCommandPasswordSetting:
    case kCommandFactoryReset:
    case kCommandAuthenticateAgain:
      return ShellCommandKind::kKeyPad;
    case kCommandLock:
      return ShellCommandKind::kLock;
    case kCommandTouchEnabled:
      return ShellCommandKind::kTouchSwitch;
    default:
      return ShellCommandKind::kOther;
  }
}

namespace {

bool MarksShellBusy(ShellCommandKind kind) {
  return kind == ShellCommandKind::kAbout || kind == ShellCommandKind::kExit ||
         kind == ShellCommandKind::kKeyPad || kind == ShellCommandKind::kLock;
}

void HideSoftKeyboardsForCommand(ShellCommandState& state) {
  const bool touch = state.touchEnabled.load() != 0;
  for (int slot = 0; slot < kMaxKeyPads; ++slot) {
    state.showAgain[slot] = state.softKeyboards.KeyboardShown(slot) ? 1 : 0;
    if (state.softKeyboards.SoftKeyboardWindowExists(slot) &&
        MayShowSoftKeyboard(state.table, slot, touch))
      state.softKeyboards.HideForCommand(slot);
  }
}

}  // namespace

ShellCommandStart BeginShellCommand(ShellCommandState& state, std::uint16_t command,
                                    std::uint16_t notificationCode) {
  ShellCommandStart start;
  start.kind = KindOfCommand(command);
  start.preset = notificationCode == kFromSecondInstance;
  if (start.kind != ShellCommandKind::kOther &&
      (state.table.modalActive.load() || state.table.rescanRunning.load())) {
    start.dropped = true;
    return start;
  }
  if (!start.preset) HideSoftKeyboardsForCommand(state);
  if (MarksShellBusy(start.kind)) state.table.modalActive = true;
  return start;
}

void EndShellCommand(ShellCommandState& state, const ShellCommandStart& start) {
  if (start.dropped) return;
  if (start.kind != ShellCommandKind::kOther) state.table.modalActive = false;
  for (int slot = 0; slot < kMaxKeyPads; ++slot) {
    state.softKeyboards.SetSoftKeyboardVisible(slot, state.showAgain[slot] != 0,
                                               state.softKeyboards.HiddenToIcon(slot));
  }
}

void SwitchTouchFunction(ShellCommandState& state) {
  const std::uint32_t enabled = state.touchEnabled.load() != 0 ? 0 : 1;
  state.touchEnabled = enabled;
  WriteTouchSetting(state.settings, enabled);
  if (enabled) state.showAgain.fill(1);
}

void ShowEverySoftKeyboard(ShellCommandState& state) {
  for (int slot = 0; slot < kMaxKeyPads; ++slot)
    state.softKeyboards.SetSoftKeyboardVisible(slot, true, false);
}

}  // namespace qv
