#include "softkbd/soft_key_commands.h"

#include <algorithm>
#include <mutex>
#include <utility>

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

KeyPadExchange StatusRead(DeviceContext& device, DeviceLink& link) {
  return [&device, &link] {
    DeviceInfo info{};
    const bool read = ReadDeviceInfo(device, link, info);
    return ExchangeAnswer{read, info[0]};
  };
}

KeyPadExchange StatusWrite(DeviceContext& device, DeviceLink& link, std::uint8_t status) {
  return [&device, &link, status] {
    return ExchangeAnswer{WriteStatusByte(device, link, status), 0};
  };
}

KeyPadExchange KeyWrite(DeviceContext& device, DeviceLink& link, int key, KeyCodeRecord record) {
  return [&device, &link, key, record] {
    return ExchangeAnswer{WriteKeyCode(device, link, key + 1, record), 0};
  };
}

// The dialog of the command; sets `writeKey` when the key input dialog stored a new code that
// is to be written.
SoftKeyCommandResult RunDialog(SoftKeyCommandContext& context, SoftKeyCommandUi& ui, int slot,
                               std::uint16_t command, AssetTarget target, bool& writeKey) {
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
      writeKey = result == 1;
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

DeviceLink& LinkOf(SoftKeyCommandContext& context, const SoftKeyCommandRun& run) {
  return context.table.slots[run.slot].link;
}

// The link is still the one the command suspended: a key pad closed or reopened meanwhile is
// not resumed.
bool SameLink(SoftKeyCommandContext& context, const SoftKeyCommandRun& run) {
  const HidHandle handle = LinkOf(context, run).handle;
  return handle == run.startHandle && handle != kInvalidHidHandle;
}

SoftKeyCommandResult Finish(SoftKeyCommandContext& context, SoftKeyCommandUi& ui,
                            SoftKeyCommandRun& run, SoftKeyCommandResult result) {
  run.step = SoftKeyCommandStep::kIdle;
  // Told once the key no longer blinks, while no shell command can start yet.
  if (result == SoftKeyCommandResult::kStatusReadFailed) ui.Tell(kSoftKeyStatusReadFailedMessage);
  if (result == SoftKeyCommandResult::kWriteFailed) ui.Tell(kSoftKeyWriteFailedMessage);
  ReleaseModal(context.table);
  return result;
}

// Hands `exchange` over and waits for it in `step`; one that cannot be handed over is answered
// at once as unanswered.
SoftKeyCommandResult Await(SoftKeyCommandContext& context, SoftKeyCommandUi& ui,
                           SoftKeyCommandRun& run, SoftKeyCommandStep step,
                           KeyPadExchange exchange) {
  run.step = step;
  if (ui.StartExchange(std::move(exchange))) return SoftKeyCommandResult::kPending;
  return OnSoftKeyCommandAnswer(context, ui, run, ExchangeAnswer{});
}

SoftKeyCommandResult Resume(SoftKeyCommandContext& context, SoftKeyCommandUi& ui,
                            SoftKeyCommandRun& run) {
  // A keyboard closed during the dialog (the program ends) leaves its key pad resumed as long
  // as the link is the one the command suspended; no other write follows.
  if (run.result == SoftKeyCommandResult::kWindowClosed && !SameLink(context, run)) {
    return Finish(context, ui, run, run.result);
  }
  return Await(context, ui, run, SoftKeyCommandStep::kResuming,
               StatusWrite(context.device, LinkOf(context, run), ResumeStatusValue(run.status)));
}

SoftKeyCommandResult DialogStep(SoftKeyCommandContext& context, SoftKeyCommandUi& ui,
                                SoftKeyCommandRun& run) {
  run.step = SoftKeyCommandStep::kInDialog;
  bool writeKey = false;
  if (run.command == kCommandSettingsAuthenticate) {
    run.result = RunDialog(context, ui, run.slot, run.command, run.target, writeKey);
  } else {
    BlinkScope blink(ui, run.target);
    run.result = RunDialog(context, ui, run.slot, run.command, run.target, writeKey);
  }
  if (!writeKey) return Resume(context, ui, run);
  run.written = context.edited.records[run.target.index];
  return Await(context, ui, run, SoftKeyCommandStep::kWritingKey,
               KeyWrite(context.device, LinkOf(context, run), run.target.index, run.written));
}

}  // namespace

SoftKeyCommandResult StartSoftKeyCommand(SoftKeyCommandContext& context, SoftKeyCommandUi& ui,
                                         SoftKeyCommandRun& run, int slot, std::uint16_t command,
                                         AssetTarget target) {
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
  // One command at a time per keyboard; and a shell dialog (one of a tray command, or another
  // soft keyboard's) works on the editing copy and the links now.
  if (run.step != SoftKeyCommandStep::kIdle || !TakeModal(table)) {
    return SoftKeyCommandResult::kRefused;
  }
  run = SoftKeyCommandRun{};
  run.slot = slot;
  run.command = command;
  run.target = target;
  // The key pad is suspended while the dialog is open; without an answer nothing is written.
  return Await(context, ui, run, SoftKeyCommandStep::kReadingStatus,
               StatusRead(context.device, LinkOf(context, run)));
}

SoftKeyCommandResult OnSoftKeyCommandAnswer(SoftKeyCommandContext& context, SoftKeyCommandUi& ui,
                                            SoftKeyCommandRun& run, ExchangeAnswer answer) {
  switch (run.step) {
    case SoftKeyCommandStep::kReadingStatus:
      if (!answer.answered)
        return Finish(context, ui, run, SoftKeyCommandResult::kStatusReadFailed);
      run.status = answer.status;
      run.startHandle = LinkOf(context, run).handle;
      if (run.status & 0x80) {
        return Await(
            context, ui, run, SoftKeyCommandStep::kSuspending,
            StatusWrite(context.device, LinkOf(context, run), EditingStatusValue(run.status)));
      }
      return DialogStep(context, ui, run);
    case SoftKeyCommandStep::kSuspending:
      return DialogStep(context, ui, run);
    case SoftKeyCommandStep::kWritingKey:
      // The mirror takes the code only once the key pad has it.
      if (answer.answered) {
        const std::lock_guard lock(context.keyCodes.mutex);
        context.keyCodes.slots[run.slot][run.target.index] = run.written;
      } else {
        run.result = SoftKeyCommandResult::kWriteFailed;
      }
      return Resume(context, ui, run);
    case SoftKeyCommandStep::kResuming:
      return Finish(context, ui, run, run.result);
    case SoftKeyCommandStep::kIdle:
    case SoftKeyCommandStep::kInDialog:
      break;
  }
  return SoftKeyCommandResult::kRefused;
}

void AbandonSoftKeyCommand(SoftKeyCommandContext& context, SoftKeyCommandUi& ui,
                           SoftKeyCommandRun& run) {
  switch (run.step) {
    case SoftKeyCommandStep::kIdle:
    case SoftKeyCommandStep::kInDialog:
      return;
    case SoftKeyCommandStep::kSuspending:
    case SoftKeyCommandStep::kWritingKey:
      if (SameLink(context, run)) {
        ui.StartExchange(
            StatusWrite(context.device, LinkOf(context, run), ResumeStatusValue(run.status)));
      }
      break;
    case SoftKeyCommandStep::kReadingStatus:  // nothing was suspended yet
    case SoftKeyCommandStep::kResuming:       // the resume is on its way
      break;
  }
  run.step = SoftKeyCommandStep::kIdle;
  ReleaseModal(context.table);
}

}  // namespace qv
