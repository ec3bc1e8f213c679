#include "padctl/key_pad_access.h"

#include <atomic>
#include <memory>

#include "access/access_control.h"
#include "access/key_pad_connection.h"
#include "access/key_pad_selection.h"
#include "common/ids.h"
#include "common/memory_settings.h"
#include "device/device_commands.h"
#include "device/exchange_pass.h"
#include "keycode/key_code_store.h"

namespace qv {
namespace {

// Answers the access sequence's dialogs for the tool: the password comes from the supply and is
// tried once; a wrong one is not asked again, and the tool never chooses the factory reset that
// the password error dialog offers. Messages are kept for the report.
class ToolAccessUi : public AccessUi, public ShellStepsPort {
 public:
  ToolAccessUi(const PadctlKeyPad& keyPad, PasswordSupply& passwords,
               const std::function<void(AccessRun&)>& work, AccessRun& run)
      : keyPad_(keyPad), passwords_(passwords), work_(work), run_(run) {}

  int RunPasswordPrompt(UiWindow, PasswordPromptSession& session) override {
    SecretText password;
    switch (passwords_.PasswordFor(keyPad_, password)) {
      case PasswordSource::kGiven:
        break;
      case PasswordSource::kNotInFile:
        run_.messages.emplace_back(kNotInPasswordFileText);
        return session.Cancel();
      case PasswordSource::kNothingEntered:
        run_.messages.emplace_back(kNothingEnteredText);
        return session.Cancel();
      default:
        run_.messages.emplace_back(kNoPasswordText);
        return session.Cancel();
    }
    const SubmitOutcome outcome = session.Submit(password.view(), 0);
    password.Wipe();
    if (outcome.endDialog) return outcome.result;
    run_.messages.emplace_back(kWrongPasswordText);
    return session.Cancel();
  }
  int RunPasswordErrorDialog(UiWindow) override { return kErrorDialogEnterAgain; }
  int RunPasswordRegistration(UiWindow, PasswordRegistrationSession& session) override {
    return session.Cancel();
  }
  int RunKeyPadSelection(UiWindow, KeyPadTable&, unsigned) override { return kSelectionChosen; }
  int ShowMessage(UiWindow, const AccessMessage& message) override {
    run_.messages.push_back(MessageLine(message.title, message.text));
    return message.buttons == MessageButtons::kYesNo ? kMessageNo : kMessageOk;
  }
  void ErrorBeep() override {}
  void BringToForeground(UiWindow) override {}

  void RunKeyCodeSettings(UiWindow, int) override {
    run_.workRan = true;
    work_(run_);
  }

 private:
  const PadctlKeyPad& keyPad_;
  PasswordSupply& passwords_;
  const std::function<void(AccessRun&)>& work_;
  AccessRun& run_;
};

}  // namespace

std::u16string MessageLine(std::u16string_view title, std::u16string_view text) {
  std::u16string line(title);
  line += u": ";
  for (char16_t c : text)
    if (c != u'\n') line += c;
  return line;
}

std::vector<PadctlKeyPad> TakeInventory(KeyPadTable& table, DeviceContext& device) {
  ExchangePass pass(device);
  const KeyPadCensus census = TakeKeyPadCensus(device);
  const unsigned count = census.total < static_cast<unsigned>(kMaxKeyPads)
                             ? census.total
                             : static_cast<unsigned>(kMaxKeyPads);
  std::vector<PadctlKeyPad> keyPads;
  unsigned opened = 0;
  for (unsigned position = 0; position < count; ++position) {
    KeyPadSlot& slot = table.slots[opened];
    CloseLink(device, slot.link);
    const std::uint32_t identity = OpenKeyPadAt(device, census, position, slot.link);
    // A key pad that went away since it was counted leaves no gap in the slots.
    if (identity == 0) continue;
    PadctlKeyPad keyPad;
    keyPad.slot = static_cast<int>(opened);
    keyPad.modelIdentity = identity;
    keyPad.bluetooth = slot.link.framed;
    keyPad.keyCount = KeyCountForModel(keyPad.productId());
    DeviceInfo info{};
    if (ReadDeviceInfo(device, slot.link, info)) {
      keyPad.answered = true;
      keyPad.serialNumber = SerialFromDeviceInfo(info);
      keyPad.status = info[0];
      slot.accessState = AccessStateFromStatus(info[0]);
    }
    slot.modelIdentity = identity;
    slot.serialNumber = keyPad.serialNumber;
    keyPads.push_back(keyPad);
    ++opened;
  }
  table.keyPadCount = static_cast<std::uint16_t>(opened);
  return keyPads;
}

AccessRun RunWithAccess(KeyPadTable& table, DeviceContext& device, const PadctlKeyPad& keyPad,
                        PasswordSupply& passwords, const std::function<void(AccessRun&)>& work) {
  AccessRun run;
  ToolAccessUi ui(keyPad, passwords, work, run);
  NoTouchKeyboard touchKeyboard;
  MemorySettings settings;
  std::atomic<std::uint32_t> touchEnabled{0};
  ShowAgainFlags showAgain{};
  auto cache = std::make_unique<DeviceKeyCodeCache>();
  AccessPorts ports{table, device,    *cache,   ui,          touchKeyboard,
                    ui,    showAgain, settings, touchEnabled};

  table.selectedKeyPad = static_cast<std::uint16_t>(keyPad.slot);
  table.keyPadPresent = true;
  RunKeyPadCommand(ports, kCommandKeyCodeSettings, true);
  return run;
}

}  // namespace qv
