// The benchmarks' HID system: forwards every call to the key pad emulator, adds the time spent
// inside the emulator to `emulatorNs` and counts the feature reports, so that a case can report
// the program's own share of a run apart from the emulator's, and count the exchanges a real key
// pad would have to answer.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "device/hid_port.h"
#include "emulator/emulated_hid_system.h"

namespace qv {

class TimedHidSystem : public HidSystem {
 public:
  using Clock = std::chrono::steady_clock;

  explicit TimedHidSystem(EmulatedHidSystem& emulator) : emulator_(emulator) {}

  std::uint64_t emulatorNs = 0;      // time spent inside the emulator
  std::uint64_t featureReports = 0;  // feature reports set or got

  // Runs `call`, its time counted as the emulator's.
  template <typename Call>
  auto Timed(Call&& call) {
    const Clock::time_point start = Clock::now();
    if constexpr (std::is_void_v<decltype(call())>) {
      call();
      emulatorNs += NanosecondsSince(start);
    } else {
      auto result = call();
      emulatorNs += NanosecondsSince(start);
      return result;
    }
  }

  bool EnumeratePaths(std::vector<std::u16string>& paths) override {
    return Timed([&] { return emulator_.EnumeratePaths(paths); });
  }
  HidHandle Open(std::u16string_view path, bool overlapped) override {
    return Timed([&] { return emulator_.Open(path, overlapped); });
  }
  void Close(HidHandle handle) override {
    Timed([&] { emulator_.Close(handle); });
  }
  bool GetAttributes(HidHandle handle, HidAttributes& attributes) override {
    return Timed([&] { return emulator_.GetAttributes(handle, attributes); });
  }
  bool GetCaps(HidHandle handle, HidCaps& caps) override {
    return Timed([&] { return emulator_.GetCaps(handle, caps); });
  }
  bool GetFirstValueCaps(HidHandle handle, HidReportKind kind, HidValueCaps& valueCaps) override {
    return Timed([&] { return emulator_.GetFirstValueCaps(handle, kind, valueCaps); });
  }
  bool SetFeature(HidHandle handle, const std::uint8_t* report, std::size_t length) override {
    ++featureReports;
    return Timed([&] { return emulator_.SetFeature(handle, report, length); });
  }
  bool GetFeature(HidHandle handle, std::uint8_t* report, std::size_t length) override {
    ++featureReports;
    return Timed([&] { return emulator_.GetFeature(handle, report, length); });
  }
  bool WriteOutput(HidHandle handle, const std::uint8_t* report, std::size_t length,
                   std::uint32_t timeoutMs) override {
    return Timed([&] { return emulator_.WriteOutput(handle, report, length, timeoutMs); });
  }
  HidReadResult ReadInput(HidHandle handle, std::uint8_t* report, std::size_t length,
                          std::uint32_t timeoutMs, std::size_t& bytesRead) override {
    return Timed([&] { return emulator_.ReadInput(handle, report, length, timeoutMs, bytesRead); });
  }

  static std::uint64_t NanosecondsSince(Clock::time_point start) {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
  }

 private:
  EmulatedHidSystem& emulator_;
};

}  // namespace qv
