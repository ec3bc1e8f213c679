// Benchmarks of the device link against a zero-latency key pad emulator: one ReadKeyCode exchange
// on either transport, a full key-code read, and a connect scan of 16 key pads.
//
// Every HID call goes through a timing layer that adds the time spent inside the emulator to a
// counter, so each case reports the program's own share ("program_us") apart from the emulator's
// ("emulator_us"). After the run the program's time per exchange is printed on one line.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "access/key_pad_connection.h"
#include "device/device_commands.h"
#include "device/device_link.h"
#include "device/report_transport.h"
#include "emulator/emulated_hid_system.h"
#include "keycode/key_table.h"
#include "silent_key_pad_table.h"
#include "timed_hid_system.h"

namespace qv {
namespace {

using Clock = std::chrono::steady_clock;

// What the program may add to one exchange.
constexpr double kProgramBudgetUs = 20.0;
// The emulator keeps every request it received; it is emptied this often so long runs stay flat.
constexpr std::int64_t kClearEveryExchanges = 4096;

// A bus with key pads that answer at once (real clock, no reply delay).
struct Rig {
  EmulatedHidSystem emulator{EmulatedHidSystem::ClockMode::kReal};
  TimedHidSystem timed{emulator};
  DeviceContext context{timed};
  std::vector<EmulatedDeviceId> pads;

  EmulatedDeviceId Attach(std::uint16_t productId, bool bluetooth) {
    EmulatedKeyPad keyPadSpec;
    keyPadSpec.productId = productId;
    keyPadSpec.version = bluetooth ? 0x0000 : 0x0100;
    keyPadSpec.bluetooth = bluetooth;
    keyPadSpec.serial = 100000 + static_cast<std::uint32_t>(pads.size());
    pads.push_back(emulator.AttachKeyPad(keyPadSpec));
    return pads.back();
  }

  // Empties the emulator's request logs; its time counts as the emulator's.
  void ClearLogs() {
    timed.Timed([&] {
      for (EmulatedDeviceId pad : pads) emulator.ClearRequests(pad);
    });
  }
};

// Product ids of the cases: a 144-key USB key pad and the Bluetooth LE model with 30 keys.
constexpr std::uint16_t kUsbProduct = kProduct1225;
constexpr std::uint16_t kBleProduct = kProduct074F;

KeyCodeRecord RecordWithStrokes(int strokes) {
  KeyCodeRecord record;
  record.bytes[0] = static_cast<std::uint8_t>(strokes + 1);
  for (int i = 1; i <= strokes; ++i) {
    const std::uint8_t key = static_cast<std::uint8_t>(17 + (i - 1) / 2 % 10);
    record.bytes[static_cast<std::size_t>(i)] =
        i % 2 ? key : static_cast<std::uint8_t>(key | kStrokeReleaseBit);
  }
  return record;
}

// Splits the measured time into the emulator's and the program's share per exchange.
void ReportShares(benchmark::State& state, Clock::time_point start, const Rig& rig,
                  std::int64_t exchanges) {
  const double totalNs = static_cast<double>(TimedHidSystem::NanosecondsSince(start));
  const double emulatorNs = static_cast<double>(rig.timed.emulatorNs);
  const double perExchange = exchanges > 0 ? 1.0 / static_cast<double>(exchanges) : 0.0;
  state.counters["emulator_us"] = emulatorNs * perExchange / 1000.0;
  state.counters["program_us"] = std::max(0.0, totalNs - emulatorNs) * perExchange / 1000.0;
}

// One ReadKeyCode exchange of a key whose record holds `strokes` strokes.
void BM_ReadKeyCode(benchmark::State& state, bool framed, int strokes) {
  Rig rig;
  const std::uint16_t productId = framed ? kBleProduct : kUsbProduct;
  const EmulatedDeviceId pad = rig.Attach(productId, framed);
  const KeyCodeRecord stored = RecordWithStrokes(strokes);
  rig.emulator.SetRecord(pad, 1, stored);
  DeviceLink link;
  if (OpenKeyPad(rig.context, link, productId, nullptr, 1, false) != 1) {
    state.SkipWithError("the key pad did not open");
    return;
  }

  rig.timed.emulatorNs = 0;
  std::int64_t exchanges = 0;
  const Clock::time_point start = Clock::now();
  for (auto _ : state) {
    KeyCodeRecord record;
    if (!ReadKeyCode(rig.context, link, 1, record) || record.bytes != stored.bytes) {
      state.SkipWithError("ReadKeyCode failed");
      break;
    }
    benchmark::DoNotOptimize(record);
    if (++exchanges % kClearEveryExchanges == 0) rig.ClearLogs();
  }
  ReportShares(state, start, rig, exchanges);
  CloseLink(rig.context, link);
}

// ReadAllKeyCodes of a whole key pad: 144 keys over feature reports, 30 over framed reports.
void BM_ReadAllKeyCodes(benchmark::State& state, bool framed) {
  Rig rig;
  const std::uint16_t productId = framed ? kBleProduct : kUsbProduct;
  const EmulatedDeviceId pad = rig.Attach(productId, framed);
  DeviceLink link;
  if (OpenKeyPad(rig.context, link, productId, nullptr, 1, false) != 1) {
    state.SkipWithError("the key pad did not open");
    return;
  }
  const KeyCodeRecord lastStored = rig.emulator.Record(pad, KeyCountForModel(productId));

  KeyCodeRecords records;
  rig.timed.emulatorNs = 0;
  std::int64_t exchanges = 0;
  const Clock::time_point start = Clock::now();
  for (auto _ : state) {
    const int keys = ReadAllKeyCodes(rig.context, link, productId, records);
    if (records[static_cast<std::size_t>(keys - 1)].bytes != lastStored.bytes) {
      state.SkipWithError("ReadAllKeyCodes missed a key");
      break;
    }
    benchmark::DoNotOptimize(records);
    exchanges += keys;
    rig.ClearLogs();
  }
  ReportShares(state, start, rig, exchanges);
  state.counters["keys"] = KeyCountForModel(productId);
  CloseLink(rig.context, link);
}

// The connect scan of a rescan: count the key pads of all product ids, open every one of them in
// the fixed order (product id, then enumeration order), then close them all. 16 key pads (two of
// them Bluetooth LE, pinged while opening) and the two foreign HID devices a system always has.
void BM_ConnectScan(benchmark::State& state) {
  Rig rig;
  for (int i = 0; i < kMaxKeyPads; ++i) {
    const std::uint16_t productId = kProductIds[static_cast<std::size_t>(i) % kProductIds.size()];
    rig.Attach(productId, productId == kBleProduct || productId == kProduct0777);
  }
  ForeignDeviceSpec mouse;
  rig.emulator.AttachForeignDevice(mouse);
  ForeignDeviceSpec keyboard;
  keyboard.productId = 0x0002;
  keyboard.usage = 0x0006;
  keyboard.inputReportLength = 9;
  keyboard.outputReportLength = 2;
  rig.emulator.AttachForeignDevice(keyboard);

  std::vector<DeviceLink> links(kMaxKeyPads);
  rig.timed.emulatorNs = 0;
  std::int64_t scans = 0;
  const Clock::time_point start = Clock::now();
  for (auto _ : state) {
    const unsigned present = TakeKeyPadCensus(rig.context).total;
    std::size_t opened = 0;
    for (std::uint16_t productId : kProductIds) {
      const std::uint16_t count = OpenKeyPad(rig.context, links[0], productId, nullptr, 0, true);
      for (std::uint16_t ordinal = 1; ordinal <= count && opened < links.size(); ++ordinal) {
        std::uint16_t version = 0;
        if (OpenKeyPad(rig.context, links[opened], productId, &version, ordinal, false) == ordinal)
          ++opened;
      }
    }
    for (std::size_t i = 0; i < opened; ++i) CloseLink(rig.context, links[i]);
    if (present != kMaxKeyPads || opened != static_cast<std::size_t>(kMaxKeyPads)) {
      state.SkipWithError("the scan did not find all 16 key pads");
      break;
    }
    ++scans;
    rig.ClearLogs();
  }
  ReportShares(state, start, rig, scans);
}

BENCHMARK_CAPTURE(BM_ReadKeyCode, feature_2_strokes, false, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ReadKeyCode, feature_60_strokes, false, 60)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ReadKeyCode, framed_2_strokes, true, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ReadKeyCode, framed_40_strokes, true, 40)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ReadAllKeyCodes, feature_144_keys, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadAllKeyCodes, framed_30_keys, true)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConnectScan)->Name("BM_ConnectScan/16_key_pads")->Unit(benchmark::kMillisecond);

// The console output, plus the worst program time per exchange of each transport.
class ExchangeReporter : public benchmark::ConsoleReporter {
 public:
  ExchangeReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
      const auto program = run.counters.find("program_us");
      const std::string name = run.benchmark_name();
      if (program == run.counters.end() || name.rfind("BM_ReadKeyCode/", 0) != 0) continue;
      double& worst = name.find("/framed") != std::string::npos ? framedUs : featureUs;
      worst = std::max(worst, program->second.value);
    }
  }

  double featureUs = -1;
  double framedUs = -1;
};

}  // namespace
}  // namespace qv

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  qv::ExchangeReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  if (reporter.featureUs >= 0 || reporter.framedUs >= 0) {
    auto shown = [](double us) {
      if (us < 0) return std::string("n/a");
      std::ostringstream text;
      text << std::fixed << std::setprecision(2) << us;
      return text.str();
    };
    const double worst = std::max(reporter.featureUs, reporter.framedUs);
    std::cout << "program time per exchange: " << shown(reporter.featureUs) << " us (feature), "
              << shown(reporter.framedUs) << " us (framed); goal < " << qv::kProgramBudgetUs
              << " us " << (worst < qv::kProgramBudgetUs ? "met" : "NOT met") << std::endl;
  }
  qv::PrintSilentKeyPadTable(std::cout);
  return 0;
}
