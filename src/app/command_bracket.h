// The bracket around every command of the main window: which commands are dropped while another
// one runs, which of them mark the shell as busy (modalActive), how the visible soft keyboards
// are taken off the screen for a command and brought back after it, and the touch switch.
#pragma once

#include <atomic>
#include <cstdint>

#include "access/access_control.h"
#include "access/key_pad_table.h"
#include "access/soft_keyboard_visibility.h"
#include "common/settings_store.h"

namespace qv {

enum class ShellCommandKind {
  kAbout,        // 104: the about box
  kExit,         // 105: asks, then ends the program
  kKeyPad,       // 32777, 32778, 32779, 32781: the access sequence around a key pad command
  kLock,         // 32783: lock every password-protected key pad
  kTouchSwitch,  // 32804: the touch function on or off
  kOther,        // not the shell's: passed on to the default handling
};
ShellCommandKind KindOfCommand(std::uint16_t command);

// What the bracket works on.
struct ShellCommandState {
  KeyPadTable& table;
  SoftKeyboardVisibility& softKeyboards;
  ShowAgainFlags& showAgain;
  std::atomic<std::uint32_t>& touchEnabled;
  SettingsPort& settings;
};

struct ShellCommandStart {
  bool dropped = false;  // nothing was changed; the command does not run
  ShellCommandKind kind = ShellCommandKind::kOther;
  bool preset = false;      // notification code kPresetKeyPadCode: the slot is chosen already
  bool holdsModal = false;  // modalActive was taken for this command: its end gives it back
};

// The start of a WM_COMMAND. A command of the shell that arrives while another command, a shell
// dialog or a rescan runs (a soft keyboard can send one at any time) is dropped: nested, it would
// end the running command's bracket and let a rescan pull its key pad away. Otherwise every
// slot's showAgain remembers whether its soft keyboard is shown, and, unless the command comes
// preset from a second start or a soft keyboard, the shown ones are taken off the screen (a
// preset command thus ends with the keyboards as it found them, or as its flow decided). The about
// box, the exit question, the key pad commands and the lock take modalActive (TakeModal) before
// anything else, so that nothing can start while the soft keyboards are being hidden.
ShellCommandStart BeginShellCommand(ShellCommandState& state, std::uint16_t command,
                                    std::uint16_t notificationCode);

// The end of a command that ran (or of one that is not the shell's): modalActive is given back if
// this command took it, and every slot's soft keyboard is shown again as showAgain says, coming
// back as its info icon where the user had hidden it to the icon.
void EndShellCommand(ShellCommandState& state, const ShellCommandStart& start);

// Command 32804: switches the touch function and stores it as "t_enable"; switched on, every
// soft keyboard is to be shown when the command ends.
void SwitchTouchFunction(ShellCommandState& state);

// A click on the notification-area icon: shows every soft keyboard that may be shown.
void ShowEverySoftKeyboard(ShellCommandState& state);

}  // namespace qv
