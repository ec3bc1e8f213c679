// The capture hook's decision for one low-level key event: the work a WH_KEYBOARD_LL hook does
// before it returns (Windows drops a hook that is slow to return). Typing runs press, auto-repeat
// and release events of a few keys into a capture that is restarted when it is full, so the
// decisions cover appending, duplicate suppression and refusal.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "keycode/capture.h"

namespace qv {
namespace {

void BM_CaptureKeyEvent(benchmark::State& benchmarkState) {
  const KeyTable& table = KeyTableFor(false);
  CaptureState capture;
  BeginCapture(capture, 4876, true);  // 60 strokes: the longest scans
  // Shift held over letters, one auto-repeat, the keypad Enter, then Shift released.
  constexpr std::array<KeyEvent, 8> kEvents = {{{true, 0xA0, false, false},
                                                {true, 0x41, false, false},
                                                {true, 0x41, false, false},
                                                {true, 0x41, false, true},
                                                {true, 0x5A, false, false},
                                                {true, 0x5A, false, true},
                                                {true, 0x0D, true, false},
                                                {true, 0x0D, true, true}}};
  std::size_t next = 0;
  for (auto _ : benchmarkState) {
    CaptureVerdict verdict = OnCaptureKey(capture, kEvents[next], table);
    benchmark::DoNotOptimize(verdict);
    next = (next + 1) % kEvents.size();
    if (capture.length + capture.controlCount >= capture.capacity - 2 || verdict.beep)
      BeginCapture(capture, 4876, true);
  }
  benchmarkState.SetItemsProcessed(benchmarkState.iterations());
}
BENCHMARK(BM_CaptureKeyEvent);

// A nearly full capture: each event scans all 58 entries and is not recorded.
void BM_CaptureKeyEventNearlyFull(benchmark::State& benchmarkState) {
  const KeyTable& table = KeyTableFor(false);
  CaptureState capture;
  BeginCapture(capture, 4876, true);
  for (std::uint8_t key = 2; capture.length < 58; ++key) {
    AddEntry(capture, key);
    AddEntry(capture, static_cast<std::uint8_t>(key | kStrokeReleaseBit));
  }
  const KeyEvent release{true, 0x5A, false, true};
  for (auto _ : benchmarkState) {
    CaptureVerdict verdict = OnCaptureKey(capture, release, table);
    benchmark::DoNotOptimize(verdict);
  }
}
BENCHMARK(BM_CaptureKeyEventNearlyFull);

}  // namespace
}  // namespace qv
