#include "access/access_control.h"

#include "access/key_pad_connection.h"
#include "access/key_pad_selection.h"
#include "access/model_names.h"
#include "common/ids.h"
#include "device/device_commands.h"
#include "device/device_link.h"

namespace qv {
namespace {

constexpr SubmitOutcome EndWith(int result) {
  return SubmitOutcome{true, result};
}
constexpr SubmitOutcome StayOpen() {
  return SubmitOutcome{false, 0};
}

// Any value written after the editing value (resume, after reset, lock) ends the editing state.
void WriteStatus(AccessPorts& ports, int slot, std::uint8_t value) {
  WriteStatusByte(ports.device, ports.table.slots[slot].link, value);
  if (slot == ports.table.commandKeyPad.load()) ports.table.editingStatus = -1;
}

// The editing value of a command, built on the status `s` the command read; remembered so that
// the end of the session can write the resume value in the command's place.
void WriteEditingStatus(AccessPorts& ports, int slot, std::uint8_t s) {
  WriteStatusByte(ports.device, ports.table.slots[slot].link, EditingStatusValue(s));
  if (slot == ports.table.commandKeyPad.load()) ports.table.editingStatus = s;
}

int CheckedSlot(int slot) {
  return IsSlot(slot) ? slot : -1;
}

const AccessMessage& RefusalMessage(RegistrationCheck check) {
  switch (check) {
    case RegistrationCheck::kMismatch:
      return kMismatchMessage;
    case RegistrationCheck::kTooLong:
      return kTooLongMessage;
    default:
      return kBadCharacterMessage;
  }
}

}  // namespace

AccessState AccessStateFromStatus(std::uint8_t status) {
  if ((status & kStatusPasswordSet) == 0) return AccessState::Open;
  return (status & kStatusAuthenticated) ? AccessState::Authenticated : AccessState::Locked;
}

std::u16string_view PromptTitle(std::uint32_t modelIdentity) {
  return TextsOfModel(modelIdentity).promptTitle;
}

// ---------------------------------------------------------------- password prompt

PasswordPromptSession::PasswordPromptSession(AccessPorts& ports, int slot)
    : ports_(ports), slot_(CheckedSlot(slot)), softKeyboardMode_(ports.table.softKeyAuthMode) {}

void PasswordPromptSession::Describe(PromptView& view) const {
  view.title[0] = 0;
  view.serial[0] = 0;
  if (slot_ < 0) return;
  const KeyPadSlot& entry = ports_.table.slots[slot_];
  BoundedCopy(view.title, PromptTitle(entry.modelIdentity));
  BoundedFormat(view.serial, u"%06u", {unsigned{entry.serialNumber}});
}

void PasswordPromptSession::Opened() {
  ShowTouchKeyboard(ports_.touchKeyboard);
}

SubmitOutcome PasswordPromptSession::Submit(std::u16string_view typed, UiWindow dialog) {
  HideTouchKeyboard(ports_.touchKeyboard);
  if (slot_ < 0) return EndWith(kPromptCancelled);
  KeyPadTable& table = ports_.table;
  KeyPadSlot& entry = table.slots[slot_];

  PasswordBytes password(CutTo(typed, kPromptPasswordChars));
  if (ProbeKeyPad(table, ports_.device, slot_) == 0) {
    ports_.ui.ShowMessage(dialog, kBravaCannotAuthenticateMessage);
    return EndWith(kPromptCancelled);
  }
  const bool accepted = VerifyPassword(ports_.device, entry.link, password.view());
  password.Wipe();
  if (accepted) {
    if (!softKeyboardMode_) {
      entry.authDeclined = false;
      entry.accessState = AccessState::Authenticated;
    }
    return EndWith(kPromptAccepted);
  }

  if (softKeyboardMode_) {
    ports_.ui.ShowMessage(dialog, kSoftKeyWrongPasswordMessage);
    entry.softKeyAuthenticated = kSoftKeyNotAuthenticated;
  } else {
    ports_.ui.ErrorBeep();
    if (PasswordErrorDialog(ports_, dialog) != kErrorDialogEnterAgain)
      return EndWith(kPromptInitialise);
    entry.accessState = AccessState::Locked;
  }
  // The prompt stays open for another attempt; there is no limit on their number.
  ShowTouchKeyboard(ports_.touchKeyboard);
  return StayOpen();
}

int PasswordPromptSession::Cancel() {
  HideTouchKeyboard(ports_.touchKeyboard);
  if (slot_ >= 0 && !softKeyboardMode_) ports_.table.slots[slot_].authDeclined = true;
  return kPromptCancelled;
}

int PasswordPrompt(AccessPorts& ports, UiWindow owner, int slot) {
  PasswordPromptSession session(ports, slot);
  return ports.ui.RunPasswordPrompt(owner, session);
}

int PasswordErrorDialog(AccessPorts& ports, UiWindow owner) {
  return ports.ui.RunPasswordErrorDialog(owner);
}

// ---------------------------------------------------------------- registration

PasswordRegistrationSession::PasswordRegistrationSession(AccessPorts& ports, int slot)
    : ports_(ports), slot_(CheckedSlot(slot)) {}

void PasswordRegistrationSession::Opened() {
  ShowTouchKeyboard(ports_.touchKeyboard);
}

SubmitOutcome PasswordRegistrationSession::Submit(std::u16string_view entry,
                                                  std::u16string_view confirmation,
                                                  UiWindow dialog) {
  HideTouchKeyboard(ports_.touchKeyboard);
  entry = CutTo(entry, kRegistrationPasswordChars);
  confirmation = CutTo(confirmation, kRegistrationPasswordChars);
  const RegistrationCheck check = CheckNewPassword(entry, confirmation);
  if (check != RegistrationCheck::kAccepted) {
    ports_.ui.ShowMessage(dialog, RefusalMessage(check));
    ShowTouchKeyboard(ports_.touchKeyboard);
    return StayOpen();
  }
  if (slot_ < 0) return EndWith(kRegistrationCancelled);
  KeyPadTable& table = ports_.table;
  KeyPadSlot& slot = table.slots[slot_];
  if (ProbeKeyPad(table, ports_.device, slot_) == 0) {
    ports_.ui.ShowMessage(dialog, kBravaCannotSetMessage);
    return EndWith(kRegistrationCancelled);
  }

  PasswordBytes password(entry);
  // A password the key pad never received must not be reported as set: the access state would
  // then claim a protection (or its absence) that the key pad does not have.
  if (!WritePassword(ports_.device, slot.link, password.view())) {
    password.Wipe();
    ports_.ui.ShowMessage(dialog, kRegistrationFailedMessage);
    return EndWith(kRegistrationCancelled);
  }
  VerifyPassword(ports_.device, slot.link, password.view());
  const bool empty = password.empty();
  password.Wipe();
  if (!empty) {
    slot.accessState = AccessState::Authenticated;
    slot.softKeyAuthenticated = kSoftKeyNotAuthenticated;
  } else {
    slot.accessState = AccessState::Open;
  }
  return EndWith(kRegistrationDone);
}

int PasswordRegistrationSession::Cancel() {
  HideTouchKeyboard(ports_.touchKeyboard);
  return kRegistrationCancelled;
}

int PasswordRegistration(AccessPorts& ports, UiWindow owner, int slot) {
  PasswordRegistrationSession session(ports, slot);
  return ports.ui.RunPasswordRegistration(owner, session);
}

// ---------------------------------------------------------------- factory reset

FactoryResetResult FactoryResetKeyPadChecked(AccessPorts& ports, UiWindow owner, int slot) {
  if (CheckedSlot(slot) < 0) return FactoryResetResult::kNotDone;
  if (ports.ui.ShowMessage(owner, kResetConfirmationMessage) != kMessageYes)
    return FactoryResetResult::kNotDone;
  if (ProbeKeyPad(ports.table, ports.device, slot) == 0) {
    ports.ui.ShowMessage(owner, kBravaCannotCommunicateMessage);
    return FactoryResetResult::kNotDone;
  }
  KeyPadSlot& entry = ports.table.slots[slot];
  WritePassword(ports.device, entry.link, std::string_view());
  // Only the key pad's answer tells that it is back in its factory state; without it the
  // program keeps the access state it had instead of treating the key pad as open.
  if (!ResetToFactory(ports.device, entry.link)) {
    ports.ui.ShowMessage(owner, kResetFailedMessage);
    return FactoryResetResult::kFailed;
  }
  // Read aside and taken over at once: the slot's soft keyboard reads the mirror meanwhile.
  KeyCodeRecords records = ports.keyCodeCache.slots[slot];
  ReadAllKeyCodes(ports.device, entry.link, ProductIdOf(entry.modelIdentity), records);
  {
    const std::lock_guard lock(ports.keyCodeCache.mutex);
    ports.keyCodeCache.slots[slot] = records;
  }
  entry.authDeclined = false;
  return FactoryResetResult::kDone;
}

bool FactoryResetKeyPad(AccessPorts& ports, UiWindow owner, int slot) {
  return FactoryResetKeyPadChecked(ports, owner, slot) == FactoryResetResult::kDone;
}

// ---------------------------------------------------------------- command sequence

namespace {

// A factory reset that was sent but not answered: the empty password may already have reached
// the key pad. The resume value goes where the editing value was written, and the access state
// is taken from the status the key pad tells now.
void SettleAfterFailedReset(AccessPorts& ports, int slot, std::uint8_t s, bool editingWritten) {
  if (editingWritten) WriteStatus(ports, slot, ResumeStatusValue(s));
  std::uint8_t now = 0;
  if (ReadKeyPadStatus(ports.table, ports.device, slot, now))
    ports.table.slots[slot].accessState = AccessStateFromStatus(now);
}

// The part of RunKeyPadCommand between setting and clearing commandActive. The slot chosen at
// its start is the one every later step works on.
void RunCommandSteps(AccessPorts& ports, unsigned command, bool preset) {
  KeyPadTable& table = ports.table;
  const UiWindow owner = ports.mainWindow;
  const int count = CountedSlots(table);

  if (count == 1) {
    table.selectedKeyPad = 0;
  } else if (!preset) {
    if (ports.ui.RunKeyPadSelection(owner, table, command) != kSelectionChosen) return;
  }
  const int slot = table.selectedKeyPad;
  // A slot beyond the counted key pads holds no key pad to work on.
  if (slot < 0 || slot >= count) return;
  table.commandKeyPad = slot;
  KeyPadSlot& entry = table.slots[slot];

  if (ProbeKeyPad(table, ports.device, slot) == 0) {
    ports.ui.ShowMessage(owner, kBravaCannotCommunicateMessage);
    return;
  }
  if (!table.keyPadPresent) return;

  // A status that could not be read is not taken for "no password": the key pad would be
  // treated as open and the values written later would clear its buzzer and interface bits.
  std::uint8_t s = 0;
  if (!ReadKeyPadStatus(table, ports.device, slot, s)) {
    ports.ui.ShowMessage(owner, kStatusReadFailedMessage);
    return;
  }

  bool resetDone = false;
  if (s & kStatusPasswordSet) {
    const bool editingWritten = (s & kStatusAuthenticated) != 0;
    if (editingWritten) WriteEditingStatus(ports, slot, s);
    table.softKeyAuthMode = false;
    const int result = PasswordPrompt(ports, owner, slot);
    if (!table.keyPadPresent) return;
    if (result == kPromptInitialise) {
      const FactoryResetResult reset = FactoryResetKeyPadChecked(ports, owner, slot);
      // The key pad went away while the confirmation was open: nothing more is sent to it.
      if (!table.keyPadPresent) return;
      if (reset == FactoryResetResult::kFailed) {
        SettleAfterFailedReset(ports, slot, s, editingWritten);
        return;
      }
      if (reset == FactoryResetResult::kDone) {
        entry.accessState = AccessState::Open;
        s = static_cast<std::uint8_t>(s & 0x8F);
        resetDone = true;
      } else {
        entry.accessState = AccessState::Locked;
        ports.showAgain[slot] = 0;
      }
    } else if (result == kPromptAccepted) {
      if (command == kCommandAuthenticateAgain) {
        WriteStatus(ports, slot, ResumeStatusValue(s));
        ports.showAgain[slot] = 1;
      }
    } else {
      if (entry.accessState != AccessState::Locked && (s & kStatusAuthenticated))
        WriteStatus(ports, slot, ResumeStatusValue(s));
      return;
    }
  } else {
    entry.accessState = AccessState::Open;
  }

  if (!table.keyPadPresent || command == kCommandAuthenticateAgain ||
      entry.accessState == AccessState::Locked)
    return;

  // The user chose to initialise in the password error dialog of this very command and the
  // reset was done: asking again and resetting a second time would only repeat it.
  if (command == kCommandFactoryReset && resetDone) {
    WriteStatus(ports, slot, kStatusAfterReset);
    return;
  }

  WriteEditingStatus(ports, slot, s);
  switch (command) {
    case kCommandKeyCodeSettings: {
      ports.shellSteps.RunKeyCodeSettings(owner, slot);
      if (!table.keyPadPresent) return;
      // The keys were written: the key pad leaves its editing state whether or not it tells
      // its status now.
      WriteStatus(ports, slot, ResumeStatusValue(StatusToResumeOn(table, ports.device, slot, s)));
      break;
    }
    case kCommandPasswordSetting:
      PasswordRegistration(ports, owner, slot);
      if (!table.keyPadPresent) return;
      WriteStatus(ports, slot, ResumeStatusValue(s));
      break;
    case kCommandFactoryReset: {
      const FactoryResetResult reset = FactoryResetKeyPadChecked(ports, owner, slot);
      if (!table.keyPadPresent) return;
      if (reset == FactoryResetResult::kDone) {
        entry.accessState = AccessState::Open;
        WriteStatus(ports, slot, kStatusAfterReset);
      } else if (reset == FactoryResetResult::kFailed) {
        SettleAfterFailedReset(ports, slot, s, true);
      } else {
        WriteStatus(ports, slot, ResumeStatusValue(s));
      }
      break;
    }
    default:
      break;
  }
}

}  // namespace

void RunKeyPadCommand(AccessPorts& ports, unsigned command, bool preset) {
  KeyPadTable& table = ports.table;
  if (CountedSlots(table) == 0) return;
  ports.ui.BringToForeground(ports.mainWindow);
  table.editingStatus = -1;
  table.commandActive = true;
  RunCommandSteps(ports, command, preset);
  table.commandActive = false;
  table.commandKeyPad = kNoCommandKeyPad;
  table.editingStatus = -1;
}

void LockKeyPads(AccessPorts& ports) {
  KeyPadTable& table = ports.table;
  const int count = CountedSlots(table);
  if (count == 0) return;
  const UiWindow owner = ports.mainWindow;
  ports.ui.BringToForeground(owner);
  const AccessMessage& confirmation =
      count == 1 ? kLockOneConfirmationMessage : kLockAllConfirmationMessage;
  if (ports.ui.ShowMessage(owner, confirmation) != kMessageYes) return;

  for (int i = 0; i < count; ++i) {
    if (ProbeKeyPad(table, ports.device, i) == 0) {
      ports.ui.ShowMessage(owner, kBravaCannotLockMessage);
      continue;
    }
    // A key pad that does not answer is not passed over silently as one without a password:
    // the user would believe it locked.
    std::uint8_t s = 0;
    if (!ReadKeyPadStatus(table, ports.device, i, s)) {
      ports.ui.ShowMessage(owner, kLockReadFailedMessage);
      continue;
    }
    if ((s & kStatusPasswordSet) == 0) continue;
    KeyPadSlot& entry = table.slots[i];
    VerifyPassword(ports.device, entry.link, std::string_view());
    WriteStatus(ports, i, EditingStatusValue(s));
    entry.accessState = AccessState::Locked;
    entry.softKeyAuthenticated = kSoftKeyNotAuthenticated;
    entry.authDeclined = true;
    ports.showAgain[i] = 0;
  }
}

int AccessConnectionPrompts::PasswordPrompt(int slot) {
  return qv::PasswordPrompt(ports_, ports_.mainWindow, slot);
}

bool AccessConnectionPrompts::FactoryResetKeyPad(int slot) {
  return qv::FactoryResetKeyPad(ports_, ports_.mainWindow, slot);
}

}  // namespace qv
