// Connecting key pads to the slots of the key pad table, rescans that carry access states, and
// the presence check, all over the emulated HID bus.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "access/key_pad_connection.h"
#include "access/key_pad_table.h"
#include "access/monitor_decisions.h"
#include "device/device_commands.h"
#include "emulator/emulated_hid_system.h"

namespace qv {
namespace {

class FakeSoftKeyboards : public SoftKeyboardHost {
 public:
  bool SoftKeyboardThreadExists(int slot) override { return running.count(slot) != 0; }
  bool SoftKeyboardWindowExists(int slot) override { return running.count(slot) != 0; }
  void StartSoftKeyboardThread(int slot, SoftKeyLayout layout) override {
    running.insert(slot);
    started.push_back(slot);
    layouts.push_back(layout);
  }
  void CloseSoftKeyboardThread(int slot) override {
    if (onClose) onClose(slot);
    running.erase(slot);
    closed.push_back(slot);
  }
  std::function<void(int)> onClose;  // what the main thread handles while a keyboard closes
  void CreateFolder(std::u16string_view path) override { folders.emplace_back(path); }
  void LoadSoftKeyAssets(int slot) override { assetsLoaded.push_back(slot); }

  std::set<int> running;
  std::vector<int> started, closed, assetsLoaded;
  std::vector<SoftKeyLayout> layouts;
  std::vector<std::u16string> folders;
};

class ScriptedPrompts : public ConnectionPromptPort {
 public:
  int PasswordPrompt(int slot) override {
    promptedSlots.push_back(slot);
    if (onPrompt) onPrompt(slot);
    if (results.empty()) return kPromptCancelled;
    int result = results.front();
    results.erase(results.begin());
    return result;
  }
  bool FactoryResetKeyPad(int slot) override {
    resetSlots.push_back(slot);
    if (resetAnswers.empty()) return false;
    bool answer = resetAnswers.front();
    resetAnswers.erase(resetAnswers.begin());
    return answer;
  }

  std::vector<int> results;
  std::vector<bool> resetAnswers;
  std::function<void(int)> onPrompt;
  std::vector<int> promptedSlots, resetSlots;
};

class RecordingPresenceUi : public PresenceCheckUi {
 public:
  void ShowForcedCloseMessage() override {
    calls.push_back("message");
    if (whileShown) whileShown();
  }
  void CloseOwnedWindows() override { calls.push_back("close"); }
  std::vector<std::string> calls;
  std::function<void()> whileShown;  // what the message box's own loop runs meanwhile
};

struct Rig {
  EmulatedHidSystem hid{EmulatedHidSystem::ClockMode::kVirtual};
  DeviceContext context{hid};
  DeviceKeyCodeCache cache;
  FakeSoftKeyboards softKeyboards;
  ScriptedPrompts prompts;
  RecordingPresenceUi presenceUi;
  ConnectionPorts ports{context, cache, softKeyboards, prompts, presenceUi, u"D:\\softkey\\"};
  KeyPadTable table;

  ~Rig() {
    for (KeyPadSlot& slot : table.slots) CloseLink(context, slot.link);
  }

  EmulatedDeviceId Attach(std::uint16_t productId, std::uint32_t serial, std::uint8_t status = 0,
                          std::uint16_t version = 0x0100) {
    EmulatedKeyPad keyPadSpec;
    keyPadSpec.productId = productId;
    keyPadSpec.version = version;
    keyPadSpec.serial = serial;
    keyPadSpec.status = status;
    return hid.AttachKeyPad(keyPadSpec);
  }
  EmulatedDeviceId AttachBle(std::uint16_t productId, std::uint32_t serial, std::uint8_t status) {
    EmulatedKeyPad keyPadSpec;
    keyPadSpec.productId = productId;
    keyPadSpec.version = 0;
    keyPadSpec.bluetooth = true;
    keyPadSpec.serial = serial;
    keyPadSpec.status = status;
    return hid.AttachKeyPad(keyPadSpec);
  }
  AccessState State(int slot) { return table.slots[slot].accessState.load(); }
  bool Declined(int slot) { return table.slots[slot].authDeclined.load(); }
};

TEST(AccessConnection, SlotsFollowProductOrderThenEnumerationOrder) {
  Rig rig;
  rig.Attach(kProduct1225, 11);
  rig.Attach(kProduct074F, 22, 0, 0xA100);
  rig.Attach(kProduct1225, 33);
  RescanKeyPads(rig.table, rig.ports);

  ASSERT_EQ(rig.table.keyPadCount.load(), 3);
  EXPECT_EQ(rig.table.slots[0].modelIdentity, kModelA100074F);
  EXPECT_EQ(rig.table.slots[0].serialNumber, 22u);
  EXPECT_EQ(rig.table.slots[1].modelIdentity, kModel01001225);
  EXPECT_EQ(rig.table.slots[1].serialNumber, 11u);
  EXPECT_EQ(rig.table.slots[2].serialNumber, 33u);
  // All three are soft-keyboard models: folder, assets and thread for each, in slot order.
  EXPECT_EQ(rig.softKeyboards.started, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(rig.softKeyboards.assetsLoaded, (std::vector<int>{0, 1, 2}));
  ASSERT_EQ(rig.softKeyboards.folders.size(), 3u);
  EXPECT_EQ(rig.softKeyboards.folders[0], u"D:\\softkey\\074f000022");
  EXPECT_EQ(rig.softKeyboards.folders[1], u"D:\\softkey\\1225000011");
  EXPECT_TRUE(rig.table.slots[1].settingsLocked.load());
  // The soft keyboard reads its keys from the cache, filled before its thread starts.
  EXPECT_EQ(rig.cache.slots[1][0].bytes, KeyPadFirmware::DefaultKeyCode(1).bytes);
}

TEST(AccessConnection, RescanClosesEachSoftKeyboardWhileMarkedRunningAndBeforeItsLink) {
  Rig rig;
  rig.Attach(kProduct1224, 1);
  RescanKeyPads(rig.table, rig.ports);
  ASSERT_EQ(rig.softKeyboards.running.count(0), 1u);
  std::vector<bool> runningWhileClosing;
  std::vector<bool> linkOpenWhileClosing;
  rig.softKeyboards.onClose = [&](int slot) {
    runningWhileClosing.push_back(rig.table.rescanRunning);
    // A closing keyboard may still finish an exchange on its key pad's link.
    linkOpenWhileClosing.push_back(rig.table.slots[slot].link.handle != kInvalidHidHandle);
  };
  RescanKeyPads(rig.table, rig.ports);
  EXPECT_EQ(runningWhileClosing, std::vector<bool>{true});
  EXPECT_EQ(linkOpenWhileClosing, std::vector<bool>{true});
  EXPECT_FALSE(rig.table.rescanRunning);
}

TEST(AccessConnection, PromptIsShownOnceAndCancelKeepsItAwayOnLaterRescans) {
  Rig rig;
  rig.Attach(kProduct1227, 1, 0x40);  // no password, small buzzer
  rig.Attach(kProduct1227, 2, 0x21);  // password set, not authenticated
  rig.Attach(kProduct1227, 3, kStatusAuthenticated | kStatusPasswordSet);
  rig.table.selectedKeyPad = 7;
  rig.prompts.results = {kPromptCancelled};
  bool commandActiveDuringPrompt = false;
  bool modalDuringPrompt = false;
  int selectedDuringPrompt = -1;
  rig.prompts.onPrompt = [&](int) {
    commandActiveDuringPrompt = rig.table.commandActive;
    modalDuringPrompt = rig.table.modalActive;
    selectedDuringPrompt = rig.table.selectedKeyPad;
  };
  RescanKeyPads(rig.table, rig.ports);

  EXPECT_EQ(rig.prompts.promptedSlots, std::vector<int>{1});
  EXPECT_TRUE(commandActiveDuringPrompt);
  EXPECT_TRUE(modalDuringPrompt);
  EXPECT_EQ(selectedDuringPrompt, 1);
  EXPECT_FALSE(rig.table.commandActive.load());
  EXPECT_FALSE(rig.table.modalActive.load());
  EXPECT_EQ(rig.table.selectedKeyPad.load(), 7);
  EXPECT_EQ(rig.State(0), AccessState::Open);
  EXPECT_EQ(rig.State(1), AccessState::Locked);
  EXPECT_TRUE(rig.Declined(1));
  EXPECT_EQ(rig.State(2), AccessState::Authenticated);

  RescanKeyPads(rig.table, rig.ports);
  RescanKeyPads(rig.table, rig.ports);
  EXPECT_EQ(rig.prompts.promptedSlots.size(), 1u);
  EXPECT_TRUE(rig.Declined(1));
}

TEST(AccessConnection, AcceptedPromptWritesTheResumeValueAndDeclinedResetPromptsAgain) {
  Rig rig;
  rig.Attach(kProduct1227, 1, 0x01);
  EmulatedDeviceId second = rig.Attach(kProduct1227, 2, 0x21);
  rig.prompts.results = {kPromptInitialise, kPromptInitialise, kPromptAccepted};
  rig.prompts.resetAnswers = {false, true};
  RescanKeyPads(rig.table, rig.ports);
  EXPECT_EQ(rig.prompts.promptedSlots, (std::vector<int>{0, 0, 1}));
  EXPECT_EQ(rig.prompts.resetSlots, (std::vector<int>{0, 0}));
  EXPECT_EQ(rig.State(0), AccessState::Open);
  EXPECT_EQ(rig.hid.LastStatusWrite(second), ResumeStatusValue(0x21));
}

TEST(AccessConnection, RemovedKeyPadLetsTheOthersKeepTheirStatesAndANewOneStartsLocked) {
  Rig rig;
  // Password set, not authenticated: the table's state is what the program knows.
  EmulatedDeviceId a = rig.Attach(kProduct1227, 100, 0x01);
  rig.Attach(kProduct1227, 200, 0x01);
  rig.Attach(kProduct1227, 300, 0x01);
  rig.prompts.results = {kPromptCancelled, kPromptCancelled, kPromptCancelled};
  RescanKeyPads(rig.table, rig.ports);
  rig.table.slots[1].accessState = AccessState::Authenticated;
  rig.table.slots[1].settingsLocked = false;
  rig.table.slots[2].accessState = AccessState::Locked;

  rig.hid.Detach(a);
  RescanKeyPads(rig.table, rig.ports);
  ASSERT_EQ(rig.table.keyPadCount.load(), 2);
  EXPECT_EQ(rig.table.slots[0].serialNumber, 200u);
  EXPECT_EQ(rig.State(0), AccessState::Authenticated);
  EXPECT_FALSE(rig.table.slots[0].settingsLocked.load());
  EXPECT_EQ(rig.table.slots[1].serialNumber, 300u);
  EXPECT_EQ(rig.State(1), AccessState::Locked);
  EXPECT_TRUE(rig.Declined(1));
  EXPECT_EQ(rig.prompts.promptedSlots.size(), 3u);

  // A new key pad: prompted (authDeclined clear); a prompt ended without an answer leaves the
  // fresh state.
  rig.Attach(kProduct1227, 400, 0x01);
  rig.prompts.results = {0};
  RescanKeyPads(rig.table, rig.ports);
  ASSERT_EQ(rig.table.keyPadCount.load(), 3);
  EXPECT_EQ(rig.table.slots[2].serialNumber, 400u);
  EXPECT_EQ(rig.prompts.promptedSlots.back(), 2);
  EXPECT_EQ(rig.State(2), AccessState::Locked);
  EXPECT_FALSE(rig.Declined(2));
  EXPECT_EQ(rig.State(0), AccessState::Authenticated);
}

TEST(AccessConnection, KeyPadAppearingFirstInSlotOrderDoesNotMixStates) {
  Rig rig;
  rig.Attach(kProduct1227, 10, 0x01);
  rig.Attach(kProduct1227, 20, 0x01);
  rig.prompts.results = {kPromptCancelled, kPromptCancelled};
  RescanKeyPads(rig.table, rig.ports);
  rig.table.slots[0].accessState = AccessState::Authenticated;
  rig.table.slots[1].accessState = AccessState::Locked;

  // A smaller product id takes slot 0 and pushes both one slot on.
  rig.Attach(kProduct074F, 5, 0x00, 0xA100);
  RescanKeyPads(rig.table, rig.ports);
  ASSERT_EQ(rig.table.keyPadCount.load(), 3);
  EXPECT_EQ(rig.State(0), AccessState::Open);
  EXPECT_EQ(rig.table.slots[1].serialNumber, 10u);
  EXPECT_EQ(rig.State(1), AccessState::Authenticated);
  EXPECT_EQ(rig.table.slots[2].serialNumber, 20u);
  EXPECT_EQ(rig.State(2), AccessState::Locked);
  EXPECT_TRUE(rig.Declined(2));
}

TEST(AccessConnection, SwappedKeyPadDoesNotInheritTheStateOfTheOneThatLeft) {
  Rig rig;
  EmulatedDeviceId a = rig.Attach(kProduct1227, 10, 0x01);
  rig.prompts.results = {kPromptCancelled};
  RescanKeyPads(rig.table, rig.ports);
  rig.table.slots[0].accessState = AccessState::Authenticated;

  // Same count before and after.
  rig.hid.Detach(a);
  rig.Attach(kProduct1227, 99, 0x01);
  rig.prompts.results = {0};
  RescanKeyPads(rig.table, rig.ports);
  EXPECT_EQ(rig.table.slots[0].serialNumber, 99u);
  EXPECT_EQ(rig.State(0), AccessState::Locked);
  EXPECT_FALSE(rig.Declined(0));
  EXPECT_EQ(rig.prompts.promptedSlots.size(), 2u);
}

TEST(AccessConnection, BravaKeyPadsAndTheirSoftKeyboards) {
  Rig rig;
  // Both have a password, so the prompt runs between the identity read and the soft keyboard
  // test; the prompt hook makes them fall silent there.
  EmulatedDeviceId b4 = rig.AttachBle(kProduct074F, 7, 0x01);
  EmulatedDeviceId b5 = rig.AttachBle(kProduct0777, 8, 0x01);
  rig.prompts.results = {0, 0};
  rig.prompts.onPrompt = [&](int slot) {
    KeyPadFaults faults;
    faults.silent = true;
    rig.hid.SetFaults(slot == 0 ? b4 : b5, faults);
  };
  RescanKeyPads(rig.table, rig.ports);
  ASSERT_EQ(rig.table.slots[0].modelIdentity, kModelB4B4074F);
  ASSERT_EQ(rig.table.slots[1].modelIdentity, kModelB5B50777);
  EXPECT_EQ(rig.softKeyboards.started, std::vector<int>{1});
  EXPECT_EQ(rig.softKeyboards.layouts, std::vector<SoftKeyLayout>{SoftKeyLayout::kAlternative});
  EXPECT_EQ(ProbeKeyPad(rig.table, rig.context, 0), 0);
  EXPECT_EQ(ProbeKeyPad(rig.table, rig.context, 1), 0);
  std::uint8_t status = 0x55;
  EXPECT_FALSE(ReadKeyPadStatus(rig.table, rig.context, 0, status));
  EXPECT_EQ(status, 0x55);  // an unanswered read leaves the caller's value alone

  rig.hid.SetFaults(b4, KeyPadFaults{});
  EXPECT_EQ(ProbeKeyPad(rig.table, rig.context, 0), 1);
  EXPECT_TRUE(HasSoftKeyboard(rig.table, rig.context, 0));
  EXPECT_TRUE(ReadKeyPadStatus(rig.table, rig.context, 0, status));
  EXPECT_EQ(status, 0x01);
}

TEST(AccessConnection, KeyPadFolderNames) {
  KeyPadTable table;
  table.slots[3].modelIdentity = kModel0100130D;
  table.slots[3].serialNumber = 7;
  char16_t folder[kPathChars];
  ASSERT_TRUE(KeyPadFolder(table, u"C:\\data\\softkey\\", 3, folder));
  EXPECT_EQ(BoundedView(folder), u"C:\\data\\softkey\\130d000007");
  // A path that does not fit names no folder at all, and neither does a slot out of range.
  EXPECT_FALSE(KeyPadFolder(table, std::u16string(252, u'x'), 3, folder));
  EXPECT_EQ(folder[0], 0);
  EXPECT_FALSE(KeyPadFolder(table, u"C:\\", 16, folder));
}

TEST(AccessPresence, FindsTheSelectedKeyPadOrClosesTheWindows) {
  Rig rig;
  rig.Attach(kProduct1227, 1);
  EmulatedDeviceId second = rig.Attach(kProduct1227, 2);
  rig.Attach(kProduct1227, 3);
  RescanKeyPads(rig.table, rig.ports);

  // No command: nothing to check.
  rig.hid.Detach(second);
  EXPECT_TRUE(VerifySelectedKeyPad(rig.table, rig.ports));

  rig.table.commandActive = true;
  rig.table.selectedKeyPad = 2;
  RunPresenceCheck(rig.table, rig.ports);
  EXPECT_TRUE(rig.table.keyPadPresent.load());
  EXPECT_TRUE(rig.presenceUi.calls.empty());

  rig.table.selectedKeyPad = 1;
  RunPresenceCheck(rig.table, rig.ports);
  EXPECT_FALSE(rig.table.keyPadPresent.load());
  EXPECT_EQ(rig.presenceUi.calls, (std::vector<std::string>{"message", "close"}));

  // Once the command is over the next check clears the flag again.
  rig.table.commandActive = false;
  RunPresenceCheck(rig.table, rig.ports);
  EXPECT_TRUE(rig.table.keyPadPresent.load());
}

// The key pad is found by model and serial number together, and a search that missed it while
// the key pads were changing is made again.
TEST(AccessPresence, MatchesModelAndSerialAndSearchesAgainAfterTheCountChanged) {
  Rig rig;
  rig.Attach(kProduct1224, 5);
  const EmulatedDeviceId wanted = rig.Attach(kProduct1227, 5);
  RescanKeyPads(rig.table, rig.ports);
  ASSERT_EQ(rig.table.slots[1].modelIdentity & 0xFFFF, kProduct1227);
  rig.table.commandActive = true;
  rig.table.commandKeyPad = 1;
  rig.hid.Detach(wanted);
  EXPECT_FALSE(VerifySelectedKeyPad(rig.table, rig.ports));  // the other one has serial 5 too

  Rig again;
  const EmulatedDeviceId leaving = again.Attach(kProduct1224, 1);
  const EmulatedDeviceId found = again.Attach(kProduct1227, 2);
  RescanKeyPads(again.table, again.ports);
  again.table.commandActive = true;
  again.table.commandKeyPad = 1;
  // The first search: the first key pad goes away when it is asked, the wanted one answers
  // garbage; the count has changed since the search began.
  KeyPadFaults goes;
  goes.vanishAfterRequests = 0;
  again.hid.SetFaults(leaving, goes);
  KeyPadFaults garbled;
  garbled.nextReplyBody = std::vector<std::uint8_t>{kCmdReadDeviceInfo, 0x00};
  again.hid.SetFaults(found, garbled);
  EXPECT_TRUE(VerifySelectedKeyPad(again.table, again.ports));
  EXPECT_TRUE(again.presenceUi.calls.empty());
}

// The forced close message box runs the timers in its own loop: a second check from there does
// not stack a second box on the first.
TEST(AccessPresence, OneCheckAtATime) {
  Rig rig;
  const EmulatedDeviceId pad = rig.Attach(kProduct1224, 1);
  RescanKeyPads(rig.table, rig.ports);
  rig.table.commandActive = true;
  rig.table.commandKeyPad = 0;
  rig.hid.Detach(pad);
  rig.presenceUi.whileShown = [&] { RunPresenceCheck(rig.table, rig.ports); };
  RunPresenceCheck(rig.table, rig.ports);
  EXPECT_EQ(rig.presenceUi.calls, (std::vector<std::string>{"message", "close"}));
  EXPECT_FALSE(rig.table.keyPadPresent);
  EXPECT_FALSE(rig.table.presenceCheckRunning);
}

// Each key pad takes its own state along: matched by model and serial number together, and each
// old state is claimed by one key pad only, even where two key pads tell the same identity.
TEST(AccessConnection, CarriedStatesFollowModelAndSerialAndAreClaimedOnce) {
  Rig rig;
  const EmulatedDeviceId sameSerial = rig.Attach(kProduct1224, 9, 0x01);
  rig.Attach(kProduct1227, 9, 0x01);
  rig.Attach(kProduct1227, 4, 0x01);
  rig.Attach(kProduct1227, 4, 0x01);
  RescanKeyPads(rig.table, rig.ports);  // every prompt cancelled: all Locked and declined
  rig.table.slots[1].accessState = AccessState::Authenticated;  // the 0x1227 with serial 9
  rig.table.slots[2].accessState = AccessState::Authenticated;  // one of the two twins
  rig.hid.Detach(sameSerial);
  RescanKeyPads(rig.table, rig.ports);
  ASSERT_EQ(rig.table.keyPadCount.load(), 3);
  EXPECT_EQ(rig.table.slots[0].serialNumber, 9u);
  EXPECT_EQ(rig.State(0), AccessState::Authenticated);
  EXPECT_EQ(rig.State(1), AccessState::Authenticated);
  EXPECT_EQ(rig.State(2), AccessState::Locked);
  EXPECT_EQ(rig.prompts.promptedSlots.size(), 4u);  // declined: no prompt on the rescan
}

// Bit 7 alone (authenticated, no password) connects as Open: no password wins.
TEST(AccessConnection, AuthenticatedBitWithoutPasswordConnectsOpen) {
  Rig rig;
  rig.Attach(kProduct1224, 1, 0x80);
  rig.Attach(kProduct1224, 2, 0x81);
  RescanKeyPads(rig.table, rig.ports);
  EXPECT_EQ(rig.State(0), AccessState::Open);
  EXPECT_EQ(rig.State(1), AccessState::Authenticated);
  EXPECT_TRUE(rig.prompts.promptedSlots.empty());
}

TEST(AccessPresence, VanishedKeyPadDuringThePromptStopsTheScan) {
  Rig rig;
  EmulatedDeviceId first = rig.Attach(kProduct1224, 1, 0x01);
  rig.Attach(kProduct1224, 2);
  rig.prompts.results = {kPromptAccepted};
  rig.prompts.onPrompt = [&](int) {
    // The prompt's modal loop runs the timers: the rescan waits, the presence check runs.
    EXPECT_EQ(DecideMonitorTimer(kRescanTimerId, rig.table), MonitorTimerAction::kKeepArmed);
    rig.hid.Detach(first);
    RunPresenceCheck(rig.table, rig.ports);
  };
  RescanKeyPads(rig.table, rig.ports);
  EXPECT_FALSE(rig.table.keyPadPresent.load());
  EXPECT_FALSE(rig.table.commandActive.load());
  EXPECT_EQ(rig.presenceUi.calls.size(), 2u);
  // Neither slot got a soft keyboard: the scan stopped at slot 0.
  EXPECT_TRUE(rig.softKeyboards.started.empty());
  EXPECT_EQ(rig.table.slots[1].modelIdentity, 0u);
}

TEST(AccessPresence, FlagAlreadyFalseStopsTheScanAtTheFirstKeyPad) {
  Rig rig;
  rig.Attach(kProduct1224, 1);
  rig.Attach(kProduct1224, 2);
  rig.softKeyboards.running = {1, 15};
  rig.table.keyPadPresent = false;
  RescanKeyPads(rig.table, rig.ports);
  EXPECT_EQ(rig.table.slots[0].serialNumber, 1u);
  EXPECT_TRUE(rig.softKeyboards.started.empty());
  EXPECT_EQ(rig.softKeyboards.closed, (std::vector<int>{1, 15}));
}

TEST(AccessPresence, RescanThatWaitedForACommandReconnectsEveryKeyPad) {
  Rig rig;
  rig.Attach(kProduct1224, 1);
  EmulatedDeviceId second = rig.Attach(kProduct1224, 2);
  rig.Attach(kProduct1224, 3);
  RescanKeyPads(rig.table, rig.ports);
  rig.softKeyboards.started.clear();

  // The command's key pad goes away: the presence check ends the command, the rescan waited.
  rig.table.commandActive = true;
  rig.table.selectedKeyPad = 1;
  rig.hid.Detach(second);
  EXPECT_EQ(DecideMonitorTimer(kRescanTimerId, rig.table), MonitorTimerAction::kKeepArmed);
  RunPresenceCheck(rig.table, rig.ports);
  EXPECT_FALSE(rig.table.keyPadPresent.load());
  rig.table.commandActive = false;

  // The first tick after the command: both remaining key pads get their soft keyboards back.
  ASSERT_EQ(DecideMonitorTimer(kRescanTimerId, rig.table), MonitorTimerAction::kKillAndRescan);
  RunRescanTick(rig.table, rig.ports);
  EXPECT_TRUE(rig.table.keyPadPresent.load());
  EXPECT_EQ(rig.table.keyPadCount.load(), 2);
  EXPECT_EQ(rig.table.slots[1].serialNumber, 3u);
  EXPECT_EQ(rig.softKeyboards.started, (std::vector<int>{0, 1}));
}

// Handles the slots' links hold: the command handle, and the read handle of a framed key pad.
std::size_t SlotHandles(const KeyPadTable& table) {
  std::size_t open = 0;
  for (const KeyPadSlot& slot : table.slots)
    open += (slot.link.handle != kInvalidHidHandle) + (slot.link.readHandle != kInvalidHidHandle);
  return open;
}

TEST(AccessPresence, ScansAndPresenceChecksLeaveOnlyTheSlotsLinksOpen) {
  Rig rig;
  rig.Attach(kProduct1224, 1);
  rig.AttachBle(kProduct074F, 2, 0x00);
  rig.hid.AttachForeignDevice(ForeignDeviceSpec{});
  EmulatedKeyPad held;
  held.productId = kProduct1224;
  held.exclusive = true;
  rig.hid.AttachKeyPad(held);
  EmulatedDeviceId third = rig.Attach(kProduct1227, 3);

  RescanKeyPads(rig.table, rig.ports);
  ASSERT_EQ(rig.table.keyPadCount.load(), 3);
  ASSERT_EQ(SlotHandles(rig.table), 4u);  // two USB links and one framed link with its reader
  EXPECT_EQ(rig.hid.OpenHandleCount(), 4u);

  // The presence check opens every key pad once more for its identity, found or not.
  rig.table.commandActive = true;
  rig.table.selectedKeyPad = 2;
  EXPECT_TRUE(VerifySelectedKeyPad(rig.table, rig.ports));
  EXPECT_EQ(rig.hid.OpenHandleCount(), 4u);
  rig.hid.Detach(third);
  EXPECT_FALSE(VerifySelectedKeyPad(rig.table, rig.ports));
  EXPECT_EQ(rig.hid.OpenHandleCount(), 4u);  // the gone key pad's slot still holds its link

  rig.table.commandActive = false;
  RescanKeyPads(rig.table, rig.ports);
  EXPECT_EQ(rig.table.keyPadCount.load(), 2);
  EXPECT_EQ(SlotHandles(rig.table), 3u);
  EXPECT_EQ(rig.hid.OpenHandleCount(), 3u);
  for (std::uint16_t productId : kProductIds) {
    DeviceLink counted;
    OpenKeyPad(rig.context, counted, productId, nullptr, 0, true);
  }
  EXPECT_EQ(rig.hid.OpenHandleCount(), 3u);
}

TEST(AccessConnection, MoreThanSixteenKeyPadsFillSixteenSlots) {
  Rig rig;
  for (std::uint32_t serial = 1; serial <= 17; ++serial) rig.Attach(kProduct1224, serial);
  rig.Attach(kProduct0652, 500);  // the smallest product id: slot 0
  RescanKeyPads(rig.table, rig.ports);
  ASSERT_EQ(rig.table.keyPadCount.load(), kMaxKeyPads);
  EXPECT_EQ(rig.table.slots[0].serialNumber, 500u);
  EXPECT_EQ(rig.table.slots[15].serialNumber, 15u);
  EXPECT_EQ(rig.softKeyboards.started.size(), 15u);
  for (int slot : rig.softKeyboards.started) EXPECT_LT(slot, kMaxKeyPads);

  // Rescanning keeps to the 16 slots as well, and only their 16 links stay open.
  RescanKeyPads(rig.table, rig.ports);
  EXPECT_EQ(rig.table.keyPadCount.load(), kMaxKeyPads);
  EXPECT_EQ(rig.table.slots[15].serialNumber, 15u);
  EXPECT_EQ(rig.hid.OpenHandleCount(), static_cast<std::size_t>(kMaxKeyPads));
}

}  // namespace
}  // namespace qv
