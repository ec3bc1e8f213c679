// Export and import of a key-code file of the largest key pads, all keys full.
#include <benchmark/benchmark.h>

#include "keycode/key_code_file.h"
#include "keycode/key_table.h"

namespace {

qv::KeyCodeRecords FullRecords(int strokes) {
  qv::KeyCodeRecords records{};
  for (auto& record : records) {
    record.bytes[0] = static_cast<std::uint8_t>(strokes + 1);
    for (int i = 1; i <= strokes; ++i) record.bytes[i] = static_cast<std::uint8_t>(i);
  }
  return records;
}

void BM_ExportImport144Keys(benchmark::State& state) {
  const std::uint32_t identity = static_cast<std::uint32_t>(state.range(0));
  const qv::KeyCodeRecords records =
      FullRecords(qv::StrokeCapacityForModel(static_cast<std::uint16_t>(identity & 0xFFFF)));
  for (auto _ : state) {
    const std::vector<std::uint8_t> file = qv::BuildKeyCodeFile(identity, 0x65, records);
    const qv::KeyCodeFileContent content = qv::CheckKeyCodeFile(file, identity);
    benchmark::DoNotOptimize(content.verdict);
  }
}
// 4645 holds 40 strokes a key, 4877 holds 60.
BENCHMARK(BM_ExportImport144Keys)->Arg(0x01001225)->Arg(0x0100130D);

}  // namespace
