// The menu commands the page runs through the core's access flows.
#pragma once

#include <string>
#include <vector>

#include "access/access_control.h"
#include "access/key_pad_table.h"
#include "device/device_context.h"
#include "padctl/secret_text.h"

namespace qv {

enum class PageCommand { kPasswordSetting, kFactoryReset, kLock };

// What the user entered for the run; wiped when the run ends.
struct PageAnswers {
  SecretText password;      // the key pad's password, when it asks
  SecretText newPassword;   // password setting: the new password
  SecretText confirmation;  // and its confirmation
  bool yes = false;         // a question of the flow is answered Yes
};

struct AccessCommandResult {
  std::vector<std::u16string> questions;  // Yes/No questions the flow asked, "title: text"
  std::vector<std::u16string> messages;   // messages it showed
  bool registered = false;                // the password registration was accepted
};

// Runs the command on the key pad of `slot` (lock: on every counted key pad).
AccessCommandResult RunPageCommand(KeyPadTable& table, DeviceContext& device, int slot,
                                   PageCommand command, PageAnswers& answers);

}  // namespace qv
