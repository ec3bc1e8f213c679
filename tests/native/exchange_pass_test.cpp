// Switched-off Bluetooth LE key pads, which stay among the system's HID devices and answer
// nothing: within one scan or presence check such a key pad costs one time-out, and the next
// pass asks it again. Time is the emulator's virtual clock.
#include <gtest/gtest.h>

#include "access_fakes.h"

#include <algorithm>
#include <functional>
#include <future>
#include <iterator>
#include <set>
#include <thread>
#include <vector>

#include "access/key_pad_connection.h"
#include "access/key_pad_table.h"
#include "access/monitor_decisions.h"
#include "device/device_commands.h"
#include "device/exchange_pass.h"
#include "device/report_transport.h"
#include "emulator/emulated_hid_system.h"

namespace qv {
namespace {

constexpr std::uint64_t kTimeOut = kFramedTimeoutMs;

class RecordedSoftKeyboards : public testing::NoSoftKeyboards {
 public:
  bool SoftKeyboardThreadExists(int slot) override { return running.count(slot) != 0; }
  void StartSoftKeyboardThread(int slot, SoftKeyLayout) override { running.insert(slot); }
  void CloseSoftKeyboardThread(int slot) override { running.erase(slot); }
  std::set<int> running;
};

class ScriptedPrompts : public ConnectionPromptPort {
 public:
  int PasswordPrompt(int slot) override {
    if (onPrompt) onPrompt(slot);
    return Take(results, kPromptCancelled);
  }
  bool FactoryResetKeyPad(int) override { return Take(resetAnswers, false); }
  template <typename T>
  static T Take(std::vector<T>& answers, T otherwise) {
    if (answers.empty()) return otherwise;
    T answer = answers.front();
    answers.erase(answers.begin());
    return answer;
  }
  std::vector<int> results;
  std::vector<bool> resetAnswers;
  std::function<void(int)> onPrompt;
};

class WatchedPresenceUi : public PresenceCheckUi {
 public:
  void ShowForcedCloseMessage() override {
    ++messages;
    if (onMessage) onMessage();
  }
  void CloseOwnedWindows() override {}
  int messages = 0;
  std::function<void()> onMessage;
};

struct Rig {
  EmulatedHidSystem hid{EmulatedHidSystem::ClockMode::kVirtual};
  DeviceContext context{hid};
  DeviceKeyCodeCache cache;
  RecordedSoftKeyboards softKeyboards;
  ScriptedPrompts prompts;
  WatchedPresenceUi presenceUi;
  ConnectionPorts ports{context, cache, softKeyboards, prompts, presenceUi, u"D:\\softkey\\"};
  KeyPadTable table;

  ~Rig() {
    for (KeyPadSlot& slot : table.slots) CloseLink(context, slot.link);
  }

  EmulatedDeviceId Attach(std::uint16_t productId, std::uint32_t serial, bool bluetooth = true,
                          std::uint8_t status = 0) {
    EmulatedKeyPad keyPadSpec;
    keyPadSpec.productId = productId;
    keyPadSpec.version = bluetooth ? 0 : 0x0100;
    keyPadSpec.bluetooth = bluetooth;
    keyPadSpec.serial = serial;
    keyPadSpec.status = status;
    return hid.AttachKeyPad(keyPadSpec);
  }
  void Silence(EmulatedDeviceId pad, bool silent = true) {
    KeyPadFaults faults;
    faults.silent = silent;
    hid.SetFaults(pad, faults);
  }
  // Virtual milliseconds that `work` takes.
  std::uint64_t Cost(const std::function<void()>& work) {
    const std::uint64_t start = hid.NowMs();
    work();
    return hid.NowMs() - start;
  }
  std::vector<std::uint8_t> Commands(EmulatedDeviceId pad) {
    std::vector<std::uint8_t> commands;
    for (const ReceivedRequest& request : hid.Requests(pad)) commands.push_back(request.command);
    return commands;
  }
  void OpenLink(std::uint16_t productId, DeviceLink& link) {
    ASSERT_EQ(OpenKeyPad(context, link, productId, nullptr, 1, false), 1);
  }
};

// ------------------------------------------------------------------ the pass on its own

TEST(ExchangePass, ATimedOutKeyPadIsRefusedByPathUntilTheOutermostScopeEnds) {
  Rig rig;
  const EmulatedDeviceId silent = rig.Attach(kProduct074F, 1);
  rig.Attach(kProduct0777, 2);
  DeviceLink silentLink, otherLink;
  rig.OpenLink(kProduct074F, silentLink);
  rig.OpenLink(kProduct0777, otherLink);
  rig.Silence(silent);
  rig.hid.ClearRequests(silent);

  // Without a pass every request waits out its time-out.
  EXPECT_EQ(rig.Cost([&] { PingLink(rig.context, silentLink); }), kTimeOut);
  EXPECT_EQ(rig.Cost([&] { PingLink(rig.context, silentLink); }), kTimeOut);
  {
    ExchangePass outer(rig.context);
    EXPECT_EQ(rig.Cost([&] { EXPECT_FALSE(PingLink(rig.context, silentLink)); }), kTimeOut);
    {
      ExchangePass inner(rig.context);
      DeviceInfo info{};
      EXPECT_EQ(rig.Cost([&] { EXPECT_FALSE(ReadDeviceInfo(rig.context, silentLink, info)); }), 0u);
      EXPECT_TRUE(PingLink(rig.context, otherLink));
      // A refused request leaves the buffer as a time-out does: the 44 reply bytes zeroed.
      std::uint8_t message[kMessageBytes];
      std::fill(std::begin(message), std::end(message), 0xA5);
      message[1] = kCmdReadDeviceInfo;
      message[2] = 0;
      EXPECT_FALSE(Exchange(rig.context, silentLink, message, true));
      EXPECT_TRUE(
          std::all_of(message, message + kFramedMessageLimit, [](int b) { return b == 0; }));
      EXPECT_EQ(message[kFramedMessageLimit], 0xA5);
    }
    // The inner scope joined the outer one: its end forgets nothing.
    EXPECT_EQ(rig.Cost([&] { EXPECT_FALSE(PingLink(rig.context, silentLink)); }), 0u);
  }
  // Refused requests never reached the key pad.
  EXPECT_EQ(rig.Commands(silent), std::vector<std::uint8_t>(3, kCmdPingLink));
  // Switched on again, it is asked and answers in the next pass.
  rig.Silence(silent, false);
  ExchangePass next(rig.context);
  EXPECT_TRUE(PingLink(rig.context, silentLink));
  CloseLink(rig.context, silentLink);
  CloseLink(rig.context, otherLink);
}

// A bus whose overlapped reads can be made to fail at once, as a read on a broken handle does.
class FailingReads : public EmulatedHidSystem {
 public:
  FailingReads() : EmulatedHidSystem(ClockMode::kVirtual) {}
  HidReadResult ReadInput(HidHandle handle, std::uint8_t* report, std::size_t length,
                          std::uint32_t timeoutMs, std::size_t& bytesRead) override {
    if (failReads) return HidReadResult::kError;
    return EmulatedHidSystem::ReadInput(handle, report, length, timeoutMs, bytesRead);
  }
  bool failReads = false;
};

TEST(ExchangePass, OnlyAWaitThatRanOutIsRemembered) {
  FailingReads hid;
  DeviceContext context(hid);
  EmulatedKeyPad keyPadSpec;
  keyPadSpec.productId = kProduct074F;
  keyPadSpec.version = 0;
  keyPadSpec.bluetooth = true;
  const EmulatedDeviceId pad = hid.AttachKeyPad(keyPadSpec);
  DeviceLink link;
  ASSERT_EQ(OpenKeyPad(context, link, kProduct074F, nullptr, 1, false), 1);
  ExchangePass pass(context);

  // A wrong answer fails the command but is an answer, and a failed read costs nothing: the key
  // pad is asked again.
  KeyPadFaults faults;
  faults.wrongCommandEcho = true;
  hid.SetFaults(pad, faults);
  EXPECT_FALSE(PingLink(context, link));
  hid.SetFaults(pad, KeyPadFaults{});
  hid.failReads = true;
  EXPECT_FALSE(PingLink(context, link));
  hid.failReads = false;
  EXPECT_TRUE(PingLink(context, link));

  // An answer later than the time-out is none.
  faults = KeyPadFaults{};
  faults.replyDelayMs = kFramedTimeoutMs + 100;
  hid.SetFaults(pad, faults);
  std::uint64_t start = hid.NowMs();
  EXPECT_FALSE(PingLink(context, link));
  EXPECT_EQ(hid.NowMs() - start, kTimeOut);
  hid.SetFaults(pad, KeyPadFaults{});
  hid.ClearRequests(pad);
  EXPECT_FALSE(PingLink(context, link));
  EXPECT_TRUE(hid.Requests(pad).empty());
  CloseLink(context, link);
}

TEST(ExchangePass, OtherThreadsAreRefusedOnlyTheSameSilentKeyPadAndCannotHoldThePass) {
  Rig rig;
  const EmulatedDeviceId silent = rig.Attach(kProduct074F, 1);
  rig.Attach(kProduct0777, 2);
  DeviceLink silentLink, otherLink;
  rig.OpenLink(kProduct074F, silentLink);
  rig.OpenLink(kProduct0777, otherLink);
  rig.Silence(silent);

  std::promise<void> asked, release;
  std::thread softKeyboard;
  {
    ExchangePass pass(rig.context);
    PingLink(rig.context, silentLink);
    softKeyboard = std::thread([&] {
      // A scope of its own, held open after the main thread's pass has ended.
      ExchangePass own(rig.context);
      EXPECT_TRUE(PingLink(rig.context, otherLink));
      EXPECT_EQ(rig.Cost([&] { EXPECT_FALSE(PingLink(rig.context, silentLink)); }), 0u);
      asked.set_value();
      release.get_future().wait();
    });
    asked.get_future().wait();
  }
  {
    // The main thread's next pass starts empty, and the other thread's scope does not end it.
    ExchangePass next(rig.context);
    EXPECT_EQ(rig.Cost([&] { PingLink(rig.context, silentLink); }), kTimeOut);
    release.set_value();
    softKeyboard.join();
    EXPECT_EQ(rig.Cost([&] { PingLink(rig.context, silentLink); }), 0u);
  }
  // Outside a pass another thread waits out its time-out as before.
  std::thread later(
      [&] { EXPECT_EQ(rig.Cost([&] { PingLink(rig.context, silentLink); }), kTimeOut); });
  later.join();
  CloseLink(rig.context, silentLink);
  CloseLink(rig.context, otherLink);
}

TEST(ExchangePass, APauseAsksAgainRemembersNothingAndGivesThePassBack) {
  Rig rig;
  const EmulatedDeviceId a = rig.Attach(kProduct074F, 1);
  const EmulatedDeviceId b = rig.Attach(kProduct0777, 2);
  DeviceLink linkA, linkB;
  rig.OpenLink(kProduct074F, linkA);
  rig.OpenLink(kProduct0777, linkB);
  rig.Silence(a);
  rig.Silence(b);

  ExchangePass pass(rig.context);
  PingLink(rig.context, linkA);
  {
    ExchangePassPause pause(rig.context);
    EXPECT_EQ(rig.Cost([&] { PingLink(rig.context, linkA); }), kTimeOut);
    EXPECT_EQ(rig.Cost([&] { PingLink(rig.context, linkB); }), kTimeOut);
    // A pass opened meanwhile (a presence check from the prompt) starts empty and ends there.
    ExchangePass check(rig.context);
    EXPECT_EQ(rig.Cost([&] { PingLink(rig.context, linkA); }), kTimeOut);
    EXPECT_EQ(rig.Cost([&] { PingLink(rig.context, linkA); }), 0u);
  }
  EXPECT_EQ(rig.Cost([&] { PingLink(rig.context, linkA); }), 0u);
  EXPECT_EQ(rig.Cost([&] { PingLink(rig.context, linkB); }), kTimeOut);
  CloseLink(rig.context, linkA);
  CloseLink(rig.context, linkB);
}

// ------------------------------------------------------------------ scans and presence checks

TEST(SilentKeyPad, CostsOneTimeOutPerScanAndPresenceCheckAndEndsAsDescribed) {
  for (const std::uint16_t productId : {kProduct074F, kProduct0777}) {
    SCOPED_TRACE(productId);
    Rig rig;
    const EmulatedDeviceId pad = rig.Attach(productId, 5);
    rig.Silence(pad);

    EXPECT_EQ(rig.Cost([&] { RescanKeyPads(rig.table, rig.ports); }), kTimeOut);
    // Counted, but its slot is skipped: no identity, no soft keyboard.
    EXPECT_EQ(rig.table.keyPadCount.load(), 1);
    EXPECT_EQ(rig.table.slots[0].modelIdentity, 0u);
    EXPECT_TRUE(rig.softKeyboards.running.empty());
    // One request reached it: the first ping of the count.
    EXPECT_EQ(rig.Commands(pad), std::vector<std::uint8_t>{kCmdPingLink});

    EXPECT_EQ(rig.Cost([&] { RescanKeyPads(rig.table, rig.ports); }), kTimeOut);
    EXPECT_EQ(rig.table.slots[0].modelIdentity, 0u);

    rig.table.commandActive = true;
    rig.table.selectedKeyPad = 0;
    EXPECT_EQ(rig.Cost([&] { RunPresenceCheck(rig.table, rig.ports); }), kTimeOut);
    EXPECT_FALSE(rig.table.keyPadPresent.load());
    EXPECT_EQ(rig.presenceUi.messages, 1);
  }
}

TEST(SilentKeyPad, PresenceCheckEndsItsPassBeforeTheMessageBox) {
  Rig rig;
  const EmulatedDeviceId pad = rig.Attach(kProduct074F, 5);
  RescanKeyPads(rig.table, rig.ports);
  rig.Silence(pad);
  rig.table.commandActive = true;
  rig.table.selectedKeyPad = 0;
  // The message box's modal loop runs timers; what they send there is asked for real.
  std::uint64_t insideMessage = 0;
  rig.presenceUi.onMessage = [&] {
    insideMessage = rig.Cost([&] { PingLink(rig.context, rig.table.slots[0].link); });
  };
  EXPECT_FALSE(VerifySelectedKeyPad(rig.table, rig.ports));
  EXPECT_EQ(insideMessage, kTimeOut);
}

TEST(SilentKeyPad, SwitchedOffAfterOnePassCostsOneTimeOutInTheNextAndIsBackAfterwards) {
  Rig rig;
  rig.Attach(kProduct1225, 1, false);
  const EmulatedDeviceId pad = rig.Attach(kProduct074F, 2);
  EXPECT_EQ(rig.Cost([&] { RescanKeyPads(rig.table, rig.ports); }), 0u);
  EXPECT_EQ(rig.table.slots[0].modelIdentity, kModelB4B4074F);
  EXPECT_EQ(rig.softKeyboards.running, (std::set<int>{0, 1}));

  rig.Silence(pad);
  // The tray menu pings it once, as before, and offers the touch entry for the USB key pad.
  ShellMenuPlan plan;
  EXPECT_EQ(rig.Cost([&] { plan = PlanTrayMenu(rig.table, rig.context, true); }), kTimeOut);
  EXPECT_TRUE(plan.touchPresent);
  EXPECT_EQ(rig.Cost([&] { RescanKeyPads(rig.table, rig.ports); }), kTimeOut);
  EXPECT_EQ(rig.table.slots[0].modelIdentity, 0u);
  EXPECT_EQ(rig.table.slots[1].modelIdentity, kModel01001225);
  EXPECT_EQ(rig.softKeyboards.running, std::set<int>{1});

  // Switched on again: the next scan has forgotten the silence.
  rig.Silence(pad, false);
  EXPECT_EQ(rig.Cost([&] { RescanKeyPads(rig.table, rig.ports); }), 0u);
  EXPECT_EQ(rig.table.slots[0].modelIdentity, kModelB4B4074F);
  EXPECT_EQ(rig.softKeyboards.running, (std::set<int>{0, 1}));
}

TEST(SilentKeyPad, TwoSilentKeyPadsCostOneTimeOutEachAndTheAnsweringOneIsAskedAsBefore) {
  // An answering Bluetooth key pad: pinged by the count and by its opening, its identity read,
  // pinged for its soft keyboard, then its 30 key codes.
  std::vector<std::uint8_t> connectRequests = {kCmdPingLink, kCmdPingLink, kCmdReadDeviceInfo,
                                               kCmdPingLink};
  connectRequests.insert(connectRequests.end(), 30, kCmdReadKeyCode);

  Rig alone;
  const EmulatedDeviceId aloneB4 = alone.Attach(kProduct074F, 1);
  RescanKeyPads(alone.table, alone.ports);
  EXPECT_EQ(alone.Commands(aloneB4), connectRequests);

  Rig rig;
  const EmulatedDeviceId answering = rig.Attach(kProduct074F, 1);
  const EmulatedDeviceId silentB4 = rig.Attach(kProduct074F, 2);
  const EmulatedDeviceId silentB5 = rig.Attach(kProduct0777, 3);
  rig.Silence(silentB4);
  rig.Silence(silentB5);
  EXPECT_EQ(rig.Cost([&] { RescanKeyPads(rig.table, rig.ports); }), 2 * kTimeOut);
  // The same, and one more ping: opening the second 0x074F walks past it, as it always has.
  connectRequests.push_back(kCmdPingLink);
  EXPECT_EQ(rig.Commands(answering), connectRequests);
  EXPECT_EQ(rig.table.keyPadCount.load(), 3);
  EXPECT_EQ(rig.table.slots[0].serialNumber, 1u);
  EXPECT_EQ(rig.table.slots[1].modelIdentity, 0u);
  EXPECT_EQ(rig.table.slots[2].modelIdentity, 0u);
  EXPECT_EQ(rig.softKeyboards.running, std::set<int>{0});
}

TEST(SilentKeyPad, TheConnectionPromptGetsRealAnswersAndTheScanKeepsItsMemory) {
  Rig rig;
  // Slot 0: a Bluetooth key pad with a password; slot 1: one that is switched off.
  const EmulatedDeviceId prompted = rig.Attach(kProduct074F, 1, true, kStatusPasswordSet);
  const EmulatedDeviceId off = rig.Attach(kProduct0777, 2);
  rig.Silence(off);
  // The user chooses to initialise, declines the reset and is prompted again. The key pad is out
  // of reach at the first prompt and back at the second, where the prompt pings it as it does
  // before checking a password.
  rig.prompts.results = {kPromptInitialise, kPromptAccepted};
  rig.prompts.resetAnswers = {false};
  std::vector<int> probes;
  rig.prompts.onPrompt = [&](int slot) {
    rig.Silence(prompted, probes.empty());
    probes.push_back(ProbeKeyPad(rig.table, rig.context, slot));
  };
  // The count's ping of the switched-off key pad and the first prompt's ping: nothing more.
  EXPECT_EQ(rig.Cost([&] { RescanKeyPads(rig.table, rig.ports); }), 2 * kTimeOut);
  EXPECT_EQ(probes, (std::vector<int>{0, 1}));
  EXPECT_EQ(rig.hid.LastStatusWrite(prompted), ResumeStatusValue(kStatusPasswordSet));
  EXPECT_EQ(rig.Commands(off), std::vector<std::uint8_t>{kCmdPingLink});
  EXPECT_EQ(rig.table.slots[1].modelIdentity, 0u);
  EXPECT_EQ(rig.softKeyboards.running, std::set<int>{0});
}

}  // namespace
}  // namespace qv
