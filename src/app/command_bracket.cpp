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

// What the end of the command brings back: every slot's soft keyboard as it is now.
void RememberSoftKeyboards(ShellCommandState& state) {
  for (int slot = 0; slot < kMaxKeyPads; ++slot)
    state.showAgain[slot] = state.softKeyboards.KeyboardShown(slot) ? 1 : 0;
}

void HideSoftKeyboardsForCommand(ShellCommandState& state) {
  const bool touch = state.touchEnabled.load() != 0;
  RememberSoftKeyboards(state);
  for (int slot = 0; slot < kMaxKeyPads; ++slot) {
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
  start.preset = notificationCode == kPresetKeyPadCode;
  if (start.kind != ShellCommandKind::kOther) {
    // Taken first: hiding the soft keyboards waits for their threads (up to seconds), and a
    // soft keyboard's own command must find the shell busy from this moment on.
    start.holdsModal = MarksShellBusy(start.kind) && TakeModal(state.table);
    const bool free =
        MarksShellBusy(start.kind) ? start.holdsModal : !state.table.modalActive.load();
    if (!free || state.table.rescanRunning.load()) {
      if (start.holdsModal) ReleaseModal(state.table);
      start.holdsModal = false;
      start.dropped = true;
      return start;
    }
  }
  // A preset command leaves the soft keyboards on the screen; its end must find them as they
  // are now, not as an earlier command left showAgain.
  if (start.preset)
    RememberSoftKeyboards(state);
  else
    HideSoftKeyboardsForCommand(state);
  return start;
}

void EndShellCommand(ShellCommandState& state, const ShellCommandStart& start) {
  if (start.dropped) return;
  if (start.holdsModal) ReleaseModal(state.table);
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
