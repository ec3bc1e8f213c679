// The password prompt, registration, factory reset, the access sequence around the key pad
// commands and the lock, over emulated key pads with a scripted user.
#include <gtest/gtest.h>

#include "access_fakes.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "access/access_control.h"
#include "access/access_menus.h"
#include "access/key_pad_connection.h"
#include "access/session_end.h"
#include "app/shell_commands.h"
#include "common/memory_settings.h"
#include "device/device_commands.h"
#include "emulator/emulated_hid_system.h"
#include "emulator/key_pad_firmware.h"

namespace qv {
namespace {

constexpr UiWindow kMainWindow = 0x100;
constexpr UiWindow kDialogWindow = 0x200;

// One answer in dialog 130 or 131; `cancel` presses Cancel.
struct Entry {
  std::u16string text, confirmation;
  bool cancel = false;
};
Entry Type(std::u16string text) {
  return {text, text};
}
const Entry kCancel{u"", u"", true};

struct Shown {
  UiWindow owner;
  std::u16string_view title, text;
};

// Plays the user from scripts and records what was shown. A dialog whose script has run out is
// cancelled; a question without a scripted answer gets No.
class ScriptedUser : public AccessUi {
 public:
  int RunPasswordPrompt(UiWindow owner, PasswordPromptSession& session) override {
    events.push_back("prompt");
    promptOwner = owner;
    session.Describe(view);
    session.Opened();
    if (onPrompt) onPrompt();
    return Play(
        prompts, [&](const Entry& e) { return session.Submit(e.text, kDialogWindow); },
        [&] { return session.Cancel(); });
  }
  int RunPasswordErrorDialog(UiWindow owner) override {
    events.push_back("error-dialog");
    errorOwner = owner;
    return Next(errorAnswers, kErrorDialogEnterAgain);
  }
  int RunPasswordRegistration(UiWindow, PasswordRegistrationSession& session) override {
    events.push_back("registration");
    session.Opened();
    if (onRegistration) onRegistration();
    return Play(
        registrations,
        [&](const Entry& e) { return session.Submit(e.text, e.confirmation, kDialogWindow); },
        [&] { return session.Cancel(); });
  }
  int RunKeyPadSelection(UiWindow, KeyPadTable& table, unsigned) override {
    events.push_back("selection");
    if (selectSlot < 0) return 2;
    table.selectedKeyPad = static_cast<std::uint16_t>(selectSlot);
    return 1;
  }
  int ShowMessage(UiWindow owner, const AccessMessage& message) override {
    events.push_back("message");
    messages.push_back({owner, message.title, message.text});
    if (onMessage) onMessage(message);
    return message.buttons == MessageButtons::kOk ? kMessageOk : Next(answers, kMessageNo);
  }
  void ErrorBeep() override { ++beeps; }
  void BringToForeground(UiWindow) override {}

  std::size_t Count(const std::string& event) const {
    return static_cast<std::size_t>(std::count(events.begin(), events.end(), event));
  }
  std::vector<std::u16string_view> Texts() const {
    std::vector<std::u16string_view> texts;
    for (const Shown& m : messages) texts.push_back(m.text);
    return texts;
  }

  std::deque<Entry> prompts, registrations;
  std::deque<int> errorAnswers, answers;
  int selectSlot = -1;
  std::function<void()> onPrompt, onRegistration;
  std::function<void(const AccessMessage&)> onMessage;
  std::vector<std::string> events;
  std::vector<Shown> messages;
  UiWindow promptOwner = 0, errorOwner = 0;
  PromptView view;
  int beeps = 0;

 private:
  static int Next(std::deque<int>& queue, int fallback) {
    if (queue.empty()) return fallback;
    const int value = queue.front();
    queue.pop_front();
    return value;
  }
  template <typename SubmitFn, typename CancelFn>
  int Play(std::deque<Entry>& script, SubmitFn submit, CancelFn cancel) {
    for (;;) {
      if (script.empty() || script.front().cancel) {
        if (!script.empty()) script.pop_front();
        return cancel();
      }
      const Entry entry = script.front();
      script.pop_front();
      const SubmitOutcome outcome = submit(entry);
      if (outcome.endDialog) return outcome.result;
      events.push_back("cleared");
    }
  }
};

// Windows 7 with the touch keyboard running: counts its starts and closes.
class CountingTouchKeyboard : public TouchKeyboardSystem {
 public:
  void SystemVersion(unsigned& major, unsigned& minor) override { major = 6, minor = 1; }
  bool RunningProcessNames(std::vector<std::u16string>& names) override {
    names = {u"TabTip.exe"};
    return true;
  }
  void StartProgram(std::u16string_view, std::u16string_view) override { ++shown; }
  SystemWindow FindTopLevelWindow(std::u16string_view) override { return 1; }
  void SendCloseCommand(SystemWindow) override { ++hidden; }
  int shown = 0, hidden = 0;
};

class RecordingShellSteps : public ShellStepsPort {
 public:
  void RunKeyCodeSettings(UiWindow, int) override {
    ++keyCodeSettingsRuns;
    if (during) during();
  }
  void SetSoftKeyboardVisible(int slot, bool show) override {
    visibility.push_back({slot, show});
    if (touchEnabled) touchWhenCalled.push_back(touchEnabled->load());
  }
  int keyCodeSettingsRuns = 0;
  const std::atomic<std::uint32_t>* touchEnabled = nullptr;
  std::vector<std::uint32_t> touchWhenCalled;
  std::function<void()> during;
  std::vector<std::pair<int, bool>> visibility;
};

using testing::NoSoftKeyboards;
using testing::QuietPresenceUi;

struct Rig {
  EmulatedHidSystem hid{EmulatedHidSystem::ClockMode::kVirtual};
  DeviceContext context{hid};
  KeyPadTable table;
  DeviceKeyCodeCache cache;
  ScriptedUser user;
  CountingTouchKeyboard touch;
  RecordingShellSteps shellSteps;
  ShowAgainFlags showAgain{};
  MemorySettings settings;
  std::atomic<std::uint32_t> touchEnabled{0};
  AccessPorts ports{table,      context,   cache,    user,         touch,
                    shellSteps, showAgain, settings, touchEnabled, kMainWindow};
  AccessConnectionPrompts prompts{ports};
  NoSoftKeyboards softKeyboards;
  QuietPresenceUi presenceUi;
  ConnectionPorts connection{context, cache, softKeyboards, prompts, presenceUi, u"C:\\sk\\"};

  Rig() {
    showAgain.fill(1);
    shellSteps.touchEnabled = &touchEnabled;
  }

  EmulatedDeviceId Attach(std::uint8_t status, std::string password = "",
                          std::uint32_t serial = 123456) {
    EmulatedKeyPad keyPadSpec;
    keyPadSpec.status = status;
    keyPadSpec.password = password;
    keyPadSpec.serial = serial;
    return hid.AttachKeyPad(keyPadSpec);
  }
  // The scan with the user's script answering any connection-time prompt (none: cancelled);
  // afterwards the records start afresh.
  void Connect() {
    RescanKeyPads(table, connection);
    for (EmulatedDeviceId id = 1; id < 8; ++id) hid.ClearRequests(id);
    user.events.clear();
    user.messages.clear();
  }
  void Command(unsigned command) { RunKeyPadCommand(ports, command, false); }
  std::vector<int> StatusWrites(EmulatedDeviceId id) {
    std::vector<int> written;
    for (const ReceivedRequest& r : hid.Requests(id))
      if (r.command == kCmdWriteStatusByte && !r.payload.empty()) written.push_back(r.payload[0]);
    return written;
  }
  std::size_t Sent(EmulatedDeviceId id, std::uint8_t command) {
    std::size_t n = 0;
    for (const ReceivedRequest& r : hid.Requests(id)) n += r.command == command;
    return n;
  }
  AccessState State(int slot) { return table.slots[slot].accessState; }
};

using Writes = std::vector<int>;

// ---------------------------------------------------------------- password text

TEST(AccessPasswordText, BytesAndRegistrationChecks) {
  PasswordBytes bytes(u"ab\uFF11\uFF19\u3042Z");
  EXPECT_EQ(bytes.view(), "ab19\x42Z");  // U+3042 keeps its low byte
  bytes.Assign(std::u16string(45, u'x'));
  EXPECT_EQ(bytes.size(), kPasswordByteLimit);

  const std::u16string twenty = u"abcdefghij0123456789";
  EXPECT_EQ(CheckNewPassword(twenty, twenty), RegistrationCheck::kAccepted);
  EXPECT_EQ(CheckNewPassword(twenty + u"x", twenty + u"x"), RegistrationCheck::kTooLong);
  // The mismatch is reported before the length.
  EXPECT_EQ(CheckNewPassword(std::u16string(30, u'a'), std::u16string(30, u'b')),
            RegistrationCheck::kMismatch);
  EXPECT_EQ(CheckNewPassword(u"pw\uFF11\uFF12", u"pw12"), RegistrationCheck::kAccepted);
  EXPECT_EQ(CheckNewPassword(u"\uFF41bc", u"\uFF41bc"), RegistrationCheck::kBadCharacter);
  EXPECT_EQ(CheckNewPassword(u"ab-c", u"ab-c"), RegistrationCheck::kBadCharacter);
}

// ---------------------------------------------------------------- prompt

TEST(AccessPrompt, WrongPasswordEnterAgainThenRightOne) {
  Rig rig;
  rig.Attach(0x01, "secret", 42);
  rig.Connect();  // the connection-time prompt is cancelled
  ASSERT_EQ(rig.State(0), AccessState::Locked);
  ASSERT_TRUE(rig.table.slots[0].authDeclined);
  rig.touch = CountingTouchKeyboard{};

  rig.table.slots[0].accessState = AccessState::Authenticated;
  rig.user.errorAnswers = {kErrorDialogEnterAgain};
  AccessState afterRetry = AccessState::Open;
  {
    // "再入力" keeps the prompt open with the slot Locked.
    PasswordPromptSession session(rig.ports, 0);
    EXPECT_FALSE(session.Submit(u"wrong", kDialogWindow).endDialog);
    afterRetry = rig.State(0);
    const SubmitOutcome right = session.Submit(u"secret", kDialogWindow);
    EXPECT_TRUE(right.endDialog);
    EXPECT_EQ(right.result, kPromptAccepted);
  }
  EXPECT_EQ(afterRetry, AccessState::Locked);
  EXPECT_EQ(rig.State(0), AccessState::Authenticated);
  EXPECT_FALSE(rig.table.slots[0].authDeclined);
  EXPECT_EQ(rig.user.errorOwner, kDialogWindow);
  EXPECT_EQ(rig.user.beeps, 1);
  EXPECT_EQ(rig.touch.hidden, 2);  // at each OK
  EXPECT_EQ(rig.touch.shown, 1);   // again after the rejection

  // Through the dialog: "初期化" ends the prompt with 1005 and changes nothing yet.
  rig.user.prompts = {Type(u"nope")};
  rig.user.errorAnswers = {kErrorDialogInitialise};
  EXPECT_EQ(PasswordPrompt(rig.ports, kMainWindow, 0), kPromptInitialise);
  EXPECT_EQ(rig.user.promptOwner, kMainWindow);
  EXPECT_EQ(std::u16string(BoundedView(rig.user.view.serial)), u"000042");
  EXPECT_EQ(rig.State(0), AccessState::Authenticated);
}

TEST(AccessPrompt, SoftKeyboardModeTouchesOnlyItsOwnFlag) {
  Rig rig;
  rig.Attach(0x01, "1234");
  rig.Connect();
  rig.table.softKeyAuthMode = true;
  rig.table.slots[0].softKeyAuthenticated = kSoftKeyAuthenticated;
  rig.user.prompts = {Type(u"9999"), Type(u"\uFF11\uFF12\uFF13\uFF14")};
  EXPECT_EQ(PasswordPrompt(rig.ports, 0x999, 0), kPromptAccepted);
  EXPECT_EQ(rig.user.Count("error-dialog"), 0u);
  ASSERT_EQ(rig.user.messages.size(), 1u);
  EXPECT_EQ(rig.user.messages[0].owner, kDialogWindow);
  EXPECT_EQ(rig.user.messages[0].text, kSoftKeyWrongPasswordMessage.text);
  EXPECT_EQ(rig.table.slots[0].softKeyAuthenticated.load(), kSoftKeyNotAuthenticated);
  EXPECT_EQ(rig.State(0), AccessState::Locked);
  EXPECT_TRUE(rig.table.slots[0].authDeclined);
  rig.table.slots[0].authDeclined = false;
  rig.user.prompts = {kCancel};
  EXPECT_EQ(PasswordPrompt(rig.ports, 0x999, 0), kPromptCancelled);
  EXPECT_FALSE(rig.table.slots[0].authDeclined);
}

TEST(AccessPrompt, ConnectionTimeInitialiseDeclinedAsksAgain) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x61, "pass");
  rig.user.prompts = {Type(u"bad"), Type(u"pass")};
  rig.user.errorAnswers = {kErrorDialogInitialise};
  rig.user.answers = {kMessageNo};
  RescanKeyPads(rig.table, rig.connection);
  EXPECT_EQ(rig.user.events,
            (std::vector<std::string>{"prompt", "error-dialog", "message", "prompt"}));
  EXPECT_EQ(rig.user.messages[0].text, kResetConfirmationMessage.text);
  EXPECT_EQ(rig.State(0), AccessState::Authenticated);
  EXPECT_EQ(rig.StatusWrites(id), Writes{0xE1});
  EXPECT_EQ(rig.hid.Password(id), "pass");
}

// The key pad goes away while the reset's confirmation is open: the forced close ends the box
// and the prompt is not shown again for a key pad that is not there.
TEST(AccessPrompt, ConnectionTimeResetConfirmationOfAVanishedKeyPadEndsThePrompt) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x61, "pass");
  rig.user.prompts = {Type(u"bad"), Type(u"pass")};
  rig.user.errorAnswers = {kErrorDialogInitialise};
  rig.user.onMessage = [&](const AccessMessage& message) {
    if (message.text != kResetConfirmationMessage.text) return;
    rig.hid.Detach(id);
    RunPresenceCheck(rig.table, rig.connection);
  };
  RescanKeyPads(rig.table, rig.connection);
  EXPECT_EQ(rig.user.Count("prompt"), 1u);
  EXPECT_FALSE(rig.table.keyPadPresent);
  EXPECT_FALSE(rig.table.commandActive);
  EXPECT_EQ(rig.Sent(id, kCmdResetToFactory), 0u);
}

// ---------------------------------------------------------------- registration

TEST(AccessRegistration, RefusalsThenTwentyCharacters) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x00);
  rig.Connect();
  const std::u16string twentyOne = u"abcdefghij0123456789K";
  rig.user.registrations = {Type(twentyOne),
                            {std::u16string(30, u'a'), std::u16string(30, u'b')},
                            Type(u"\uFF41\uFF42"),
                            Type(twentyOne.substr(0, 20))};
  EXPECT_EQ(PasswordRegistration(rig.ports, kMainWindow, 0), kRegistrationDone);
  EXPECT_EQ(rig.user.Texts(),
            (std::vector<std::u16string_view>{kTooLongMessage.text, kMismatchMessage.text,
                                              kBadCharacterMessage.text}));
  EXPECT_EQ(rig.user.messages[0].owner, kDialogWindow);
  EXPECT_EQ(rig.user.Count("cleared"), 3u);
  EXPECT_EQ(rig.hid.Password(id), "abcdefghij0123456789");
  EXPECT_EQ(rig.Sent(id, kCmdWritePassword), 1u);
  EXPECT_EQ(rig.State(0), AccessState::Authenticated);
}

TEST(AccessRegistration, FullWidthDigitsStoredAsAsciiAndEmptyMeansOpen) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x00);
  rig.Connect();
  rig.table.slots[0].softKeyAuthenticated = kSoftKeyAuthenticated;
  rig.user.registrations = {{u"ab\uFF10\uFF19", u"ab09"}};
  EXPECT_EQ(PasswordRegistration(rig.ports, kMainWindow, 0), kRegistrationDone);
  EXPECT_EQ(rig.hid.Password(id), "ab09");
  EXPECT_EQ(rig.table.slots[0].softKeyAuthenticated.load(), kSoftKeyNotAuthenticated);

  rig.user.registrations = {Type(u"")};
  EXPECT_EQ(PasswordRegistration(rig.ports, kMainWindow, 0), kRegistrationDone);
  EXPECT_EQ(rig.hid.Password(id), "");
  EXPECT_EQ(rig.State(0), AccessState::Open);
}

// A password the key pad never received is not reported as set.
TEST(AccessRegistration, UnansweredWriteLeavesTheStateAndTellsTheUser) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x00);
  rig.Connect();
  rig.hid.Detach(id);
  rig.user.registrations = {Type(u"abc")};
  EXPECT_EQ(PasswordRegistration(rig.ports, kMainWindow, 0), kRegistrationCancelled);
  EXPECT_EQ(rig.State(0), AccessState::Open);
  EXPECT_EQ(rig.user.Texts(), std::vector<std::u16string_view>{kRegistrationFailedMessage.text});
}

// ---------------------------------------------------------------- command sequence

TEST(AccessCommand, StatusBytesAroundKeyCodeSettings) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0xE5, "pw");
  rig.Connect();
  Writes beforeDialog;
  rig.shellSteps.during = [&] { beforeDialog = rig.StatusWrites(id); };
  rig.user.prompts = {Type(u"pw")};
  rig.Command(kCommandKeyCodeSettings);
  EXPECT_EQ(rig.shellSteps.keyCodeSettingsRuns, 1);
  EXPECT_EQ(beforeDialog, (Writes{0xE0, 0xE0}));  // before the prompt, then editing
  EXPECT_EQ(rig.StatusWrites(id), (Writes{0xE0, 0xE0, 0xE1}));
  EXPECT_EQ(rig.user.promptOwner, kMainWindow);
  EXPECT_FALSE(rig.table.commandActive);

  // The resume value is built on the status read after the dialog, which may have changed the
  // buzzer volume.
  const EmulatedDeviceId open = rig.Attach(0x00);
  rig.table.selectedKeyPad = 1;
  rig.Connect();
  rig.shellSteps.during = [&] { rig.hid.SetStatus(open, 0xC0); };
  RunKeyPadCommand(rig.ports, kCommandKeyCodeSettings, true);
  EXPECT_EQ(rig.StatusWrites(open), (Writes{0x80, 0xC1}));
  EXPECT_EQ(rig.State(1), AccessState::Open);
}

TEST(AccessCommand, Reauthentication) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x01, "pw");
  const EmulatedDeviceId open = rig.Attach(0x60);
  rig.Connect();
  rig.showAgain[0] = 0;
  rig.table.selectedKeyPad = 0;
  rig.user.prompts = {Type(u"pw")};
  RunKeyPadCommand(rig.ports, kCommandAuthenticateAgain, true);
  EXPECT_EQ(rig.StatusWrites(id), Writes{0x81});
  EXPECT_EQ(rig.showAgain[0], 1);
  EXPECT_EQ(rig.State(0), AccessState::Authenticated);
  EXPECT_FALSE(rig.table.slots[0].authDeclined);

  // Without a password: only Open, no dialog, nothing written.
  rig.user.events.clear();
  rig.table.slots[1].accessState = AccessState::Locked;
  rig.table.selectedKeyPad = 1;
  RunKeyPadCommand(rig.ports, kCommandAuthenticateAgain, true);
  EXPECT_EQ(rig.State(1), AccessState::Open);
  EXPECT_TRUE(rig.user.events.empty());
  EXPECT_TRUE(rig.StatusWrites(open).empty());
}

TEST(AccessCommand, CancelledPrompt) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0xA1, "pw");
  rig.Connect();
  rig.user.prompts = {kCancel};
  rig.Command(kCommandPasswordSetting);
  EXPECT_EQ(rig.StatusWrites(id), (Writes{0xA0, 0xA1}));
  EXPECT_EQ(rig.State(0), AccessState::Authenticated);
  EXPECT_TRUE(rig.table.slots[0].authDeclined);
  EXPECT_EQ(rig.user.Count("registration"), 0u);

  // A Locked key pad gets nothing written.
  rig.hid.ClearRequests(id);
  rig.hid.SetStatus(id, 0x21);
  rig.table.slots[0].accessState = AccessState::Locked;
  rig.user.prompts = {kCancel};
  rig.Command(kCommandPasswordSetting);
  EXPECT_TRUE(rig.StatusWrites(id).empty());

  // Locked with bit 7 set: the editing value went out before the prompt, but no resume value
  // after the cancel.
  rig.hid.ClearRequests(id);
  rig.hid.SetStatus(id, 0xA1);
  rig.user.prompts = {kCancel};
  rig.Command(kCommandPasswordSetting);
  EXPECT_EQ(rig.StatusWrites(id), Writes{0xA0});

  // Not Locked but bit 7 clear: nothing was written before the prompt, nothing after it.
  rig.hid.ClearRequests(id);
  rig.hid.SetStatus(id, 0x21);
  rig.table.slots[0].accessState = AccessState::Authenticated;
  rig.user.prompts = {kCancel};
  rig.Command(kCommandPasswordSetting);
  EXPECT_TRUE(rig.StatusWrites(id).empty());
}

TEST(AccessCommand, PasswordSettingAndFactoryResetOnAnOpenKeyPad) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x60);
  rig.Connect();
  rig.user.registrations = {Type(u"Abc123")};
  rig.Command(kCommandPasswordSetting);
  EXPECT_EQ(rig.StatusWrites(id), (Writes{0xE0, 0xE1}));
  EXPECT_EQ(rig.hid.Password(id), "Abc123");
  EXPECT_EQ(rig.State(0), AccessState::Authenticated);

  rig.hid.SetStatus(id, 0x70);
  rig.hid.ClearRequests(id);
  rig.user.prompts = {Type(u"Abc123")};
  rig.user.answers = {kMessageNo};
  rig.Command(kCommandFactoryReset);
  EXPECT_EQ(rig.StatusWrites(id), (Writes{0xF0, 0xF1}));  // declined: the resume value

  rig.hid.SetStatus(id, 0x70);
  rig.hid.ClearRequests(id);
  rig.user.prompts = {Type(u"Abc123")};
  rig.user.answers = {kMessageYes};
  rig.cache.slots[0][0].bytes.fill(0xEE);  // what the soft keyboard showed before
  rig.Command(kCommandFactoryReset);
  EXPECT_EQ(rig.StatusWrites(id), (Writes{0xF0, 0x81}));
  EXPECT_EQ(rig.Sent(id, kCmdResetToFactory), 1u);
  EXPECT_EQ(rig.State(0), AccessState::Open);
  // The soft keyboard's copy of the key codes shows the factory codes at once.
  EXPECT_EQ(rig.cache.slots[0][0].bytes, KeyPadFirmware::DefaultKeyCode(1).bytes);
}

TEST(AccessCommand, InitialiseFromTheErrorDialog) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0xE1, "pw");
  rig.Connect();
  // Declined: Locked, the soft keyboard stays hidden, only the value before the prompt.
  rig.user.prompts = {Type(u"wrong")};
  rig.user.errorAnswers = {kErrorDialogInitialise};
  rig.Command(kCommandKeyCodeSettings);
  EXPECT_EQ(rig.State(0), AccessState::Locked);
  EXPECT_EQ(rig.showAgain[0], 0);
  EXPECT_EQ(rig.shellSteps.keyCodeSettingsRuns, 0);
  EXPECT_EQ(rig.StatusWrites(id), Writes{0xE0});

  // Done: Open, and the command goes on with the factory status bits.
  rig.hid.SetStatus(id, 0xE1);
  rig.hid.ClearRequests(id);
  rig.user.prompts = {Type(u"wrong")};
  rig.user.errorAnswers = {kErrorDialogInitialise};
  rig.user.answers = {kMessageYes};
  rig.Command(kCommandKeyCodeSettings);
  EXPECT_EQ(rig.State(0), AccessState::Open);
  EXPECT_EQ(rig.shellSteps.keyCodeSettingsRuns, 1);
  EXPECT_EQ(rig.StatusWrites(id), (Writes{0xE0, 0x80, 0x81}));
}

// The user already chose to initialise in the error dialog of the reset command itself.
TEST(AccessCommand, FactoryResetCommandDoesNotResetTwice) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x01, "pw");
  rig.Connect();
  rig.user.prompts = {Type(u"wrong")};
  rig.user.errorAnswers = {kErrorDialogInitialise};
  rig.user.answers = {kMessageYes, kMessageYes};
  rig.Command(kCommandFactoryReset);
  EXPECT_EQ(rig.Sent(id, kCmdResetToFactory), 1u);
  EXPECT_EQ(rig.user.messages.size(), 1u);
  EXPECT_EQ(rig.StatusWrites(id), Writes{0x81});
  EXPECT_EQ(rig.State(0), AccessState::Open);
  EXPECT_FALSE(rig.table.slots[0].authDeclined);
}

TEST(AccessCommand, SelectionAndPresence) {
  Rig rig;
  const EmulatedDeviceId first = rig.Attach(0x01, "pw", 1);
  const EmulatedDeviceId second = rig.Attach(0x00, "", 2);
  rig.Connect();
  rig.Command(kCommandKeyCodeSettings);  // selection cancelled
  EXPECT_EQ(rig.user.Count("selection"), 1u);
  EXPECT_EQ(rig.shellSteps.keyCodeSettingsRuns, 0);
  EXPECT_FALSE(rig.table.commandActive);

  rig.user.selectSlot = 1;
  rig.Command(kCommandKeyCodeSettings);
  EXPECT_EQ(rig.StatusWrites(second), (Writes{0x80, 0x81}));

  // Gone while its prompt was open: the command ends without any write.
  rig.user.selectSlot = 0;
  rig.user.onPrompt = [&] { rig.table.keyPadPresent = false; };
  rig.user.prompts = {Type(u"pw")};
  rig.Command(kCommandKeyCodeSettings);
  EXPECT_EQ(rig.shellSteps.keyCodeSettingsRuns, 1);
  EXPECT_TRUE(rig.StatusWrites(first).empty());
}

// A status byte that cannot be read is not taken for "no password" (which would open the key
// pad and write 0x80 / 0x81 over its buzzer and interface bits).
TEST(AccessCommand, UnreadableStatusIsNeverGuessed) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x61, "pw");
  rig.Connect();
  rig.table.slots[0].accessState = AccessState::Authenticated;
  KeyPadFaults garbled;
  garbled.nextReplyBody = std::vector<std::uint8_t>{kCmdReadDeviceInfo, 0x00};
  rig.hid.SetFaults(id, garbled);
  rig.Command(kCommandKeyCodeSettings);
  EXPECT_TRUE(rig.StatusWrites(id).empty());
  EXPECT_EQ(rig.State(0), AccessState::Authenticated);
  EXPECT_EQ(rig.user.Texts(), std::vector<std::u16string_view>{kStatusReadFailedMessage.text});
  EXPECT_EQ(rig.user.Count("prompt"), 0u);

  // The read after the key-code dialog fails once the keys were written: the key pad still
  // leaves its editing state (which reads as "no password"), on the status read before the
  // dialog, and nothing says that the command stopped.
  rig.user.messages.clear();
  rig.shellSteps.during = [&] { rig.hid.SetFaults(id, garbled); };
  rig.user.prompts = {Type(u"pw")};
  rig.Command(kCommandKeyCodeSettings);
  EXPECT_EQ(rig.StatusWrites(id), (Writes{0xE0, ResumeStatusValue(0x61)}));
  EXPECT_TRUE(rig.user.messages.empty());
  EXPECT_EQ(rig.table.editingStatus.load(), -1);

  // The lock does not pass over such a key pad silently.
  rig.hid.ClearRequests(id);
  rig.user.messages.clear();
  rig.hid.SetFaults(id, garbled);
  rig.user.answers = {kMessageYes};
  LockKeyPads(rig.ports);
  EXPECT_EQ(rig.user.messages.back().text, kLockReadFailedMessage.text);
  EXPECT_TRUE(rig.StatusWrites(id).empty());
}

// A command works on the key pad it chose from start to end, whatever another window writes to
// selectedKeyPad meanwhile: the prompt, the status writes and the presence check all stay with it.
TEST(AccessCommand, KeepsTheKeyPadItChoseWhateverSelectedKeyPadSaysLater) {
  Rig rig;
  const EmulatedDeviceId other = rig.Attach(0x01, "other", 1);
  const EmulatedDeviceId chosen = rig.Attach(0x81, "mine", 2);
  rig.Connect();
  rig.user.selectSlot = 1;
  rig.user.prompts = {Type(u"mine")};
  bool presentDuringPrompt = false;
  rig.user.onPrompt = [&] {
    rig.table.selectedKeyPad = 0;  // a soft keyboard of the other key pad, say
    rig.hid.Detach(other);
    RunPresenceCheck(rig.table, rig.connection);
    presentDuringPrompt = rig.table.keyPadPresent;
  };
  rig.shellSteps.during = [&] { rig.table.selectedKeyPad = 0; };
  rig.Command(kCommandKeyCodeSettings);
  EXPECT_TRUE(presentDuringPrompt);
  EXPECT_EQ(rig.shellSteps.keyCodeSettingsRuns, 1);
  EXPECT_EQ(rig.State(1), AccessState::Authenticated);
  EXPECT_EQ(rig.StatusWrites(chosen), (Writes{0x80, 0x80, 0x81}));
  EXPECT_TRUE(rig.StatusWrites(other).empty());
  EXPECT_EQ(rig.Sent(other, kCmdVerifyPassword), 0u);
  EXPECT_EQ(rig.table.commandKeyPad.load(), kNoCommandKeyPad);
}

// The key pad went away while the command's dialog was open: nothing more is written to it.
TEST(AccessCommand, KeyPadGoneDuringTheDialogGetsNoResumeValue) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x40);
  rig.Connect();
  rig.shellSteps.during = [&] { rig.table.keyPadPresent = false; };
  rig.Command(kCommandKeyCodeSettings);
  EXPECT_EQ(rig.StatusWrites(id), Writes{0xC0});

  rig.hid.ClearRequests(id);
  rig.table.keyPadPresent = true;
  rig.user.onRegistration = [&] { rig.table.keyPadPresent = false; };
  rig.user.registrations = {Type(u"abc")};
  rig.Command(kCommandPasswordSetting);
  EXPECT_EQ(rig.StatusWrites(id), Writes{0xC0});
}

// The empty password of a reset may reach the key pad although the reset itself is not
// answered (a Bluetooth LE key pad answers every request, so the missing answer is seen): the
// resume value goes back where the editing value was, and the access state is read from the key
// pad again instead of being kept.
TEST(AccessCommand, FailedResetWritesTheResumeValueAndReadsTheStateAgain) {
  KeyPadFaults resetUnanswered;
  resetUnanswered.unansweredCommand = kCmdResetToFactory;
  auto attachBrava = [](Rig& rig, std::uint8_t status) {
    EmulatedKeyPad keyPadSpec;
    keyPadSpec.productId = 0x0777;
    keyPadSpec.version = 0;
    keyPadSpec.bluetooth = true;
    keyPadSpec.status = status;
    keyPadSpec.password = "pw";
    return rig.hid.AttachKeyPad(keyPadSpec);
  };
  {
    // From the error dialog of a prompt that was shown with bit 7 set.
    Rig rig;
    const EmulatedDeviceId id = attachBrava(rig, 0x81);
    rig.Connect();
    rig.hid.SetFaults(id, resetUnanswered);
    rig.user.prompts = {Type(u"wrong")};
    rig.user.errorAnswers = {kErrorDialogInitialise};
    rig.user.answers = {kMessageYes};
    rig.Command(kCommandKeyCodeSettings);
    EXPECT_EQ(rig.StatusWrites(id), (Writes{0x80, 0x81}));
    EXPECT_EQ(rig.State(0), AccessState::Open);
    EXPECT_EQ(rig.shellSteps.keyCodeSettingsRuns, 0);
  }
  {
    // The factory reset command on an authenticated key pad.
    Rig rig;
    const EmulatedDeviceId id = attachBrava(rig, 0x01);
    rig.Connect();
    rig.hid.SetFaults(id, resetUnanswered);
    rig.user.prompts = {Type(u"pw")};
    rig.user.answers = {kMessageYes};
    rig.Command(kCommandFactoryReset);
    EXPECT_EQ(rig.StatusWrites(id), (Writes{0x80, 0x81}));
    EXPECT_EQ(rig.State(0), AccessState::Open);
    EXPECT_EQ(rig.user.messages.back().text, kResetFailedMessage.text);
  }
}

// A reset the key pad did not carry out is not reported as done.
TEST(AccessCommand, UnansweredResetKeepsTheAccessState) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x01, "pw");
  rig.Connect();
  rig.user.prompts = {Type(u"wrong")};
  rig.user.errorAnswers = {kErrorDialogInitialise};
  rig.user.answers = {kMessageYes};
  KeyPadFaults faults;
  faults.vanishAfterRequests = 3;  // status read, verify, empty password; then gone
  rig.hid.SetFaults(id, faults);
  rig.Command(kCommandKeyCodeSettings);
  EXPECT_EQ(rig.State(0), AccessState::Locked);
  EXPECT_TRUE(rig.table.slots[0].authDeclined);
  EXPECT_EQ(rig.showAgain[0], 1);
  EXPECT_EQ(rig.shellSteps.keyCodeSettingsRuns, 0);
  EXPECT_EQ(rig.user.Texts(), (std::vector<std::u16string_view>{kResetConfirmationMessage.text,
                                                                kResetFailedMessage.text}));
}

// ---------------------------------------------------------------- lock

TEST(AccessLock, OnlyKeyPadsWithPasswordAreLocked) {
  Rig rig;
  const EmulatedDeviceId open = rig.Attach(0x40, "", 1);
  const EmulatedDeviceId guarded = rig.Attach(0xA1, "pw", 2);
  rig.Connect();
  rig.table.slots[1].softKeyAuthenticated = kSoftKeyAuthenticated;
  rig.user.answers = {kMessageNo};
  LockKeyPads(rig.ports);
  EXPECT_EQ(rig.user.Texts(), std::vector<std::u16string_view>{kLockAllConfirmationMessage.text});
  EXPECT_TRUE(rig.hid.Requests(guarded).empty());

  rig.user.answers = {kMessageYes};
  LockKeyPads(rig.ports);
  EXPECT_TRUE(rig.StatusWrites(open).empty());
  EXPECT_EQ(rig.Sent(open, kCmdVerifyPassword), 0u);
  EXPECT_EQ(rig.StatusWrites(guarded), Writes{0xA0});
  EXPECT_EQ(rig.Sent(guarded, kCmdVerifyPassword), 1u);
  EXPECT_EQ(rig.State(0), AccessState::Open);
  EXPECT_EQ(rig.State(1), AccessState::Locked);
  EXPECT_TRUE(rig.table.slots[1].authDeclined);
  EXPECT_EQ(rig.table.slots[1].softKeyAuthenticated.load(), kSoftKeyNotAuthenticated);
  EXPECT_EQ(rig.showAgain, (ShowAgainFlags{1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
}

// ---------------------------------------------------------------- Brava key pads

TEST(AccessBrava, SilentKeyPadStopsEveryOperationUnchanged) {
  Rig rig;
  EmulatedKeyPad keyPadSpec;
  keyPadSpec.productId = 0x074F;
  keyPadSpec.version = 0;
  keyPadSpec.bluetooth = true;
  keyPadSpec.status = 0x81;
  keyPadSpec.password = "pw";
  const EmulatedDeviceId id = rig.hid.AttachKeyPad(keyPadSpec);
  rig.Connect();
  ASSERT_EQ(rig.table.slots[0].modelIdentity, kModelB4B4074F);
  ASSERT_EQ(rig.State(0), AccessState::Authenticated);
  KeyPadFaults faults;
  faults.silent = true;
  rig.hid.SetFaults(id, faults);

  rig.user.prompts = {Type(u"pw")};
  EXPECT_EQ(PasswordPrompt(rig.ports, kMainWindow, 0), kPromptCancelled);
  rig.user.registrations = {Type(u"new1")};
  EXPECT_EQ(PasswordRegistration(rig.ports, kMainWindow, 0), kRegistrationCancelled);
  rig.user.answers = {kMessageYes};
  EXPECT_FALSE(FactoryResetKeyPad(rig.ports, kMainWindow, 0));
  rig.Command(kCommandKeyCodeSettings);
  rig.user.answers = {kMessageYes};
  LockKeyPads(rig.ports);

  EXPECT_EQ(rig.user.Texts(),
            (std::vector<std::u16string_view>{
                kBravaCannotAuthenticateMessage.text, kBravaCannotSetMessage.text,
                kResetConfirmationMessage.text, kBravaCannotCommunicateMessage.text,
                kBravaCannotCommunicateMessage.text, kLockOneConfirmationMessage.text,
                kBravaCannotLockMessage.text}));
  for (const ReceivedRequest& r : rig.hid.Requests(id)) EXPECT_EQ(r.command, kCmdPingLink);
  EXPECT_EQ(rig.State(0), AccessState::Authenticated);
  EXPECT_FALSE(rig.table.slots[0].authDeclined);
  EXPECT_EQ(rig.hid.Password(id), "pw");
}

// ---------------------------------------------------------------- end of the session

// The session ends while the key-code dialog is open: the key pad gets its resume value at once,
// built on the status it tells now, and the command unwinds without another write or message.
TEST(AccessSessionEnd, KeyPadOfARunningCommandIsResumedAndTheCommandStops) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x00);
  rig.Connect();
  std::size_t writesAtEnd = 0;
  rig.shellSteps.during = [&] {
    EXPECT_EQ(rig.StatusWrites(id), Writes{EditingStatusValue(0x00)});
    EXPECT_EQ(PlanSessionEndSettle(rig.table).slot, 0);
    rig.hid.SetStatus(id, 0x60);  // the dialog changed the buzzer volume meanwhile
    EXPECT_TRUE(SettleKeyPadsForSessionEnd(rig.table, rig.context));
    writesAtEnd = rig.StatusWrites(id).size();
  };
  rig.Command(kCommandKeyCodeSettings);
  EXPECT_EQ(rig.shellSteps.keyCodeSettingsRuns, 1);
  EXPECT_EQ(rig.StatusWrites(id), (Writes{EditingStatusValue(0x00), ResumeStatusValue(0x60)}));
  EXPECT_EQ(writesAtEnd, 2u);
  EXPECT_TRUE(rig.user.messages.empty());
  EXPECT_EQ(rig.table.editingStatus.load(), -1);
}

// Outside a command, before a command's editing value and after its resume value, the end
// writes nothing.
TEST(AccessSessionEnd, NothingIsWrittenWhenNoKeyPadIsInItsEditingState) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x81, "pw");
  rig.Connect();
  EXPECT_FALSE(SettleKeyPadsForSessionEnd(rig.table, rig.context));
  EXPECT_TRUE(rig.StatusWrites(id).empty());

  // A locked key pad's prompt: the command has not written its editing value (the key pad was
  // not authenticated), so there is nothing to resume.
  Rig locked;
  const EmulatedDeviceId lockedId = locked.Attach(0x01, "pw");
  locked.Connect();
  bool settled = true;
  locked.user.onPrompt = [&] {
    settled = SettleKeyPadsForSessionEnd(locked.table, locked.context);
  };
  locked.Command(kCommandKeyCodeSettings);
  EXPECT_FALSE(settled);
  EXPECT_TRUE(locked.StatusWrites(lockedId).empty());

  // The password command resumed its key pad itself: the end leaves it alone.
  Rig done;
  const EmulatedDeviceId doneId = done.Attach(0x00);
  done.Connect();
  done.Command(kCommandPasswordSetting);
  const Writes written = done.StatusWrites(doneId);
  ASSERT_EQ(written.size(), 2u);
  done.table.commandActive = true;  // as if a later command had not written anything yet
  EXPECT_FALSE(SettleKeyPadsForSessionEnd(done.table, done.context));
  EXPECT_EQ(done.StatusWrites(doneId), written);
}

// The end of the session and the end of the key-code dialog resume the key pad on the same
// status: the one it tells then, else the one read before the editing value.
TEST(AccessSessionEnd, ResumesOnTheStatusTheKeyCodeDialogWouldResumeOn) {
  KeyPadFaults garbled;
  garbled.nextReplyBody = std::vector<std::uint8_t>{kCmdReadDeviceInfo, 0x00};
  for (const bool sessionEnds : {false, true}) {
    for (const bool tells : {true, false}) {
      SCOPED_TRACE(std::string(sessionEnds ? "session end" : "dialog end") +
                   (tells ? ", status told" : ", status not told"));
      Rig rig;
      const EmulatedDeviceId id = rig.Attach(0x20);
      rig.Connect();
      rig.shellSteps.during = [&] {
        rig.hid.SetStatus(id, 0x40);  // the dialog changed the buzzer meanwhile
        if (!tells) rig.hid.SetFaults(id, garbled);
        if (sessionEnds) {
          EXPECT_TRUE(SettleKeyPadsForSessionEnd(rig.table, rig.context));
        }
      };
      rig.Command(kCommandKeyCodeSettings);
      EXPECT_EQ(rig.StatusWrites(id),
                (Writes{EditingStatusValue(0x20), ResumeStatusValue(tells ? 0x40 : 0x20)}));
      EXPECT_TRUE(rig.user.messages.empty());
    }
  }
}

// A Bluetooth LE key pad that stops answering while its command runs holds the end up for about
// two shortened waits (the status read and the write), not five seconds each.
TEST(AccessSessionEnd, SilentBluetoothKeyPadIsGivenUpQuickly) {
  Rig rig;
  EmulatedKeyPad keyPadSpec;
  keyPadSpec.productId = 0x074F;
  keyPadSpec.version = 0;
  keyPadSpec.bluetooth = true;
  keyPadSpec.status = 0x20;
  const EmulatedDeviceId id = rig.hid.AttachKeyPad(keyPadSpec);
  rig.Connect();
  ASSERT_EQ(rig.table.slots[0].modelIdentity, kModelB4B4074F);
  std::uint64_t took = 0;
  rig.shellSteps.during = [&] {
    KeyPadFaults faults;
    faults.silent = true;
    rig.hid.SetFaults(id, faults);
    const std::uint64_t start = rig.hid.NowMs();
    EXPECT_TRUE(SettleKeyPadsForSessionEnd(rig.table, rig.context));
    took = rig.hid.NowMs() - start;
  };
  rig.Command(kCommandKeyCodeSettings);
  EXPECT_EQ(rig.shellSteps.keyCodeSettingsRuns, 1);
  EXPECT_LE(took, 2 * kSessionEndFramedTimeoutMs + 100);
  // The resume value went out, built on the status the command read.
  const Writes written = rig.StatusWrites(id);
  ASSERT_FALSE(written.empty());
  EXPECT_EQ(written.back(), ResumeStatusValue(0x20));
  EXPECT_TRUE(rig.user.messages.empty());
}

// ---------------------------------------------------------------- menu dialogs

TEST(AccessMenus, TouchCheckBoxAndSoftKeyMenuOwner) {
  Rig rig;
  // The touch function is switched on before the soft keyboards are asked to show (they show
  // only while it is on), and off only after they were asked to hide.
  rig.touchEnabled = 0;
  ToggleTouchFromTrayMenu(rig.ports, true);
  EXPECT_EQ(rig.touchEnabled.load(), 1u);
  ASSERT_EQ(rig.shellSteps.visibility.size(), 16u);
  EXPECT_EQ(rig.shellSteps.visibility[15], (std::pair<int, bool>{15, true}));
  EXPECT_EQ(rig.shellSteps.touchWhenCalled, std::vector<std::uint32_t>(16, 1u));
  std::uint32_t stored = 7;
  ASSERT_TRUE(ReadTouchSetting(rig.settings, stored));
  EXPECT_EQ(stored, 1u);
  rig.shellSteps.touchWhenCalled.clear();
  ToggleTouchFromTrayMenu(rig.ports, false);
  EXPECT_EQ(rig.shellSteps.touchWhenCalled, std::vector<std::uint32_t>(16, 1u));
  EXPECT_EQ(rig.touchEnabled.load(), 0u);
  ASSERT_TRUE(ReadTouchSetting(rig.settings, stored));
  EXPECT_EQ(stored, 0u);

  KeyPadTable& table = rig.table;
  table.keyPadCount = 2;
  table.slots[1].accessState = AccessState::Authenticated;
  auto windows = [](int slot) -> UiWindow { return slot == 1 ? 0x51 : 0; };
  EXPECT_FALSE(OpenSoftKeyMenu(table, 0x77, windows).forKeyPad);
  EXPECT_TRUE(OpenSoftKeyMenu(table, 0x51, windows).lockEnabled);
  // The lock is offered only for an authenticated key pad.
  for (AccessState other : {AccessState::Locked, AccessState::Open}) {
    table.slots[1].accessState = other;
    EXPECT_FALSE(OpenSoftKeyMenu(table, 0x51, windows).lockEnabled);
  }
  table.slots[1].accessState = AccessState::Authenticated;
  // An owner that matches no slot keeps the slot of the last opening.
  EXPECT_TRUE(OpenSoftKeyMenu(table, 0x77, windows).forKeyPad);
  EXPECT_EQ(table.menuKeyPad.load(), 1);
}

}  // namespace
}  // namespace qv
