// The key pad commands of the notification-area menu that the page offers beside key-code
// editing: password setting, factory reset and lock, each run by the core's access flows. The
// page answers the flows' dialogs with what the user entered before the run: the password, the
// new password twice, and whether a question is answered Yes.
#include "access_commands.h"

#include <atomic>
#include <memory>

#include "access/key_pad_selection.h"
#include "common/ids.h"
#include "common/memory_settings.h"
#include "keycode/key_code_store.h"
#include "padctl/key_pad_access.h"

namespace qv {
namespace {

class PageAccessUi : public AccessUi, public ShellStepsPort {
 public:
  PageAccessUi(PageAnswers& answers, AccessCommandResult& result)
      : answers_(answers), result_(result) {}

  int RunPasswordPrompt(UiWindow, PasswordPromptSession& session) override {
    if (answers_.password.empty() || answered_) {
      result_.messages.emplace_back(kNoPasswordText);
      return session.Cancel();
    }
    answered_ = true;  // a wrong password is not tried again
    const SubmitOutcome outcome = session.Submit(answers_.password.view(), 0);
    if (outcome.endDialog) return outcome.result;
    result_.messages.emplace_back(kWrongPasswordText);
    return session.Cancel();
  }
  int RunPasswordErrorDialog(UiWindow) override { return kErrorDialogEnterAgain; }
  int RunPasswordRegistration(UiWindow, PasswordRegistrationSession& session) override {
    if (registered_) return session.Cancel();
    registered_ = true;
    const SubmitOutcome outcome =
        session.Submit(answers_.newPassword.view(), answers_.confirmation.view(), 0);
    if (outcome.endDialog) {
      result_.registered = true;
      return outcome.result;
    }
    return session.Cancel();
  }
  int RunKeyPadSelection(UiWindow, KeyPadTable&, unsigned) override { return kSelectionChosen; }
  int ShowMessage(UiWindow, const AccessMessage& message) override {
    const std::u16string line = MessageLine(message.title, message.text);
    if (message.buttons == MessageButtons::kYesNo) {
      result_.questions.push_back(line);
      return answers_.yes ? kMessageYes : kMessageNo;
    }
    result_.messages.push_back(line);
    return kMessageOk;
  }
  void ErrorBeep() override {}
  void BringToForeground(UiWindow) override {}

 private:
  PageAnswers& answers_;
  AccessCommandResult& result_;
  bool answered_ = false;
  bool registered_ = false;
};

}  // namespace

AccessCommandResult RunPageCommand(KeyPadTable& table, DeviceContext& device, int slot,
                                   PageCommand command, PageAnswers& answers) {
  AccessCommandResult result;
  PageAccessUi ui(answers, result);
  NoTouchKeyboard touchKeyboard;
  MemorySettings settings;
  std::atomic<std::uint32_t> touchEnabled{0};
  ShowAgainFlags showAgain{};
  auto cache = std::make_unique<DeviceKeyCodeCache>();
  AccessPorts ports{table, device,    *cache,   ui,          touchKeyboard,
                    ui,    showAgain, settings, touchEnabled};
  table.selectedKeyPad = static_cast<std::uint16_t>(slot);
  table.keyPadPresent = true;
  switch (command) {
    case PageCommand::kPasswordSetting:
      RunKeyPadCommand(ports, kCommandPasswordSetting, true);
      break;
    case PageCommand::kFactoryReset:
      RunKeyPadCommand(ports, kCommandFactoryReset, true);
      break;
    case PageCommand::kLock:
      LockKeyPads(ports);
      break;
  }
  answers.password.Wipe();
  answers.newPassword.Wipe();
  answers.confirmation.Wipe();
  return result;
}

}  // namespace qv
