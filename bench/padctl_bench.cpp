// qv-padctl's restore of 16 key pads of 144 keys over the emulator, with a realistic exchange
// time: every feature report (a USB control transfer, set or get) is a round trip that costs the
// key pad 2 ms. The emulator answers at once; the 2 ms are counted on a device clock instead of
// slept, so the run is the tool's measured time plus the device clock.
//
// Counters: device_ms (the device clock), tool_ms (wall time minus the time spent inside the
// emulator), tool_share_pct (tool time as a share of device time; the goal is a negligible one),
// required_ms (the feature reports a restore must make: per key pad its identity, the access
// sequence's status read, editing and resume values, 144 writes and 144 read-backs), and
// run_vs_required_pct (the whole run against that; the goal is at most 110).
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "common/memory_settings.h"
#include "device/device_link.h"
#include "emulator/emulated_hid_system.h"
#include "keycode/key_code_file.h"
#include "padctl/padctl_run.h"
#include "padctl_fakes.h"
#include "timed_hid_system.h"

namespace qv {
namespace {

using Clock = std::chrono::steady_clock;
constexpr double kRoundTripMs = 2.0;
constexpr int kKeyPads = 16;
constexpr int kKeys = 144;
// Per key pad: identity (set + get), status (set + get), editing value (set), the status read
// again and the resume value (set + get, set), each key written (set) and read back (set + get).
constexpr int kRequiredReportsPerKeyPad = 2 + 2 + 1 + 2 + 1 + kKeys * 3;

void BM_PadctlRestore(benchmark::State& state) {
  KeyCodeRecords records{};
  for (int key = 0; key < kMaxKeys; ++key) {
    records[key].bytes[0] = 3;
    records[key].bytes[1] = static_cast<std::uint8_t>(17 + key % 20);
    records[key].bytes[2] = static_cast<std::uint8_t>((17 + key % 20) | 0x80);
  }
  double deviceMs = 0, toolMs = 0;
  std::uint64_t reports = 0;
  for (auto _ : state) {
    state.PauseTiming();
    EmulatedHidSystem emulator(EmulatedHidSystem::ClockMode::kReal);
    for (int i = 0; i < kKeyPads; ++i) {
      EmulatedKeyPad keyPadSpec;
      keyPadSpec.productId = kProduct130D;
      keyPadSpec.serial = 500000 + static_cast<std::uint32_t>(i);
      emulator.AttachKeyPad(keyPadSpec);
    }
    TimedHidSystem hid(emulator);
    DeviceContext device(hid);
    testing::MemoryFiles files;
    files.files[u"fleet.qvk"] = BuildKeyCodeFile(kModel0100130D, 0, records);
    testing::RecordingOutput output;
    testing::ScriptedConsole console;
    testing::FakeTray tray;
    testing::FakeInstanceLock instances;
    MemorySettings settings;
    PadctlPorts ports{device, files, console, output, tray, instances, settings};
    const std::vector<std::u16string> words = {u"restore", u"fleet.qvk", u"--all"};
    state.ResumeTiming();

    const Clock::time_point start = Clock::now();
    const int status = RunPadctl(words, ports);
    const double wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();

    state.PauseTiming();
    if (status != 0) state.SkipWithError("the restore failed");
    toolMs += wallMs - static_cast<double>(hid.emulatorNs) / 1e6;
    deviceMs += static_cast<double>(hid.featureReports) * kRoundTripMs;
    reports += hid.featureReports;
    state.ResumeTiming();
  }
  const double runs = static_cast<double>(state.iterations());
  const double requiredMs = kKeyPads * kRequiredReportsPerKeyPad * kRoundTripMs;
  state.counters["device_ms"] = deviceMs / runs;
  state.counters["tool_ms"] = toolMs / runs;
  state.counters["reports"] = static_cast<double>(reports) / runs;
  state.counters["required_ms"] = requiredMs;
  state.counters["tool_share_pct"] = 100.0 * toolMs / deviceMs;
  state.counters["run_vs_required_pct"] = 100.0 * (deviceMs + toolMs) / runs / requiredMs;
}
BENCHMARK(BM_PadctlRestore)
    ->Name("BM_PadctlRestore/16_key_pads_144_keys_2ms")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
}  // namespace qv
