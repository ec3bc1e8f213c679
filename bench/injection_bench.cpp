// Planning one typing of the longest key code a key pad holds: 60 strokes, with and without delay
// entries.
#include <benchmark/benchmark.h>

#include "softkbd/injection.h"

namespace qv {
namespace {

KeyCodeRecord SixtyStrokes(bool withDelays) {
  KeyCodeRecord record;
  record.bytes[0] = kMaxStrokes + 1;
  for (int i = 0; i < kMaxStrokes; ++i) {
    const std::uint8_t key = static_cast<std::uint8_t>(17 + (i / 2) % 10);  // Q .. P
    record.bytes[1 + i] = (i % 2) ? static_cast<std::uint8_t>(key | kStrokeReleaseBit) : key;
  }
  if (withDelays) {
    for (int i = 9; i < kMaxStrokes; i += 10) record.bytes[1 + i] = kDelay1;
  }
  return record;
}

void BM_PlanTyping(benchmark::State& state) {
  const KeyCodeRecord record = SixtyStrokes(state.range(0) != 0);
  const KeyTable& table = KeyTableFor(false);
  for (auto _ : state) {
    TypingPlan plan = PlanTyping(record, table);
    benchmark::DoNotOptimize(plan);
  }
}
BENCHMARK(BM_PlanTyping)->Arg(0)->Arg(1)->ArgName("delays");

}  // namespace
}  // namespace qv
