#include "softkbd/soft_key_commands.h"

#include <algorithm>

#include "device/device_commands.h"

namespace qv {

bool IsSoftKeyCommand(std::uint16_t command) {
  switch (command) {
    case kCommandKeyImage:
    case kCommandKeyText:
    case kCommandKeyInput:
    case kCommandPageImage:
    case kCommandPageText:
    case kCommandKeyCheck:
    case kCommandSettingsLock:
    case kCommandSettingsAuthenticate:
      return true;
    default:
      return false;
  }
}

namespace {

bool WantsKey(std::uint16_t command) {
  return command == kCommandKeyImage || command == kCommandKeyText || command == kCommandKeyInput ||
         command == kCommandKeyCheck;
}

bool WantsPage(std::uint16_t command) {
  return command == kCommandPageImage || command == kCommandPageText;
}

// modalActive, taken for the run of one command (TakeModal) and given back at its end.
class ModalScope {
 public:
  explicit ModalScope(KeyPadTable& table) : table_(table), taken_(TakeModal(table)) {}
  ~ModalScope() {
    if (taken_) ReleaseModal(table_);
  }
  bool Taken() const { return taken_; }
  ModalScope(const ModalScope&) = delete;
  ModalScope& operator=(const ModalScope&) = delete;

 private:
  KeyPadTable& table_;
  bool taken_;
};

// The blinking of the target's button, ended when the dialog is done.
class BlinkScope {
 public:
  BlinkScope(SoftKeyCommandUi& ui, AssetTarget target) : ui_(ui) { ui_.StartBlink(target); }
  ~BlinkScope() { ui_.StopBlink(); }
  BlinkScope(const BlinkScope&) = delete;
  BlinkScope& operator=(const BlinkScope&) = delete;

 private:
  SoftKeyCommandUi& ui_;
};

// Writes the edited code of `key` to the key pad; the mirror takes it only once it is written.
bool WriteEditedKey(SoftKeyCommandContext& context, SoftKeyCommandUi& ui, int slot, int key) {
  const KeyCodeRecord& record = context.edited.records[key];
  if (!ui.Exchange([&] {
        return WriteKeyCode(context.device, context.table.slots[slot].link, key + 1, record);
      })) {
    return false;
  }
  context.keyCodes.slots[slot][key] = record;
  return true;
}

SoftKeyCommandResult RunDialog(SoftKeyCommandContext& context, SoftKeyCommandUi& ui, int slot,
                               std::uint16_t command, AssetTarget target) {
  KeyPadTable& table = context.table;
  switch (command) {
    case kCommandKeyImage:
    case kCommandPageImage:
      if (ui.RunImageDialog(target) == 1 && ui.WindowOpen()) ui.Relayout();
      break;
    case kCommandKeyText:
    case kCommandPageText:
      if (ui.RunTextDialog(target) == 1 && ui.WindowOpen()) ui.Relayout();
      break;
    case kCommandKeyInput: {
      context.edited.selectedKey = target.index;
      table.selectedKeyPad = static_cast<std::uint16_t>(slot);
      const int result = ui.RunKeyInput(target.index);
      if (!ui.WindowOpen()) return SoftKeyCommandResult::kWindowClosed;
      if (result == 1 && !WriteEditedKey(context, ui, slot, target.index)) {
        return SoftKeyCommandResult::kWriteFailed;
      }
      break;
    }
    case kCommandKeyCheck:
      context.edited.selectedKey = target.index;
      table.selectedKeyPad = static_cast<std::uint16_t>(slot);
      ui.RunKeyCheck(target.index);
      break;
    case kCommandSettingsAuthenticate: {
      table.selectedKeyPad = static_cast<std::uint16_t>(slot);
      table.softKeyAuthMode = true;
      const int result = ui.RunSettingsPrompt();
      // A rescan meanwhile may have given the slot to another key pad.
      if (!ui.WindowOpen()) return SoftKeyCommandResult::kWindowClosed;
      table.slots[slot].softKeyAuthenticated =
          result == 1 ? kSoftKeyAuthenticated : kSoftKeyNotAuthenticated;
      break;
    }
    default:
      break;
  }
  return ui.WindowOpen() ? SoftKeyCommandResult::kDone : SoftKeyCommandResult::kWindowClosed;
}

}  // namespace

SoftKeyCommandResult RunSoftKeyCommand(SoftKeyCommandContext& context, SoftKeyCommandUi& ui,
                                       int slot, std::uint16_t command, AssetTarget target) {
  KeyPadTable& table = context.table;
  if (!IsSlot(slot) || !IsSoftKeyCommand(command)) return SoftKeyCommandResult::kRefused;
  if ((WantsKey(command) && (target.isPage || !IsValidTarget(target))) ||
      (WantsPage(command) && (!target.isPage || !IsValidTarget(target)))) {
    return SoftKeyCommandResult::kRefused;
  }
  if (command == kCommandSettingsLock) {
    table.slots[slot].softKeyAuthenticated = kSoftKeyNotAuthenticated;
    return SoftKeyCommandResult::kDone;
  }
  // A shell dialog (one of a tray command, or another soft keyboard's) works on the editing copy
  // and the links now.
  ModalScope modal(table);
  if (!modal.Taken()) return SoftKeyCommandResult::kRefused;

  // The key pad is suspended while the dialog is open; without an answer nothing is written.
  DeviceInfo info{};
  if (!ui.Exchange([&] { return ReadDeviceInfo(context.device, table.slots[slot].link, info); })) {
    ui.Tell(kSoftKeyStatusReadFailedMessage);
    return SoftKeyCommandResult::kStatusReadFailed;
  }
  const std::uint8_t status = info[0];
  if (status & 0x80) {
    ui.Exchange([&] {
      return WriteStatusByte(context.device, table.slots[slot].link, EditingStatusValue(status));
    });
  }

  // The link the command started on: a key pad closed or reopened meanwhile is not resumed.
  const DeviceLink& link = table.slots[slot].link;
  const HidHandle startHandle = link.handle;
  SoftKeyCommandResult result;
  if (command == kCommandSettingsAuthenticate) {
    result = RunDialog(context, ui, slot, command, target);
  } else {
    BlinkScope blink(ui, target);
    result = RunDialog(context, ui, slot, command, target);
  }
  // A keyboard closed during the dialog (the program ends) leaves its key pad resumed as long
  // as the link is the one the command suspended; no other write follows.
  const bool sameLink = link.handle == startHandle && link.handle != kInvalidHidHandle;
  if (result == SoftKeyCommandResult::kWindowClosed && !sameLink) return result;
  ui.Exchange([&] {
    return WriteStatusByte(context.device, table.slots[slot].link, ResumeStatusValue(status));
  });
  if (result == SoftKeyCommandResult::kWindowClosed) return result;
  // Told once the key no longer blinks.
  if (result == SoftKeyCommandResult::kWriteFailed) ui.Tell(kSoftKeyWriteFailedMessage);
  return result;
}

}  // namespace qv
