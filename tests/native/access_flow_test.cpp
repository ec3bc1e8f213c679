// The password prompt, registration, factory reset, the access sequence around the key pad
// commands, the lock and the menu dialogs, over emulated key pads with a scripted user.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "access/access_control.h"
#include "access/access_menus.h"
#include "access/key_pad_connection.h"
#include "app/memory_settings.h"
#include "app/shell_commands.h"
#include "device/device_commands.h"
#include "emulator/emulated_hid_system.h"

namespace qv {
namespace {

constexpr UiWindow kMainWindow = 0x100;
constexpr UiWindow kPromptWindow = 0x200;
constexpr UiWindow kRegistrationWindow = 0x300;

// One answer of the user in dialog 130 or 131.
struct Entry {
  bool cancel = false;
  std::u16string text;
  std::u16string confirmation;
};
Entry Type(std::u16string text) {
  return Entry{false, text, text};
}
Entry Type(std::u16string text, std::u16string confirmation) {
  return Entry{false, text, confirmation};
}
Entry CancelIt() {
  return Entry{true, u"", u""};
}

struct ShownMessage {
  UiWindow owner;
  std::u16string title;
  std::u16string text;
};

// Plays the user: answers each dialog from its script, records what was shown. A dialog whose
// script has run out is cancelled; a question without an answer is answered No.
class ScriptedUser : public AccessUi {
 public:
  int RunPasswordPrompt(UiWindow owner, PasswordPromptSession& session) override {
    events.push_back("prompt");
    promptOwners.push_back(owner);
    session.Describe(lastView);
    session.Opened();
    if (onPrompt) onPrompt();
    for (;;) {
      if (prompts.empty()) return session.Cancel();
      Entry entry = prompts.front();
      prompts.pop_front();
      if (entry.cancel) return session.Cancel();
      const SubmitOutcome outcome = session.Submit(entry.text, kPromptWindow);
      if (outcome.endDialog) return outcome.result;
      events.push_back("prompt-cleared");
    }
  }
  int RunPasswordErrorDialog(UiWindow owner) override {
    events.push_back("error-dialog");
    errorOwners.push_back(owner);
    if (errorAnswers.empty()) return kErrorDialogEnterAgain;
    const int answer = errorAnswers.front();
    errorAnswers.pop_front();
    return answer;
  }
  int RunPasswordRegistration(UiWindow, PasswordRegistrationSession& session) override {
    events.push_back("registration");
    session.Opened();
    for (;;) {
      if (registrations.empty()) return session.Cancel();
      Entry entry = registrations.front();
      registrations.pop_front();
      if (entry.cancel) return session.Cancel();
      const SubmitOutcome outcome =
          session.Submit(entry.text, entry.confirmation, kRegistrationWindow);
      if (outcome.endDialog) return outcome.result;
      events.push_back("registration-cleared");
    }
  }
  int RunKeyPadSelection(UiWindow, KeyPadTable& table, unsigned) override {
    events.push_back("selection");
    if (selectSlot < 0) return 2;
    table.selectedKeyPad = static_cast<std::uint16_t>(selectSlot);
    return 1;
  }
  int ShowMessage(UiWindow owner, const AccessMessage& message) override {
    events.push_back("message");
    messages.push_back({owner, std::u16string(message.title), std::u16string(message.text)});
    if (message.buttons == MessageButtons::kOk) return kMessageOk;
    if (answers.empty()) return kMessageNo;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ErrorBeep() override { ++beeps; }
  void BringToForeground(UiWindow) override {}

  std::size_t Count(const std::string& event) const {
    std::size_t n = 0;
    for (const std::string& e : events) n += e == event;
    return n;
  }
  std::vector<std::u16string> MessageTitles() const {
    std::vector<std::u16string> titles;
    for (const ShownMessage& m : messages) titles.push_back(m.title);
    return titles;
  }

  std::deque<Entry> prompts;
  std::deque<Entry> registrations;
  std::deque<int> errorAnswers;
  std::deque<int> answers;  // Yes / No of questions
  int selectSlot = -1;
  std::function<void()> onPrompt;
  std::vector<std::string> events;
  std::vector<ShownMessage> messages;
  std::vector<UiWindow> promptOwners, errorOwners;
  PromptView lastView;
  int beeps = 0;
};

// Windows 7 with the touch keyboard running: every show starts it, every hide closes it.
class CountingTouchKeyboard : public TouchKeyboardSystem {
 public:
  void SystemVersion(unsigned& major, unsigned& minor) override {
    major = 6;
    minor = 1;
  }
  bool RunningProcessNames(std::vector<std::u16string>& names) override {
    names = {u"TabTip.exe"};
    return true;
  }
  void StartProgram(std::u16string_view, std::u16string_view) override { ++shown; }
  SystemWindow FindTopLevelWindow(std::u16string_view) override { return 1; }
  void SendCloseCommand(SystemWindow) override { ++hidden; }
  int shown = 0;
  int hidden = 0;
};

class RecordingHooks : public AccessHooks {
 public:
  void RunKeyCodeSettings(UiWindow) override {
    ++keyCodeSettingsRuns;
    if (during) during();
  }
  void SetSoftKeyboardVisible(int slot, bool show) override { visibility.push_back({slot, show}); }
  int keyCodeSettingsRuns = 0;
  std::function<void()> during;
  std::vector<std::pair<int, bool>> visibility;
};

class NoSoftKeyboards : public SoftKeyboardHost {
 public:
  bool SoftKeyboardThreadExists(int) override { return false; }
  bool SoftKeyboardWindowExists(int) override { return false; }
  void StartSoftKeyboardThread(int, SoftKeyLayout) override {}
  void CloseSoftKeyboardThread(int) override {}
  void CreateFolder(std::u16string_view) override {}
  void LoadSoftKeyAssets(int) override {}
};

class SilentPresenceUi : public PresenceCheckUi {
 public:
  void ShowForcedCloseMessage() override {}
  void CloseOwnedWindows() override {}
};

struct Rig {
  EmulatedHidSystem hid{EmulatedHidSystem::ClockMode::kVirtual};
  DeviceContext context{hid};
  KeyPadTable table;
  DeviceKeyCodeCache cache;
  ScriptedUser user;
  CountingTouchKeyboard touch;
  RecordingHooks hooks;
  ShowAgainFlags showAgain{};
  MemorySettings settings;
  std::atomic<std::uint32_t> touchEnabled{0};
  AccessPorts ports{table, context,   cache,    user,         touch,
                    hooks, showAgain, settings, touchEnabled, kMainWindow};
  AccessConnectionPrompts prompts{ports};
  NoSoftKeyboards softKeyboards;
  SilentPresenceUi presenceUi;
  ConnectionPorts connection{context, cache, softKeyboards, prompts, presenceUi, u"C:\\sk\\"};

  Rig() { showAgain.fill(1); }

  EmulatedDeviceId Attach(std::uint8_t status, std::string password = "",
                          std::uint32_t serial = 123456, std::uint16_t productId = 0x1224) {
    KeyPadSpec spec;
    spec.productId = productId;
    spec.status = status;
    spec.password = password;
    spec.serial = serial;
    return hid.AttachKeyPad(spec);
  }
  EmulatedDeviceId AttachBrava(std::uint8_t status, std::string password = "") {
    KeyPadSpec spec;
    spec.productId = 0x074F;
    spec.version = 0;
    spec.bluetooth = true;
    spec.status = status;
    spec.password = password;
    spec.serial = 777;
    return hid.AttachKeyPad(spec);
  }
  // The scan, with whatever the user's script says to connection-time prompts; afterwards the
  // recorded requests and events start afresh.
  void Connect() {
    ConnectKeyPads(table, connection);
    for (EmulatedDeviceId id = 1; id < 20; ++id) hid.ClearRequests(id);
    user.events.clear();
    user.messages.clear();
  }
  // Status bytes the key pad was sent.
  std::vector<int> StatusWrites(EmulatedDeviceId id) {
    std::vector<int> written;
    for (const ReceivedRequest& r : hid.Requests(id))
      if (r.command == kCmdWriteStatusByte && !r.payload.empty()) written.push_back(r.payload[0]);
    return written;
  }
  std::size_t RequestCount(EmulatedDeviceId id, std::uint8_t command) {
    std::size_t n = 0;
    for (const ReceivedRequest& r : hid.Requests(id)) n += r.command == command;
    return n;
  }
  KeyPadSlot& Slot(int i) { return table.slots[i]; }
};

// ---------------------------------------------------------------- password text

TEST(AccessPasswordText, BytesAreLowBytesWithFullWidthDigitsNarrowed) {
  PasswordBytes bytes(u"ab\uFF11\uFF19\u3042Z");
  EXPECT_EQ(bytes.view(), std::string("ab19\x42Z", 6));  // U+3042 keeps its low byte 0x42

  std::u16string longText(45, u'x');
  bytes.Assign(longText);
  EXPECT_EQ(bytes.size(), kPasswordByteLimit);
  bytes.Wipe();
  EXPECT_TRUE(bytes.empty());
}

TEST(AccessPasswordText, RegistrationChecksInOrder) {
  const std::u16string twenty = u"abcdefghij0123456789";
  EXPECT_EQ(CheckNewPassword(twenty, twenty), RegistrationCheck::kAccepted);
  EXPECT_EQ(CheckNewPassword(twenty + u"x", twenty + u"x"), RegistrationCheck::kTooLong);
  // Different 30-character texts: the mismatch is reported before the length.
  EXPECT_EQ(CheckNewPassword(std::u16string(30, u'a'), std::u16string(30, u'b')),
            RegistrationCheck::kMismatch);
  // Full-width against ASCII digits count as the same; full-width letters are refused.
  EXPECT_EQ(CheckNewPassword(u"pw\uFF11\uFF12", u"pw12"), RegistrationCheck::kAccepted);
  EXPECT_EQ(CheckNewPassword(u"\uFF41bc", u"\uFF41bc"), RegistrationCheck::kBadCharacter);
  EXPECT_EQ(CheckNewPassword(u"ab-c", u"ab-c"), RegistrationCheck::kBadCharacter);
  EXPECT_EQ(CheckNewPassword(u"", u""), RegistrationCheck::kAccepted);
  // Only 63 characters of each field count.
  EXPECT_EQ(CheckNewPassword(std::u16string(63, u'a') + u"x", std::u16string(63, u'a') + u"y"),
            RegistrationCheck::kTooLong);
}

TEST(AccessPasswordText, PromptTitlesByModel) {
  EXPECT_EQ(PromptTitle(0xA100074F), u"ユーザー認証　《Tarn》");
  EXPECT_EQ(PromptTitle(kModelB4B4074F), u"ユーザー認証　《Brava》");
  EXPECT_EQ(PromptTitle(kModelB5B50777), u"ユーザー認証　《Brava》");
  EXPECT_EQ(PromptTitle(0x01000777), u"ユーザー認証　《Tarn Quad》");
  EXPECT_EQ(PromptTitle(0x0100130D), u"ユーザー認証　《Corvo》");
  EXPECT_EQ(PromptTitle(0x0100130C), u"");
}

// ---------------------------------------------------------------- prompt

TEST(AccessPrompt, WrongPasswordEnterAgainThenRightOne) {
  Rig rig;
  rig.Attach(0x01, "secret", 42);
  rig.Connect();  // no answer: the connection prompt is cancelled
  ASSERT_EQ(rig.Slot(0).accessState.load(), AccessState::Locked);
  ASSERT_TRUE(rig.Slot(0).authDeclined);

  rig.table.selectedKeyPad = 0;
  rig.user.prompts = {Type(u"wrong"), Type(u"secret")};
  rig.user.errorAnswers = {kErrorDialogEnterAgain};
  rig.Slot(0).accessState = AccessState::Authenticated;  // "再入力" locks whatever it was
  const int shownBefore = rig.touch.shown;
  const int hiddenBefore = rig.touch.hidden;
  EXPECT_EQ(PasswordPrompt(rig.ports, kMainWindow), kPromptAccepted);

  EXPECT_EQ(rig.user.events,
            (std::vector<std::string>{"prompt", "error-dialog", "prompt-cleared"}));
  EXPECT_EQ(rig.user.errorOwners, std::vector<UiWindow>{kPromptWindow});
  EXPECT_EQ(rig.user.beeps, 1);
  EXPECT_EQ(rig.touch.shown - shownBefore, 2);    // on opening and after the rejection
  EXPECT_EQ(rig.touch.hidden - hiddenBefore, 2);  // at each OK
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Authenticated);
  EXPECT_FALSE(rig.Slot(0).authDeclined);
  EXPECT_EQ(std::u16string(BoundedView(rig.user.lastView.serial)), u"000042");
}

TEST(AccessPrompt, EnterAgainLeavesTheSlotLockedWhileTheDialogStaysOpen) {
  Rig rig;
  rig.Attach(0x01, "secret");
  rig.Connect();
  rig.Slot(0).accessState = AccessState::Authenticated;
  rig.table.selectedKeyPad = 0;
  PasswordPromptSession session(rig.ports);
  rig.user.errorAnswers = {kErrorDialogEnterAgain};
  const SubmitOutcome outcome = session.Submit(u"nope", kPromptWindow);
  EXPECT_FALSE(outcome.endDialog);
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Locked);
  // "初期化" ends the prompt with 1005 and changes nothing yet.
  rig.user.errorAnswers = {kErrorDialogInitialise};
  const SubmitOutcome initialise = session.Submit(u"nope", kPromptWindow);
  EXPECT_TRUE(initialise.endDialog);
  EXPECT_EQ(initialise.result, kPromptInitialise);
  EXPECT_EQ(session.Cancel(), kPromptCancelled);
  EXPECT_TRUE(rig.Slot(0).authDeclined);
}

TEST(AccessPrompt, SoftKeyboardModeTouchesOnlyItsOwnFlag) {
  Rig rig;
  rig.Attach(0x01, "1234");
  rig.Connect();
  rig.table.selectedKeyPad = 0;
  rig.table.softKeyAuthMode = true;
  rig.Slot(0).softKeyAuthenticated = kSoftKeyAuthenticated;

  rig.user.prompts = {Type(u"9999"), Type(u"\uFF11\uFF12\uFF13\uFF14")};
  EXPECT_EQ(PasswordPrompt(rig.ports, 0x999), kPromptAccepted);
  EXPECT_EQ(rig.user.Count("error-dialog"), 0u);
  ASSERT_EQ(rig.user.messages.size(), 1u);
  EXPECT_EQ(rig.user.messages[0].owner, kPromptWindow);
  EXPECT_EQ(rig.user.messages[0].text, kSoftKeyWrongPasswordMessage.text);
  EXPECT_EQ(rig.Slot(0).softKeyAuthenticated.load(), kSoftKeyNotAuthenticated);
  // Neither the acceptance nor a cancel changes the main access state.
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Locked);
  EXPECT_TRUE(rig.Slot(0).authDeclined);
  rig.Slot(0).authDeclined = false;
  rig.user.prompts = {CancelIt()};
  EXPECT_EQ(PasswordPrompt(rig.ports, 0x999), kPromptCancelled);
  EXPECT_FALSE(rig.Slot(0).authDeclined);
}

TEST(AccessPrompt, ConnectionTimeInitialiseDeclinedAsksAgain) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x61, "pass");
  rig.user.prompts = {Type(u"bad"), Type(u"pass")};
  rig.user.errorAnswers = {kErrorDialogInitialise};
  rig.user.answers = {kMessageNo};
  ConnectKeyPads(rig.table, rig.connection);
  EXPECT_EQ(rig.user.events,
            (std::vector<std::string>{"prompt", "error-dialog", "message", "prompt"}));
  EXPECT_EQ(rig.user.messages[0].title, kResetConfirmationMessage.title);
  EXPECT_EQ(rig.user.messages[0].owner, kMainWindow);
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Authenticated);
  EXPECT_EQ(rig.StatusWrites(id), std::vector<int>{0xE1});
  EXPECT_EQ(rig.hid.Password(id), "pass");
  EXPECT_FALSE(rig.table.commandActive);
}

TEST(AccessPrompt, ConnectionTimeInitialiseConfirmedResetsTheKeyPad) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x01, "pass");
  rig.user.prompts = {Type(u"bad")};
  rig.user.errorAnswers = {kErrorDialogInitialise};
  rig.user.answers = {kMessageYes};
  ConnectKeyPads(rig.table, rig.connection);
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Open);
  EXPECT_EQ(rig.hid.Password(id), "");
  EXPECT_EQ(rig.RequestCount(id, kCmdResetToFactory), 1u);
}

// ---------------------------------------------------------------- registration

TEST(AccessRegistration, LengthLimitAndRefusalMessages) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x00);
  rig.Connect();
  rig.table.selectedKeyPad = 0;
  const std::u16string twentyOne = u"abcdefghij0123456789K";
  const std::u16string twenty = twentyOne.substr(0, 20);
  rig.user.registrations = {Type(twentyOne),
                            Type(std::u16string(30, u'a'), std::u16string(30, u'b')),
                            Type(u"\uFF41\uFF42"), Type(twenty)};
  EXPECT_EQ(PasswordRegistration(rig.ports, kMainWindow), kRegistrationDone);
  EXPECT_EQ(rig.user.MessageTitles(),
            (std::vector<std::u16string>{u"パスワード文字数エラー", u"確認不一致",
                                         u"パスワード文字エラー"}));
  for (const ShownMessage& m : rig.user.messages) EXPECT_EQ(m.owner, kRegistrationWindow);
  EXPECT_EQ(rig.user.Count("registration-cleared"), 3u);
  EXPECT_EQ(rig.hid.Password(id), "abcdefghij0123456789");
  EXPECT_EQ(rig.RequestCount(id, kCmdWritePassword), 1u);
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Authenticated);
}

TEST(AccessRegistration, FullWidthDigitsStoredAsAsciiAndEmptyMeansOpen) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x00);
  rig.Connect();
  rig.table.selectedKeyPad = 0;
  rig.Slot(0).softKeyAuthenticated = kSoftKeyAuthenticated;
  rig.user.registrations = {Type(u"ab\uFF10\uFF19", u"ab09")};
  EXPECT_EQ(PasswordRegistration(rig.ports, kMainWindow), kRegistrationDone);
  EXPECT_EQ(rig.hid.Password(id), "ab09");
  EXPECT_EQ(rig.Slot(0).softKeyAuthenticated.load(), kSoftKeyNotAuthenticated);
  // The key pad then verifies the ASCII digits typed either way.
  rig.user.prompts = {Type(u"ab\uFF10\uFF19")};
  EXPECT_EQ(PasswordPrompt(rig.ports, kMainWindow), kPromptAccepted);

  rig.user.registrations = {Type(u"")};
  EXPECT_EQ(PasswordRegistration(rig.ports, kMainWindow), kRegistrationDone);
  EXPECT_EQ(rig.hid.Password(id), "");
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Open);
}

// A write that the key pad never received is not reported as a new password.
TEST(AccessRegistration, UnansweredWriteLeavesTheStateAndTellsTheUser) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x00);
  rig.Connect();
  rig.table.selectedKeyPad = 0;
  rig.Slot(0).accessState = AccessState::Open;
  rig.hid.Detach(id);
  rig.user.registrations = {Type(u"abc")};
  EXPECT_EQ(PasswordRegistration(rig.ports, kMainWindow), kRegistrationCancelled);
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Open);
  ASSERT_EQ(rig.user.messages.size(), 1u);
  EXPECT_EQ(rig.user.messages[0].text, kRegistrationFailedMessage.text);
}

// ---------------------------------------------------------------- command sequence

TEST(AccessCommand, StatusBytesAroundKeyCodeSettings) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0xE5, "pw");
  rig.Connect();
  ASSERT_EQ(rig.Slot(0).accessState.load(), AccessState::Authenticated);
  std::vector<int> writesDuringDialog;
  rig.hooks.during = [&] { writesDuringDialog = rig.StatusWrites(id); };
  rig.user.prompts = {Type(u"pw")};
  RunKeyPadCommand(rig.ports, kCommandKeyCodeSettings, false);
  EXPECT_EQ(rig.hooks.keyCodeSettingsRuns, 1);
  EXPECT_EQ(writesDuringDialog, (std::vector<int>{0xE0, 0xE0}));  // before the prompt, editing
  EXPECT_EQ(rig.StatusWrites(id), (std::vector<int>{0xE0, 0xE0, 0xE1}));
  EXPECT_EQ(rig.user.promptOwners, std::vector<UiWindow>{kMainWindow});
  EXPECT_FALSE(rig.table.commandActive);
}

TEST(AccessCommand, KeyCodeSettingsResumesFromTheStatusReadAfterTheDialog) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x00);
  rig.Connect();
  // The dialog wrote a new buzzer volume; the resume value keeps it.
  rig.hooks.during = [&] { rig.hid.SetStatus(id, 0xC0); };
  RunKeyPadCommand(rig.ports, kCommandKeyCodeSettings, false);
  EXPECT_EQ(rig.StatusWrites(id), (std::vector<int>{0x80, 0xC1}));
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Open);
  EXPECT_EQ(rig.user.Count("prompt"), 0u);
}

TEST(AccessCommand, ReauthenticationWritesResumeAndShowsTheSoftKeyboardAgain) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x01, "pw");
  rig.Connect();
  rig.showAgain[0] = 0;
  rig.user.prompts = {Type(u"pw")};
  RunKeyPadCommand(rig.ports, kCommandAuthenticateAgain, false);
  EXPECT_EQ(rig.StatusWrites(id), std::vector<int>{0x81});
  EXPECT_EQ(rig.showAgain[0], 1);
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Authenticated);
  EXPECT_FALSE(rig.Slot(0).authDeclined);
}

TEST(AccessCommand, ReauthenticationWithoutPasswordOnlyOpens) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x60);
  rig.Connect();
  rig.Slot(0).accessState = AccessState::Locked;
  RunKeyPadCommand(rig.ports, kCommandAuthenticateAgain, false);
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Open);
  EXPECT_TRUE(rig.user.events.empty());
  EXPECT_TRUE(rig.StatusWrites(id).empty());
}

TEST(AccessCommand, CancelledPromptKeepsTheStateAndResumesAnAuthenticatedKeyPad) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0xA1, "pw");
  rig.Connect();
  ASSERT_EQ(rig.Slot(0).accessState.load(), AccessState::Authenticated);
  rig.user.prompts = {CancelIt()};
  RunKeyPadCommand(rig.ports, kCommandPasswordSetting, false);
  EXPECT_EQ(rig.StatusWrites(id), (std::vector<int>{0xA0, 0xA1}));
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Authenticated);
  EXPECT_TRUE(rig.Slot(0).authDeclined);
  EXPECT_EQ(rig.user.Count("registration"), 0u);

  // A Locked key pad gets nothing written when its prompt is cancelled.
  rig.hid.ClearRequests(id);
  rig.hid.SetStatus(id, 0x21);
  rig.Slot(0).accessState = AccessState::Locked;
  rig.user.prompts = {CancelIt()};
  RunKeyPadCommand(rig.ports, kCommandPasswordSetting, false);
  EXPECT_TRUE(rig.StatusWrites(id).empty());
}

TEST(AccessCommand, PasswordSettingOnAnOpenKeyPad) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x60);
  rig.Connect();
  rig.user.registrations = {Type(u"Abc123")};
  RunKeyPadCommand(rig.ports, kCommandPasswordSetting, false);
  EXPECT_EQ(rig.StatusWrites(id), (std::vector<int>{0xE0, 0xE1}));
  EXPECT_EQ(rig.hid.Password(id), "Abc123");
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Authenticated);
}

TEST(AccessCommand, FactoryResetCommandWritesAfterResetValue) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x70);
  rig.Connect();
  rig.user.answers = {kMessageYes};
  RunKeyPadCommand(rig.ports, kCommandFactoryReset, false);
  EXPECT_EQ(rig.StatusWrites(id), (std::vector<int>{0xF0, 0x81}));
  EXPECT_EQ(rig.RequestCount(id, kCmdResetToFactory), 1u);
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Open);

  // Declined: the resume value.
  rig.hid.SetStatus(id, 0x70);
  rig.hid.ClearRequests(id);
  rig.user.answers = {kMessageNo};
  RunKeyPadCommand(rig.ports, kCommandFactoryReset, false);
  EXPECT_EQ(rig.StatusWrites(id), (std::vector<int>{0xF0, 0xF1}));
  EXPECT_EQ(rig.RequestCount(id, kCmdResetToFactory), 0u);
}

TEST(AccessCommand, InitialiseDeclinedInACommandLocks) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0xE1, "pw");
  rig.Connect();
  rig.user.prompts = {Type(u"wrong")};
  rig.user.errorAnswers = {kErrorDialogInitialise};
  rig.user.answers = {kMessageNo};
  RunKeyPadCommand(rig.ports, kCommandKeyCodeSettings, false);
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Locked);
  EXPECT_EQ(rig.showAgain[0], 0);
  EXPECT_EQ(rig.hooks.keyCodeSettingsRuns, 0);
  EXPECT_EQ(rig.StatusWrites(id), std::vector<int>{0xE0});  // only the one before the prompt
}

TEST(AccessCommand, InitialiseDoneInACommandGoesOnWithTheFactoryStatus) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0xE1, "pw");
  rig.Connect();
  rig.user.prompts = {Type(u"wrong")};
  rig.user.errorAnswers = {kErrorDialogInitialise};
  rig.user.answers = {kMessageYes};
  RunKeyPadCommand(rig.ports, kCommandKeyCodeSettings, false);
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Open);
  EXPECT_EQ(rig.hooks.keyCodeSettingsRuns, 1);
  // Before the prompt, editing with s & 0x8F, resume from the status read after the dialog.
  EXPECT_EQ(rig.StatusWrites(id), (std::vector<int>{0xE0, 0x80, 0x81}));
}

// The user already chose to initialise in the error dialog of the reset command itself.
TEST(AccessCommand, FactoryResetCommandDoesNotResetTwice) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x01, "pw");
  rig.Connect();
  rig.user.prompts = {Type(u"wrong")};
  rig.user.errorAnswers = {kErrorDialogInitialise};
  rig.user.answers = {kMessageYes, kMessageYes};
  RunKeyPadCommand(rig.ports, kCommandFactoryReset, false);
  EXPECT_EQ(rig.RequestCount(id, kCmdResetToFactory), 1u);
  EXPECT_EQ(rig.user.messages.size(), 1u);
  EXPECT_EQ(rig.StatusWrites(id), std::vector<int>{0x81});
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Open);
  EXPECT_FALSE(rig.Slot(0).authDeclined);
}

TEST(AccessCommand, SelectionChoosesTheKeyPadOrCancels) {
  Rig rig;
  rig.Attach(0x00, "", 1);
  const EmulatedDeviceId second = rig.Attach(0x00, "", 2);
  rig.Connect();
  rig.user.selectSlot = -1;
  RunKeyPadCommand(rig.ports, kCommandKeyCodeSettings, false);
  EXPECT_EQ(rig.hooks.keyCodeSettingsRuns, 0);
  EXPECT_FALSE(rig.table.commandActive);

  rig.user.selectSlot = 1;
  RunKeyPadCommand(rig.ports, kCommandKeyCodeSettings, false);
  EXPECT_EQ(rig.StatusWrites(second), (std::vector<int>{0x80, 0x81}));

  // Preset: no selection dialog. (The emulated key pad keeps a written bit 0 as "password set";
  // start it again without one.)
  rig.hid.SetStatus(second, 0x00);
  rig.user.events.clear();
  rig.table.selectedKeyPad = 1;
  RunKeyPadCommand(rig.ports, kCommandKeyCodeSettings, true);
  EXPECT_EQ(rig.user.Count("selection"), 0u);
  EXPECT_EQ(rig.hooks.keyCodeSettingsRuns, 2);
}

// A status byte that cannot be read is not taken for "no password" (which would open the key
// pad and write 0x80 / 0x81 over its buzzer and interface bits).
TEST(AccessCommand, UnreadableStatusStopsWithoutWriting) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x61, "pw");
  rig.Connect();
  rig.Slot(0).accessState = AccessState::Authenticated;
  KeyPadFaults faults;
  faults.nextReplyBody = std::vector<std::uint8_t>{kCmdReadDeviceInfo, 0x00};
  rig.hid.SetFaults(id, faults);
  RunKeyPadCommand(rig.ports, kCommandKeyCodeSettings, false);
  EXPECT_TRUE(rig.StatusWrites(id).empty());
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Authenticated);
  EXPECT_EQ(rig.user.MessageTitles(), std::vector<std::u16string>{u"通信エラー"});
  EXPECT_EQ(rig.user.Count("prompt"), 0u);
  EXPECT_EQ(rig.hid.Status(id), 0x61);

  // The read after the key-code dialog fails: no resume value built on a guess.
  rig.user.messages.clear();
  rig.hooks.during = [&] {
    KeyPadFaults again;
    again.nextReplyBody = std::vector<std::uint8_t>{kCmdReadDeviceInfo, 0x00};
    rig.hid.SetFaults(id, again);
  };
  rig.hid.ClearRequests(id);
  rig.user.prompts = {Type(u"pw")};
  RunKeyPadCommand(rig.ports, kCommandKeyCodeSettings, false);
  EXPECT_EQ(rig.StatusWrites(id), std::vector<int>{0xE0});
  EXPECT_EQ(rig.user.MessageTitles(), std::vector<std::u16string>{u"通信エラー"});
}

// A reset the key pad did not carry out is not reported as done.
TEST(AccessCommand, UnansweredResetKeepsTheAccessState) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x01, "pw");
  rig.Connect();
  ASSERT_TRUE(rig.Slot(0).authDeclined);
  rig.user.prompts = {Type(u"wrong")};
  rig.user.errorAnswers = {kErrorDialogInitialise};
  rig.user.answers = {kMessageYes};
  KeyPadFaults faults;
  faults.vanishAfterRequests = 3;  // status read, verify, empty password; then gone
  rig.hid.SetFaults(id, faults);
  RunKeyPadCommand(rig.ports, kCommandKeyCodeSettings, false);
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Locked);
  EXPECT_TRUE(rig.Slot(0).authDeclined);
  EXPECT_EQ(rig.showAgain[0], 1);
  EXPECT_EQ(rig.hooks.keyCodeSettingsRuns, 0);
  ASSERT_EQ(rig.user.messages.size(), 2u);
  EXPECT_EQ(rig.user.messages[1].text, kResetFailedMessage.text);
  EXPECT_FALSE(rig.hid.IsAttached(id));
}

TEST(AccessCommand, VanishedKeyPadEndsTheCommandWithoutWrites) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x01, "pw");
  rig.Connect();
  rig.table.keyPadPresent = false;
  RunKeyPadCommand(rig.ports, kCommandKeyCodeSettings, false);
  EXPECT_TRUE(rig.user.events.empty());
  EXPECT_TRUE(rig.hid.Requests(id).empty());

  // Gone while the prompt was open: the presence check cleared keyPadPresent meanwhile.
  rig.table.keyPadPresent = true;
  rig.user.onPrompt = [&] { rig.table.keyPadPresent = false; };
  rig.user.prompts = {Type(u"pw")};
  RunKeyPadCommand(rig.ports, kCommandKeyCodeSettings, false);
  EXPECT_EQ(rig.user.Count("prompt"), 1u);
  EXPECT_EQ(rig.hooks.keyCodeSettingsRuns, 0);
  EXPECT_TRUE(rig.StatusWrites(id).empty());
  EXPECT_FALSE(rig.table.commandActive);
}

// ---------------------------------------------------------------- lock

TEST(AccessLock, OnlyKeyPadsWithPasswordAreLocked) {
  Rig rig;
  const EmulatedDeviceId open = rig.Attach(0x40, "", 1);
  const EmulatedDeviceId guarded = rig.Attach(0xA1, "pw", 2);
  rig.Connect();
  rig.Slot(1).softKeyAuthenticated = kSoftKeyAuthenticated;
  rig.user.answers = {kMessageYes};
  LockKeyPads(rig.ports);
  ASSERT_EQ(rig.user.messages.size(), 1u);
  EXPECT_EQ(rig.user.messages[0].text, kLockAllConfirmationMessage.text);
  EXPECT_TRUE(rig.StatusWrites(open).empty());
  EXPECT_EQ(rig.RequestCount(open, kCmdVerifyPassword), 0u);
  EXPECT_EQ(rig.StatusWrites(guarded), std::vector<int>{0xA0});
  EXPECT_EQ(rig.RequestCount(guarded, kCmdVerifyPassword), 1u);
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Open);
  EXPECT_EQ(rig.Slot(1).accessState.load(), AccessState::Locked);
  EXPECT_TRUE(rig.Slot(1).authDeclined);
  EXPECT_EQ(rig.Slot(1).softKeyAuthenticated.load(), kSoftKeyNotAuthenticated);
  EXPECT_EQ(rig.showAgain[0], 1);
  EXPECT_EQ(rig.showAgain[1], 0);
}

TEST(AccessLock, SingleKeyPadTextAndNoMeansNothing) {
  Rig rig;
  const EmulatedDeviceId id = rig.Attach(0x81, "pw");
  rig.Connect();
  rig.user.answers = {kMessageNo};
  LockKeyPads(rig.ports);
  EXPECT_EQ(rig.user.messages.at(0).text, kLockOneConfirmationMessage.text);
  EXPECT_TRUE(rig.hid.Requests(id).empty());
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Authenticated);
}

// ---------------------------------------------------------------- Brava key pads

TEST(AccessBrava, SilentKeyPadStopsEveryOperationUnchanged) {
  Rig rig;
  const EmulatedDeviceId id = rig.AttachBrava(0x81, "pw");
  rig.Connect();
  ASSERT_EQ(rig.Slot(0).modelIdentity, kModelB4B4074F);
  ASSERT_EQ(rig.Slot(0).accessState.load(), AccessState::Authenticated);
  KeyPadFaults faults;
  faults.silent = true;
  rig.hid.SetFaults(id, faults);
  rig.table.selectedKeyPad = 0;

  rig.user.prompts = {Type(u"pw")};
  EXPECT_EQ(PasswordPrompt(rig.ports, kMainWindow), kPromptCancelled);
  rig.user.registrations = {Type(u"new1")};
  EXPECT_EQ(PasswordRegistration(rig.ports, kMainWindow), kRegistrationCancelled);
  rig.user.answers = {kMessageYes};
  EXPECT_FALSE(FactoryResetKeyPad(rig.ports, kMainWindow));
  RunKeyPadCommand(rig.ports, kCommandKeyCodeSettings, false);
  rig.user.answers = {kMessageYes};
  LockKeyPads(rig.ports);

  const std::vector<std::u16string_view> texts = {
      kBravaCannotAuthenticateMessage.text, kBravaCannotSetMessage.text,
      kResetConfirmationMessage.text,       kBravaCannotCommunicateMessage.text,
      kBravaCannotCommunicateMessage.text,  kLockOneConfirmationMessage.text,
      kBravaCannotLockMessage.text};
  ASSERT_EQ(rig.user.messages.size(), texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i)
    EXPECT_EQ(rig.user.messages[i].text, texts[i]) << i;
  EXPECT_EQ(rig.user.messages[6].title, u"Brava未接続エラー");
  for (const ReceivedRequest& r : rig.hid.Requests(id)) EXPECT_EQ(r.command, kCmdPingLink);
  EXPECT_EQ(rig.Slot(0).accessState.load(), AccessState::Authenticated);
  EXPECT_FALSE(rig.Slot(0).authDeclined);
  EXPECT_EQ(rig.hid.Password(id), "pw");
  EXPECT_EQ(rig.hooks.keyCodeSettingsRuns, 0);
}

// ---------------------------------------------------------------- menu dialogs

TEST(AccessMenus, TrayMenuTouchCheckBox) {
  Rig rig;
  rig.Attach(0x00, "", 5, 0x1225);
  rig.Connect();
  rig.touchEnabled = 1;
  const ShellMenuPlan plan = OpenTrayMenuDialog(rig.ports);
  EXPECT_TRUE(plan.touchPresent);
  EXPECT_TRUE(plan.touchChecked);

  ToggleTouchFromTrayMenu(rig.ports, false);
  EXPECT_EQ(rig.touchEnabled.load(), 0u);
  ASSERT_EQ(rig.hooks.visibility.size(), 16u);
  EXPECT_EQ(rig.hooks.visibility[15], (std::pair<int, bool>{15, false}));
  std::uint32_t stored = 7;
  ASSERT_TRUE(ReadTouchSetting(rig.settings, stored));
  EXPECT_EQ(stored, 0u);

  ToggleTouchFromTrayMenu(rig.ports, true);
  EXPECT_EQ(rig.touchEnabled.load(), 1u);
  EXPECT_EQ(rig.hooks.visibility[16], (std::pair<int, bool>{0, true}));
  ASSERT_TRUE(ReadTouchSetting(rig.settings, stored));
  EXPECT_EQ(stored, 1u);

  EXPECT_TRUE(TrayMenuDialogEndsWith(1021));
  EXPECT_FALSE(TrayMenuDialogEndsWith(kTrayDialogTouch));
}

TEST(AccessMenus, SoftKeyMenuFollowsItsOwner) {
  KeyPadTable table;
  table.keyPadCount = 2;
  table.slots[1].accessState = AccessState::Authenticated;
  table.slots[1].settingsLocked = true;
  auto windows = [](int slot) -> UiWindow { return slot == 1 ? 0x51 : 0; };
  SoftKeyMenuPlan plan = OpenSoftKeyMenu(table, 0x77, windows);
  EXPECT_FALSE(plan.forKeyPad);
  EXPECT_EQ(table.menuKeyPad.load(), kNoKeyPad);

  plan = OpenSoftKeyMenu(table, 0x51, windows);
  EXPECT_TRUE(plan.forKeyPad);
  EXPECT_TRUE(plan.settingsLocked);
  EXPECT_TRUE(plan.lockEnabled);
  EXPECT_EQ(SoftKeyMenuCommand(table, 1, false), 1);
  EXPECT_FALSE(table.slots[1].settingsLocked);
  EXPECT_EQ(SoftKeyMenuCommand(table, kSoftKeyMenuPassword, true), kSoftKeyMenuPassword);
  EXPECT_FALSE(table.slots[1].settingsLocked);  // only OK stores the check box
  EXPECT_EQ(SoftKeyMenuCommand(table, kSoftKeyMenuSettingsLocked, true), 0);
  // An owner that matches no slot keeps the last one.
  EXPECT_TRUE(OpenSoftKeyMenu(table, 0x77, windows).forKeyPad);
}

}  // namespace
}  // namespace qv
