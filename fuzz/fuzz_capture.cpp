// The keyboard capture driven by the fuzzer's bytes: low-level key events, the dialog's buttons,
// replayed records with any bytes and length, finishing and restarts, in any order. Whatever
// the order, the entries stay within the record, controlCount counts the control entries, the
// record finished at any moment fits in 60 strokes, and finishing leaves every key press with a
// release after it.
#include <array>
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "keycode/capture.h"

using namespace qv;
using namespace qv::fuzz;

namespace {

constexpr std::uint16_t kModels[] = {1618, 1804, 1871, 1911, 4647, 4876, 4877, 6245};

void CheckState(const CaptureState& state) {
  Check(state.length >= 0 && state.length <= kMaxStrokes, "entries within the record");
  int controls = 0;
  for (int i = 0; i < state.length; ++i) {
    const std::uint8_t entry = state.entries[static_cast<std::size_t>(i)];
    if ((entry & 0x80) == 0 && IsControlEntry(entry)) ++controls;
  }
  Check(controls == state.controlCount, "controlCount counts the control entries");
  Check(FinishedLength(state) <= kMaxStrokes, "the finished record fits in 60 strokes");
}

// Every key press has a release of its key after it, each release used once.
void CheckBalanced(const CaptureState& state) {
  std::array<int, 128> owing{};
  for (int i = 0; i < state.length; ++i) {
    const std::uint8_t entry = state.entries[static_cast<std::size_t>(i)];
    const std::uint8_t key = entry & 0x7F;
    if ((entry & 0x80) == 0) {
      if (!IsControlEntry(key)) ++owing[key];
    } else if (owing[key] > 0) {
      --owing[key];
    }
  }
  for (int count : owing) Check(count == 0, "a press left without its release");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  CaptureState state;
  BeginCapture(state, kModels[input.Byte() % std::size(kModels)], true);
  const KeyTable& table = KeyTableFor(input.Bool());
  while (!input.empty()) {
    const std::uint8_t op = input.Byte();
    switch (op % 8) {
      case 0:
      case 1:
      case 2: {  // a key event; mostly a few keys, so presses, repeats and releases meet
        KeyEvent event;
        const std::uint8_t b = input.Byte();
        event.vk = b < 0xC0 ? static_cast<std::uint16_t>(0x41 + b % 6) : b;
        event.release = (op & 0x10) != 0;
        event.extended = (op & 0x20) != 0;
        event.action = (op & 0x40) == 0;
        const int before = state.length;
        const CaptureVerdict verdict = OnCaptureKey(state, event, table);
        Check(state.length == before + (verdict.appended ? 1 : 0), "appended one or nothing");
        if (verdict.appended) Check(verdict.newLength == state.length, "notified length");
        break;
      }
      case 3:
        AddEntry(state, input.Byte());
        break;
      case 4: {
        const int which = input.Byte() % 5;
        if (which == 0) PressRepeat1(state);
        if (which == 1) PressRepeat2(state);
        if (which == 2) PressDelay(state, static_cast<std::uint8_t>(0x48 + input.Byte() % 3));
        if (which == 3) PressJapaneseKey(state, 0x01);
        if (which == 4) PressJapaneseKey(state, 0x43);
        break;
      }
      case 5: {
        KeyCodeRecord record;
        input.Fill(record.bytes.data(), record.bytes.size());
        ReplayRecord(state, record);
        break;
      }
      case 6: {
        const int owed = FinishedLength(state) - state.length;
        Check(FinishCapture(state) == owed, "finishing appends the releases owed");
        Check(!state.keyHeld, "no key held after finishing");
        CheckBalanced(state);
        break;
      }
      default:
        BeginCapture(state, kModels[input.Byte() % std::size(kModels)], input.Bool());
        break;
    }
    CheckState(state);
  }
  return 0;
}
