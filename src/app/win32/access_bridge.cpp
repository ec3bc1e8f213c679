// The access control as the shell runs it. (In progress: the prompt, the commands and the main
// menu dialog are being connected to the access control flows.)
#include "app/win32/application.h"

namespace qv {
namespace {

class PendingPrompts : public ConnectionPromptHook {
 public:
  int PasswordPrompt(int) override { return kPromptCancelled; }
  bool FactoryResetKeyPad(int) override { return false; }
};

}  // namespace

std::unique_ptr<ConnectionPromptHook> CreateConnectionPrompts(Application&) {
  return std::make_unique<PendingPrompts>();
}
void RunShellKeyPadCommand(Application&, std::uint16_t, bool) {}
void RunShellLock(Application&) {}
int RunTrayMenuDialog(Application&) { return 2; }

}  // namespace qv
