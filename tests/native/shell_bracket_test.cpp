// The bracket around the main window's commands, the soft keyboard visibility rule and the
// decisions the main window's dialogs and lists take from the core.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "access/access_control.h"
#include "access/access_menus.h"
#include "access/monitor_decisions.h"
#include "access/soft_keyboard_visibility.h"
#include "app/command_bracket.h"
#include "app/shell_texts.h"
#include "common/memory_settings.h"
#include "keycode/key_table.h"

namespace qv {
namespace {

// Soft keyboards that follow the visibility rule and record what the shell asked of them.
class RecordedSoftKeyboards : public SoftKeyboardVisibility {
 public:
  RecordedSoftKeyboards(const KeyPadTable& table, const std::atomic<std::uint32_t>& touch)
      : table_(table), touch_(touch) {}
  bool SoftKeyboardWindowExists(int slot) override { return windows[slot]; }
  bool KeyboardShown(int slot) override { return shown[slot]; }
  bool HiddenToIcon(int slot) override { return toIcon[slot]; }
  void SetSoftKeyboardVisible(int slot, bool show, bool iconWhenHidden) override {
    calls.push_back("visible " + std::to_string(slot) + (show ? " show" : " hide") +
                    (iconWhenHidden ? " icon" : ""));
    if (!windows[slot] || !MayShowSoftKeyboard(table_, slot, touch_.load() != 0)) return;
    shown[slot] = show;
  }
  void HideForCommand(int slot) override {
    calls.push_back("hide " + std::to_string(slot));
    shown[slot] = false;
    if (whileHiding) whileHiding();
  }
  void ShowRevealed(int slot) override { shown[slot] = true; }

  std::array<bool, kMaxKeyPads> windows{}, shown{}, toIcon{};
  std::vector<std::string> calls;
  // Runs while a soft keyboard is being hidden (which waits for its thread): what another thread
  // may do meanwhile.
  std::function<void()> whileHiding;

 private:
  const KeyPadTable& table_;
  const std::atomic<std::uint32_t>& touch_;
};

struct BracketRig {
  KeyPadTable table;
  std::atomic<std::uint32_t> touchEnabled{1};
  RecordedSoftKeyboards softKeyboards{table, touchEnabled};
  ShowAgainFlags showAgain{};
  MemorySettings settings;
  ShellCommandState state{table, softKeyboards, showAgain, touchEnabled, settings};

  // Slots 0 to 2 have soft keyboards; 0 and 1 are shown, 2 is hidden to its icon; slot 1 is
  // Locked (so it is shown only because the test says so).
  BracketRig() {
    for (int slot = 0; slot < 3; ++slot) {
      softKeyboards.windows[slot] = true;
      table.slots[slot].accessState = AccessState::Open;
    }
    softKeyboards.shown[0] = softKeyboards.shown[1] = true;
    softKeyboards.toIcon[2] = true;
    table.slots[1].accessState = AccessState::Locked;
  }
  std::vector<std::string> Hidden() const {
    std::vector<std::string> hidden;
    for (const std::string& call : softKeyboards.calls)
      if (call.rfind("hide ", 0) == 0) hidden.push_back(call);
    return hidden;
  }
};

TEST(ShellCommandBracket, HidesTheAllowedSoftKeyboardsAndBringsThemBackAsTheyWere) {
  BracketRig rig;
  const ShellCommandStart start = BeginShellCommand(rig.state, kCommandKeyCodeSettings, 0);
  ASSERT_FALSE(start.dropped);
  EXPECT_EQ(start.kind, ShellCommandKind::kKeyPad);
  EXPECT_TRUE(rig.table.modalActive);
  EXPECT_EQ(rig.showAgain[0], 1);
  EXPECT_EQ(rig.showAgain[1], 1);
  EXPECT_EQ(rig.showAgain[2], 0);
  // Slot 1 is Locked and stays as it is; the others are taken off the screen.
  EXPECT_EQ(rig.Hidden(), (std::vector<std::string>{"hide 0", "hide 2"}));

  rig.softKeyboards.calls.clear();
  EndShellCommand(rig.state, start);
  EXPECT_FALSE(rig.table.modalActive);
  // Every slot is restored; the one hidden to its icon comes back as the icon.
  ASSERT_EQ(rig.softKeyboards.calls.size(), static_cast<std::size_t>(kMaxKeyPads));
  EXPECT_EQ(rig.softKeyboards.calls[0], "visible 0 show");
  EXPECT_EQ(rig.softKeyboards.calls[2], "visible 2 hide icon");
  EXPECT_TRUE(rig.softKeyboards.shown[0]);
}

TEST(ShellCommandBracket, WhatSetsTheShellBusyAndWhatIsDroppedWhileItIs) {
  struct Case {
    std::uint16_t command;
    bool busy;
  };
  for (const Case& c :
       {Case{kCommandAbout, true}, Case{kCommandExit, true}, Case{kCommandPasswordSetting, true},
        Case{kCommandFactoryReset, true}, Case{kCommandAuthenticateAgain, true},
        Case{kCommandLock, true}, Case{kCommandTouchEnabled, false}, Case{40000, false}}) {
    BracketRig rig;
    const ShellCommandStart start = BeginShellCommand(rig.state, c.command, 0);
    EXPECT_EQ(rig.table.modalActive.load(), c.busy) << c.command;
    EndShellCommand(rig.state, start);
    EXPECT_FALSE(rig.table.modalActive) << c.command;
  }

  // While a command runs, a shell command (a soft keyboard may send one at any time) is dropped
  // without touching anything; a command that is not the shell's still passes through, and its
  // end does not end the running command's bracket.
  BracketRig rig;
  const ShellCommandStart outer = BeginShellCommand(rig.state, kCommandLock, 0);
  rig.softKeyboards.calls.clear();
  rig.showAgain.fill(7);
  const ShellCommandStart nested =
      BeginShellCommand(rig.state, kCommandPasswordSetting, kPresetKeyPadCode);
  EXPECT_TRUE(nested.dropped);
  EndShellCommand(rig.state, nested);
  EXPECT_TRUE(rig.softKeyboards.calls.empty());
  EXPECT_EQ(rig.showAgain[0], 7);
  const ShellCommandStart other = BeginShellCommand(rig.state, 40000, kPresetKeyPadCode);
  EXPECT_FALSE(other.dropped);
  EndShellCommand(rig.state, other);
  EXPECT_TRUE(rig.table.modalActive);
  EndShellCommand(rig.state, outer);
  EXPECT_FALSE(rig.table.modalActive);

  // A rescan rebuilding the table counts as a running command.
  rig.table.rescanRunning = true;
  rig.softKeyboards.calls.clear();
  const ShellCommandStart duringRescan = BeginShellCommand(rig.state, kCommandKeyCodeSettings, 0);
  EXPECT_TRUE(duringRescan.dropped);
  EXPECT_FALSE(rig.table.modalActive);
  EXPECT_TRUE(rig.softKeyboards.calls.empty());
}

TEST(ShellCommandBracket, NothingElseTakesTheShellWhileItsKeyboardsAreBeingHidden) {
  // A soft keyboard's menu or command, on its own thread, tries to take modalActive while the
  // bracket waits for the keyboards to hide: the bracket holds it already.
  BracketRig rig;
  int takenByOthers = 0;
  rig.softKeyboards.whileHiding = [&rig, &takenByOthers] {
    if (TakeModal(rig.table)) ++takenByOthers;
  };
  const ShellCommandStart start = BeginShellCommand(rig.state, kCommandKeyCodeSettings, 0);
  ASSERT_FALSE(start.dropped);
  EXPECT_FALSE(rig.Hidden().empty());
  EXPECT_EQ(takenByOthers, 0);
  EndShellCommand(rig.state, start);
  EXPECT_FALSE(rig.table.modalActive.load());

  // The touch switch does not hold the shell; a command taken meanwhile keeps it after the
  // switch ends.
  const ShellCommandStart touch = BeginShellCommand(rig.state, kCommandTouchEnabled, 0);
  ASSERT_FALSE(touch.dropped);
  EXPECT_EQ(takenByOthers, 1);
  EndShellCommand(rig.state, touch);
  EXPECT_TRUE(rig.table.modalActive.load());
  ReleaseModal(rig.table);
}

TEST(ShellCommandBracket, PresetCommandEndsWithTheSoftKeyboardsAsItFoundThem) {
  // "パスワード設定" from a soft keyboard's menu icon: nothing is hidden, and whatever showAgain
  // held from earlier commands (all zero after the start) does not decide the end.
  for (std::uint8_t stale : {0, 1}) {
    BracketRig rig;
    rig.softKeyboards.shown[1] = false;   // slot 1 is Locked: hidden, as the rule keeps it
    rig.softKeyboards.windows[3] = true;  // slot 3 hidden by the user, not to its icon
    rig.table.slots[3].accessState = AccessState::Open;
    rig.showAgain.fill(stale);
    const ShellCommandStart start =
        BeginShellCommand(rig.state, kCommandPasswordSetting, kPresetKeyPadCode);
    ASSERT_FALSE(start.dropped);
    EXPECT_TRUE(start.preset);
    EXPECT_TRUE(rig.Hidden().empty());
    EndShellCommand(rig.state, start);
    EXPECT_FALSE(rig.table.modalActive);
    EXPECT_TRUE(rig.softKeyboards.shown[0]) << int{stale};
    EXPECT_FALSE(rig.softKeyboards.shown[2]) << int{stale};
    EXPECT_FALSE(rig.softKeyboards.shown[3]) << int{stale};
    EXPECT_NE(std::find(rig.softKeyboards.calls.begin(), rig.softKeyboards.calls.end(),
                        "visible 2 hide icon"),
              rig.softKeyboards.calls.end());
  }

  // A flow that decides otherwise still has its way: a key pad authenticated again from a second
  // start shows its keyboard when the command ends.
  BracketRig rig;
  const ShellCommandStart start =
      BeginShellCommand(rig.state, kCommandAuthenticateAgain, kPresetKeyPadCode);
  rig.showAgain[2] = 1;
  EndShellCommand(rig.state, start);
  EXPECT_TRUE(rig.softKeyboards.shown[2]);
  EXPECT_TRUE(rig.softKeyboards.shown[0]);
}

TEST(ShellCommandBracket, TouchSwitchStoresItselfAndShowsEverySoftKeyboardWhenOn) {
  BracketRig rig;
  rig.touchEnabled = 0;
  rig.softKeyboards.shown.fill(false);
  ShellCommandStart start = BeginShellCommand(rig.state, kCommandTouchEnabled, 0);
  SwitchTouchFunction(rig.state);
  EndShellCommand(rig.state, start);
  std::uint32_t stored = 0;
  ASSERT_TRUE(ReadTouchSetting(rig.settings, stored));
  EXPECT_EQ(stored, 1u);
  EXPECT_TRUE(rig.softKeyboards.shown[0]);
  EXPECT_FALSE(rig.softKeyboards.shown[1]);  // Locked

  start = BeginShellCommand(rig.state, kCommandTouchEnabled, 0);
  SwitchTouchFunction(rig.state);
  EndShellCommand(rig.state, start);
  ASSERT_TRUE(ReadTouchSetting(rig.settings, stored));
  EXPECT_EQ(stored, 0u);
  EXPECT_FALSE(rig.softKeyboards.shown[0]);
}

TEST(SoftKeyboardVisibility, OneRuleForShowingHidingAndTheSecondStart) {
  KeyPadTable table;
  table.slots[0].accessState = AccessState::Open;
  table.slots[1].accessState = AccessState::Authenticated;
  table.slots[2].accessState = AccessState::Locked;
  EXPECT_TRUE(MayShowSoftKeyboard(table, 0, true));
  EXPECT_TRUE(MayShowSoftKeyboard(table, 1, true));
  EXPECT_FALSE(MayShowSoftKeyboard(table, 2, true));
  EXPECT_FALSE(MayShowSoftKeyboard(table, 0, false));
  EXPECT_FALSE(MayShowSoftKeyboard(table, 16, true));

  EXPECT_EQ(DecideReveal(table, 1, true, true), RevealAction::kShowSoftKeyboard);
  EXPECT_EQ(DecideReveal(table, 1, true, false), RevealAction::kNothing);
  EXPECT_EQ(DecideReveal(table, 2, true, false), RevealAction::kReauthenticate);
}

TEST(ShellMonitorTimers, RescanWaitsWhileTheTrayMenuIsOpen) {
  KeyPadTable table;
  table.trayMenuOpen = true;
  EXPECT_EQ(DecideMonitorTimer(kRescanTimerId, table), MonitorTimerAction::kKeepArmed);
  EXPECT_EQ(DecideMonitorTimer(kPresenceTimerId, table), MonitorTimerAction::kKillAndVerify);
  table.trayMenuOpen = false;
  EXPECT_EQ(DecideMonitorTimer(kRescanTimerId, table), MonitorTimerAction::kKillAndRescan);
}

TEST(ShellDialogs, MessageBoxesCarryTheirIconButtonsAndDefault) {
  EXPECT_EQ(MessageBoxStyle(kResetConfirmationMessage),
            kMessageBoxIconWarning | kMessageBoxYesNo | kMessageBoxDefaultSecond);
  EXPECT_EQ(MessageBoxStyle(kLockOneConfirmationMessage),
            kMessageBoxIconInformation | kMessageBoxYesNo);
  EXPECT_EQ(MessageBoxStyle(kLockAllConfirmationMessage),
            kMessageBoxIconInformation | kMessageBoxYesNo);
  EXPECT_EQ(MessageBoxStyle(kExitConfirmationMessage),
            kMessageBoxIconWarning | kMessageBoxYesNo | kMessageBoxDefaultSecond);
  EXPECT_EQ(MessageBoxStyle(kMismatchMessage), kMessageBoxIconError);
  EXPECT_EQ(MessageBoxStyle(kSoftKeyWrongPasswordMessage), kMessageBoxIconWarning);
  for (const AccessMessage* brava : {&kBravaCannotSetMessage, &kBravaCannotAuthenticateMessage,
                                     &kBravaCannotCommunicateMessage, &kBravaCannotLockMessage})
    EXPECT_EQ(MessageBoxStyle(*brava), kMessageBoxIconInformation);
}

TEST(ShellDialogs, MainMenuDialogControlsFollowThePlan) {
  auto find = [](const std::array<DialogControlState, 6>& controls, int id) {
    for (const DialogControlState& c : controls)
      if (c.id == id) return c;
    return DialogControlState{};
  };
  ShellMenuPlan none;
  none.reauthenticateEnabled = false;
  none.keyPadCommandsEnabled = false;
  none.touchPresent = true;  // without a key pad the check box stays hidden all the same
  const auto empty = TrayMenuDialogControls(none);
  EXPECT_FALSE(find(empty, kTrayDialogReauthenticate).enabled);
  EXPECT_FALSE(find(empty, kTrayDialogLock).enabled);
  EXPECT_FALSE(find(empty, kTrayDialogKeyCodes).enabled);
  EXPECT_FALSE(find(empty, kTrayDialogFactoryReset).enabled);
  EXPECT_FALSE(find(empty, kTrayDialogTouch).shown);

  ShellMenuPlan some;
  some.reauthenticateEnabled = true;
  some.lockEnabled = true;
  some.touchPresent = true;
  some.touchChecked = true;
  const auto full = TrayMenuDialogControls(some);
  EXPECT_TRUE(find(full, kTrayDialogReauthenticate).enabled);
  EXPECT_TRUE(find(full, kTrayDialogLock).enabled);
  EXPECT_TRUE(find(full, kTrayDialogPassword).enabled);
  EXPECT_TRUE(find(full, kTrayDialogTouch).shown);
  EXPECT_EQ(find(full, kTrayDialogTouch).checked, 1);

  some.touchPresent = false;
  some.touchChecked = false;
  EXPECT_FALSE(find(TrayMenuDialogControls(some), kTrayDialogTouch).shown);
}

TEST(ShellDialogs, KeyCodeListScrollsByTheRecordLength) {
  KeyCodeRecord record;
  record.bytes[0] = 5;
  EXPECT_EQ(KeyCodeListScrollDistance(record), 80);
  record.bytes[0] = 1;
  EXPECT_EQ(KeyCodeListScrollDistance(record), 16);
  record.bytes[0] = 0xFF;  // a damaged length scrolls no further than a full record
  EXPECT_EQ(KeyCodeListScrollDistance(record), 61 * 16);
}

}  // namespace
}  // namespace qv
