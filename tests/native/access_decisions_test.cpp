// The main window's decisions over the key pad table: monitor timers, the reveal message, the
// notification-area menu and dialog 137, the selection dialog's items, the touch keyboard.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "access/key_pad_connection.h"
#include "access/key_pad_selection.h"
#include "access/monitor_decisions.h"
#include "access/touch_keyboard.h"
#include "app/shell_commands.h"
#include "device/device_commands.h"
#include "emulator/emulated_hid_system.h"

namespace qv {
namespace {

// Key pads on an emulated bus, opened into the table's slots.
struct Bus {
  EmulatedHidSystem hid{EmulatedHidSystem::ClockMode::kVirtual};
  DeviceContext context{hid};
  KeyPadTable table;

  ~Bus() {
    for (KeyPadSlot& slot : table.slots) CloseLink(context, slot.link);
  }
  EmulatedDeviceId Attach(std::uint16_t productId, std::uint16_t version, bool bluetooth) {
    EmulatedKeyPad keyPadSpec;
    keyPadSpec.productId = productId;
    keyPadSpec.version = version;
    keyPadSpec.bluetooth = bluetooth;
    return hid.AttachKeyPad(keyPadSpec);
  }
  void Open() {
    KeyPadCensus census = TakeKeyPadCensus(context);
    table.keyPadCount = static_cast<std::uint16_t>(census.total);
    for (unsigned k = 0; k < census.total; ++k)
      table.slots[k].modelIdentity = OpenKeyPadAt(context, census, k, table.slots[k].link);
  }
  std::size_t Pings(EmulatedDeviceId id) {
    std::size_t pings = 0;
    for (const ReceivedRequest& request : hid.Requests(id))
      pings += request.command == kCmdPingLink;
    return pings;
  }
};

void ExpectPlan(const ShellMenuPlan& plan, bool reauthenticate, bool lock, bool commands,
                bool touch, bool checked) {
  EXPECT_EQ(plan.reauthenticateEnabled, reauthenticate);
  EXPECT_EQ(plan.lockEnabled, lock);
  EXPECT_EQ(plan.keyPadCommandsEnabled, commands);
  EXPECT_EQ(plan.touchPresent, touch);
  EXPECT_EQ(plan.touchChecked, checked);
}

TEST(AccessMonitorTimers, RescanWaitsForTheCommandAndConsoleSuspendsBoth) {
  KeyPadTable table;
  EXPECT_EQ(DecideMonitorTimer(kRescanTimerId, table), MonitorTimerAction::kKillAndRescan);
  EXPECT_EQ(DecideMonitorTimer(kPresenceTimerId, table), MonitorTimerAction::kKillAndVerify);

  table.commandActive = true;
  EXPECT_EQ(DecideMonitorTimer(kRescanTimerId, table), MonitorTimerAction::kKeepArmed);
  EXPECT_EQ(DecideMonitorTimer(kPresenceTimerId, table), MonitorTimerAction::kKillAndVerify);
  // The lock and the shell's dialogs hold the rescan as well (the lock walks the slots after its
  // confirmation box).
  table.commandActive = false;
  table.modalActive = true;
  EXPECT_EQ(DecideMonitorTimer(kRescanTimerId, table), MonitorTimerAction::kKeepArmed);
  table.modalActive = false;
  table.commandActive = true;

  table.consoleInactive = true;
  EXPECT_EQ(DecideMonitorTimer(kPresenceTimerId, table), MonitorTimerAction::kKeepArmed);
  table.commandActive = false;
  EXPECT_EQ(DecideMonitorTimer(kRescanTimerId, table), MonitorTimerAction::kKeepArmed);
}

TEST(AccessReveal, LockedSlotsReauthenticateUnlessAModalCommandRuns) {
  KeyPadTable table;
  table.slots[0].accessState = AccessState::Locked;
  table.slots[1].accessState = AccessState::Authenticated;
  table.slots[2].accessState = AccessState::Open;

  EXPECT_EQ(DecideReveal(table, 0, true, false), RevealAction::kReauthenticate);
  EXPECT_EQ(DecideReveal(table, 0, false, true), RevealAction::kNothing);
  EXPECT_EQ(DecideReveal(table, 2, true, false), RevealAction::kNothing);

  table.modalActive = true;  // a command hid the soft keyboards: nothing comes forward
  EXPECT_EQ(DecideReveal(table, 0, true, true), RevealAction::kNothing);
  EXPECT_EQ(DecideReveal(table, 1, true, true), RevealAction::kNothing);
}

TEST(AccessTrayMenu, SilentBravaKeyPadHasNoTouchEntry) {
  Bus bus;
  EmulatedDeviceId id = bus.Attach(kProduct074F, 0, true);
  bus.Open();
  ASSERT_EQ(bus.table.slots[0].modelIdentity, kModelB4B4074F);
  ExpectPlan(PlanTrayMenu(bus.table, bus.context, true), true, false, true, true, true);

  KeyPadFaults faults;
  faults.silent = true;
  bus.hid.SetFaults(id, faults);
  ExpectPlan(PlanTrayMenu(bus.table, bus.context, true), true, false, true, false, false);
  ExpectPlan(PlanTrayMenuDialog(bus.table, bus.context, true), true, false, true, false, false);
}

TEST(AccessTrayMenu, AccessStatesEnableReauthenticationAndLock) {
  Bus bus;
  ExpectPlan(PlanTrayMenu(bus.table, bus.context, true), false, false, false, false, false);
  ExpectPlan(PlanTrayMenuDialog(bus.table, bus.context, true), false, false, false, false, false);
  bus.Attach(kProduct1227, 0x0100, false);
  bus.Attach(kProduct1227, 0x0100, false);
  bus.Open();
  bus.table.slots[0].accessState = AccessState::Open;
  bus.table.slots[1].accessState = AccessState::Open;
  ExpectPlan(PlanTrayMenu(bus.table, bus.context, true), false, false, true, false, false);
  bus.table.slots[1].accessState = AccessState::Locked;
  ExpectPlan(PlanTrayMenu(bus.table, bus.context, true), true, false, true, false, false);
  bus.table.slots[0].accessState = AccessState::Authenticated;
  ExpectPlan(PlanTrayMenuDialog(bus.table, bus.context, false), true, true, true, false, false);
  // Slots beyond the count do not count.
  bus.table.keyPadCount = 1;
  ExpectPlan(PlanTrayMenu(bus.table, bus.context, false), false, true, true, false, false);
}

TEST(AccessTrayMenu, TouchEntryFollowsTouchEnabledAndTheMenuPingsEveryTestedBrava) {
  Bus bus;
  EmulatedDeviceId brava = bus.Attach(kProduct0777, 0, true);
  bus.Attach(kProduct1224, 0x0100, false);
  bus.Open();
  ASSERT_EQ(bus.table.slots[0].modelIdentity, kModelB5B50777);
  bus.table.slots[0].accessState = AccessState::Open;
  bus.table.slots[1].accessState = AccessState::Open;

  bus.hid.ClearRequests(brava);
  ExpectPlan(PlanTrayMenu(bus.table, bus.context, false), false, false, true, true, false);
  EXPECT_EQ(bus.Pings(brava), 1u);
  bus.hid.ClearRequests(brava);
  ExpectPlan(PlanTrayMenuDialog(bus.table, bus.context, true), false, false, true, true, true);
  EXPECT_EQ(bus.Pings(brava), 0u);
}

void SetSlot(KeyPadTable& table, int slot, std::uint32_t identity, std::uint32_t serial,
             AccessState state = AccessState::Open) {
  table.slots[slot].modelIdentity = identity;
  table.slots[slot].serialNumber = serial;
  table.slots[slot].accessState = state;
}

std::vector<std::u16string> Texts(const std::vector<SelectionItem>& items) {
  std::vector<std::u16string> texts;
  for (const SelectionItem& item : items) texts.emplace_back(BoundedView(item.text));
  return texts;
}

TEST(AccessSelection, ItemsAreSortedByTextAndKeepTheirSlots) {
  KeyPadTable table;
  SetSlot(table, 0, kModelA100074F, 45678);
  SetSlot(table, 1, kModel01001227, 123);
  table.keyPadCount = 2;
  std::vector<SelectionItem> items = BuildSelectionItems(table, kCommandKeyCodeSettings);
  EXPECT_EQ(Texts(items), (std::vector<std::u16string>{u"000123 (Merla)", u"045678 (Tarn)"}));
  EXPECT_EQ(DecideSelectionOpening(items), SelectionOpening::kAskUser);
  EXPECT_EQ(ConfirmSelection(table, items, 0), kSelectionChosen);
  EXPECT_EQ(table.selectedKeyPad.load(), 1);

  SetSlot(table, 0, kModel01001225, 500);
  SetSlot(table, 1, kModel01001225, 100);
  items = BuildSelectionItems(table, kCommandKeyCodeSettings);
  EXPECT_EQ(Texts(items), (std::vector<std::u16string>{u"000100 (Corvo)", u"000500 (Corvo)"}));
  EXPECT_EQ(ConfirmSelection(table, items, 0), kSelectionChosen);
  EXPECT_EQ(table.selectedKeyPad.load(), 1);
  EXPECT_EQ(ConfirmSelection(table, items, 1), kSelectionChosen);
  EXPECT_EQ(table.selectedKeyPad.load(), 0);

  // Two unreadable key pads: equal texts, told apart by their slots.
  SetSlot(table, 0, 0, 0);
  SetSlot(table, 1, 0, 0);
  items = BuildSelectionItems(table, kCommandKeyCodeSettings);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(BoundedView(items[1].text), u"000000");
  EXPECT_EQ(items[1].slot, 1);
}

TEST(AccessSelection, ReauthenticationListsOnlyLockedSlots) {
  KeyPadTable table;
  SetSlot(table, 0, kModel01001224, 1, AccessState::Authenticated);
  SetSlot(table, 1, kModel01001224, 2, AccessState::Open);
  SetSlot(table, 2, kModel01001224, 3, AccessState::Locked);
  table.keyPadCount = 3;
  std::vector<SelectionItem> items = BuildSelectionItems(table, kCommandAuthenticateAgain);
  EXPECT_EQ(Texts(items), std::vector<std::u16string>{u"000003"});
  EXPECT_EQ(DecideSelectionOpening(items), SelectionOpening::kConfirmAtOnce);
  EXPECT_EQ(ConfirmSelection(table, items, 0), kSelectionChosen);
  EXPECT_EQ(table.selectedKeyPad.load(), 2);
  EXPECT_EQ(BuildSelectionItems(table, kCommandPasswordSetting).size(), 3u);

  table.slots[2].accessState = AccessState::Open;
  items = BuildSelectionItems(table, kCommandAuthenticateAgain);
  EXPECT_EQ(DecideSelectionOpening(items), SelectionOpening::kCancelAtOnce);
  EXPECT_EQ(ConfirmSelection(table, items, 0), kSelectionCancelled);
  EXPECT_EQ(table.selectedKeyPad.load(), 0);
}

TEST(AccessSelection, ModelLabelsAndTheNineteenCharacterLimit) {
  EXPECT_EQ(ModelLabel(kModelB5B50777), u" (Brava)");
  EXPECT_EQ(ModelLabel(kModel0100130C), u"");

  KeyPadTable table;
  SetSlot(table, 0, kModelB4B4074F, 7);
  char16_t text[kSelectionItemChars];
  SelectionItemText(table, 0, text);
  EXPECT_EQ(BoundedView(text), u"000007 (Brava)");
  SetSlot(table, 0, ModelIdentity(0x0100, kProduct0777), 12345678);
  SelectionItemText(table, 0, text);
  EXPECT_EQ(BoundedView(text), u"12345678 (Tarn Quad");
}

class FakeTouchSystem : public TouchKeyboardSystem {
 public:
  void SystemVersion(unsigned& major, unsigned& minor) override {
    major = majorVersion;
    minor = minorVersion;
  }
  bool RunningProcessNames(std::vector<std::u16string>& names) override {
    names = processes;
    return true;
  }
  void StartProgram(std::u16string_view path, std::u16string_view verb) override {
    started.emplace_back(path);
    verbs.emplace_back(verb);
  }
  SystemWindow FindTopLevelWindow(std::u16string_view className) override {
    searchedClass = className;
    return window;
  }
  void SendCloseCommand(SystemWindow target) override { closed.push_back(target); }

  unsigned majorVersion = 6, minorVersion = 1;
  std::vector<std::u16string> processes;
  SystemWindow window = 0;
  std::vector<std::u16string> started, verbs;
  std::u16string searchedClass;
  std::vector<SystemWindow> closed;
};

TEST(AccessTouchKeyboard, ActsOnlyOnWindows7And8) {
  FakeTouchSystem system;
  system.processes = {u"explorer.exe", u"TABTIP.EXE"};
  EXPECT_TRUE(IsTouchKeyboardRunning(system));
  ShowTouchKeyboard(system);
  EXPECT_EQ(system.started,
            std::vector<std::u16string>{
                u"C:\\Program Files\\Common Files\\microsoft shared\\ink\\TabTip.exe"});
  EXPECT_EQ(system.verbs, std::vector<std::u16string>{u"open"});

  for (unsigned minor : {0u, 3u}) {
    system.minorVersion = minor;
    ShowTouchKeyboard(system);
  }
  system.majorVersion = 10;
  system.minorVersion = 0;
  ShowTouchKeyboard(system);
  EXPECT_EQ(system.started.size(), 1u);

  system.majorVersion = 6;
  system.minorVersion = 2;
  system.processes = {u"TabTip32.exe"};
  EXPECT_FALSE(IsTouchKeyboardRunning(system));
  ShowTouchKeyboard(system);
  EXPECT_EQ(system.started.size(), 1u);

  // Hiding: only an existing window is sent the close command.
  HideTouchKeyboard(system);
  EXPECT_EQ(system.searchedClass, u"IPTip_Main_Window");
  EXPECT_TRUE(system.closed.empty());

  system.window = 0x1234;
  HideTouchKeyboard(system);
  EXPECT_EQ(system.closed, std::vector<SystemWindow>{0x1234});

  system.majorVersion = 10;
  system.minorVersion = 0;
  HideTouchKeyboard(system);
  EXPECT_EQ(system.closed.size(), 1u);
}

}  // namespace
}  // namespace qv
