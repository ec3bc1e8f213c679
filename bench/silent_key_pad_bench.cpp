// What Bluetooth LE key pads that answer nothing (switched off, but still among the system's HID
// devices) cost the main thread, measured on the emulator's virtual clock: the connect scan at
// start, the rescan after a keyboard change, the presence check while a command runs and the
// tray menu's plan. Each case builds its bus afresh, runs one work item once and reports the
// virtual seconds it took as its time ("manual time") and as the counter virtual_s; after the
// run the figures are printed as one table (PrintSilentKeyPadTable).
#include "silent_key_pad_table.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <iomanip>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>

#include "access/access_ports.h"
#include "access/key_pad_connection.h"
#include "access/key_pad_table.h"
#include "access/monitor_decisions.h"
#include "device/device_commands.h"
#include "device/device_link.h"
#include "emulator/emulated_hid_system.h"
#include "tests/access_fakes.h"

namespace qv {
namespace {

// What one work item may cost the main thread.
constexpr double kGoalSeconds = 5.0;

enum class Work { kConnect, kRescan, kPresence, kTrayMenu };
constexpr Work kWorks[] = {Work::kConnect, Work::kRescan, Work::kPresence, Work::kTrayMenu};

const char* WorkTitle(Work work) {
  switch (work) {
    case Work::kConnect:
      return "connect at start";
    case Work::kRescan:
      return "rescan";
    case Work::kPresence:
      return "presence check";
    case Work::kTrayMenu:
      return "tray menu";
  }
  return "";
}

struct Scenario {
  const char* name;
  std::uint16_t bleProduct;  // 0x074F gives 0xB4B4074F, 0x0777 gives 0xB5B50777
  bool besideUsb;            // a USB key pad (0x1225, after the Bluetooth one in slot order)
  bool switchedOffLater;     // answered at the connect at start, silent from then on
};

constexpr Scenario kScenarios[] = {
    {"B4B4074F silent", kProduct074F, false, false},
    {"B4B4074F silent + USB", kProduct074F, true, false},
    {"B5B50777 silent", kProduct0777, false, false},
    {"B5B50777 silent + USB", kProduct0777, true, false},
    {"B4B4074F off after connect", kProduct074F, false, true},
    {"B4B4074F off after connect + USB", kProduct074F, true, true},
    {"B5B50777 off after connect", kProduct0777, false, true},
    {"B5B50777 off after connect + USB", kProduct0777, true, true},
};

class NoPrompts : public ConnectionPromptPort {
 public:
  int PasswordPrompt(int) override { return kPromptCancelled; }
  bool FactoryResetKeyPad(int) override { return false; }
};

// The program's key pad side over an emulated bus on the virtual clock.
struct Rig {
  EmulatedHidSystem hid{EmulatedHidSystem::ClockMode::kVirtual};
  DeviceContext context{hid};
  DeviceKeyCodeCache cache;
  testing::NoSoftKeyboards softKeyboards;
  NoPrompts prompts;
  testing::QuietPresenceUi presenceUi;
  ConnectionPorts ports{context, cache, softKeyboards, prompts, presenceUi, u"D:\\softkey\\"};
  KeyPadTable table;
  EmulatedDeviceId ble = 0;

  explicit Rig(const Scenario& scenario) {
    if (scenario.besideUsb) {
      EmulatedKeyPad usb;
      usb.productId = kProduct1225;
      usb.serial = 1;
      hid.AttachKeyPad(usb);
    }
    EmulatedKeyPad bluetooth;
    bluetooth.productId = scenario.bleProduct;
    bluetooth.version = 0;
    bluetooth.bluetooth = true;
    bluetooth.serial = 2;
    ble = hid.AttachKeyPad(bluetooth);
  }
  ~Rig() {
    for (KeyPadSlot& slot : table.slots) CloseLink(context, slot.link);
  }

  void SwitchOff() {
    KeyPadFaults faults;
    faults.silent = true;
    hid.SetFaults(ble, faults);
  }
};

// Brings the rig to where the work item starts; false when the scenario has no such state.
bool Prepare(Rig& rig, const Scenario& scenario, Work work) {
  if (!scenario.switchedOffLater) {
    rig.SwitchOff();
    if (work != Work::kConnect) RescanKeyPads(rig.table, rig.ports);
    return true;
  }
  // The key pad answered when the program started; the connect at start is not this case.
  if (work == Work::kConnect) return false;
  RescanKeyPads(rig.table, rig.ports);
  if (rig.table.slots[0].modelIdentity == 0) return false;  // slot 0: the Bluetooth key pad
  rig.SwitchOff();
  return true;
}

// Runs the work item; false when its outcome is not the one described for a silent key pad.
bool Run(Rig& rig, const Scenario& scenario, Work work) {
  KeyPadTable& table = rig.table;
  const std::uint16_t expectedCount = scenario.besideUsb ? 2 : 1;
  switch (work) {
    case Work::kConnect:
    case Work::kRescan:
      // The connect at start is the program's first rescan, on an empty table.
      RescanKeyPads(table, rig.ports);
      // The silent key pad's slot is skipped; the USB key pad connects.
      return table.keyPadCount == expectedCount && table.slots[0].modelIdentity == 0 &&
             (!scenario.besideUsb || table.slots[1].modelIdentity == kModel01001225);
    case Work::kPresence:
      // A command on the USB key pad (slot 1) is found behind the silent one; a command on the
      // Bluetooth key pad (slot 0, alone) is not found.
      table.commandActive = true;
      table.selectedKeyPad = scenario.besideUsb ? 1 : 0;
      return VerifySelectedKeyPad(table, rig.ports) == scenario.besideUsb;
    case Work::kTrayMenu:
      PlanTrayMenu(table, rig.context, true);
      return true;
  }
  return false;
}

std::map<std::pair<int, Work>, double>& Results() {
  static std::map<std::pair<int, Work>, double> results;
  return results;
}

void BM_SilentKeyPad(benchmark::State& state, int scenarioIndex, Work work) {
  const Scenario& scenario = kScenarios[scenarioIndex];
  for (auto _ : state) {
    state.PauseTiming();
    Rig rig(scenario);
    const bool prepared = Prepare(rig, scenario, work);
    state.ResumeTiming();
    if (!prepared) {
      state.SkipWithError("no such state in this scenario");
      break;
    }
    const std::uint64_t start = rig.hid.NowMs();
    const bool described = Run(rig, scenario, work);
    const double seconds = static_cast<double>(rig.hid.NowMs() - start) / 1000.0;
    if (!described) {
      state.SkipWithError("the outcome is not the described one");
      break;
    }
    state.SetIterationTime(seconds);
    state.counters["virtual_s"] = seconds;
    Results()[{scenarioIndex, work}] = seconds;
  }
}

const bool kRegistered = [] {
  for (int i = 0; i < static_cast<int>(std::size(kScenarios)); ++i) {
    for (Work work : kWorks) {
      if (kScenarios[i].switchedOffLater && work == Work::kConnect) continue;
      const std::string name =
          std::string("BM_SilentKeyPad/") + kScenarios[i].name + "/" + WorkTitle(work);
      benchmark::RegisterBenchmark(name.c_str(), BM_SilentKeyPad, i, work)
          ->UseManualTime()
          ->Iterations(1)
          ->Unit(benchmark::kMillisecond);
    }
  }
  return true;
}();

}  // namespace

void PrintSilentKeyPadTable(std::ostream& out) {
  if (Results().empty()) return;
  out << "\nmain thread, virtual seconds per work item (goal: at most " << kGoalSeconds
      << " s each)\n";
  out << std::left << std::setw(34) << "key pads";
  for (Work work : kWorks) out << std::right << std::setw(18) << WorkTitle(work);
  out << "\n";
  bool met = true;
  for (int i = 0; i < static_cast<int>(std::size(kScenarios)); ++i) {
    out << std::left << std::setw(34) << kScenarios[i].name;
    for (Work work : kWorks) {
      const auto found = Results().find({i, work});
      std::string cell = "-";
      if (found != Results().end()) {
        std::ostringstream text;
        text << std::fixed << std::setprecision(1) << found->second << " s";
        cell = text.str();
        met = met && found->second <= kGoalSeconds;
      }
      out << std::right << std::setw(18) << cell;
    }
    out << "\n";
  }
  out << "goal " << (met ? "met" : "NOT met") << std::endl;
}

}  // namespace qv
