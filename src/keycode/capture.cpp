#include "keycode/capture.h"

#include <algorithm>

namespace qv {
namespace {

bool IsRelease(std::uint8_t stroke) {
  return (stroke & kStrokeReleaseBit) != 0;
}

// A control entry as the editor stores it: a press of one of the five control key numbers.
bool IsControl(std::uint8_t stroke) {
  return !IsRelease(stroke) && IsControlEntry(stroke);
}

bool IsDelay(std::uint8_t stroke) {
  return stroke >= kDelay1 && stroke <= kDelay3;
}

bool IsRepeat(std::uint8_t stroke) {
  return stroke == kRepeat1 || stroke == kRepeat2;
}

// Room for one more entry: length + controlCount below the capacity (so each control entry
// costs two units), and room in the entries whatever the capacity was set to.
bool HasRoom(const CaptureState& state) {
  return state.length + state.controlCount < state.capacity && state.length < kMaxStrokes;
}

// A press or control entry is refused once the presses reach half the capacity.
bool PressAllowed(const CaptureState& state) {
  return PressCount(state) < state.capacity / 2;
}

// "[Repeat1]" and "[Repeat2]" need empty entries or a last entry that is a release or a delay.
bool RepeatMayFollow(const CaptureState& state) {
  if (state.length == 0) return true;
  const std::uint8_t last = state.entries[static_cast<std::size_t>(state.length) - 1];
  return IsRelease(last) || IsDelay(last);
}

// As many key presses (control entries not counted) as releases.
bool Balanced(const CaptureState& state) {
  return KeyPressCount(state) == ReleaseCount(state);
}

// What one more entry adds to the finished record: a key press brings its own release, a
// release of a press still owing one costs nothing more, anything else costs itself.
int FinishedGrowth(const CaptureState& state, std::uint8_t stroke) {
  if (IsControl(stroke)) return 1;
  if (!IsRelease(stroke)) return 2;
  const std::uint8_t press = stroke & kStrokeKeyMask;
  if (IsControlEntry(press)) return 1;  // control entries are never released
  int owing = 0;
  for (int i = 0; i < state.length; ++i) {
    const std::uint8_t entry = state.entries[static_cast<std::size_t>(i)];
    if (entry == press)
      ++owing;
    else if (entry == stroke && owing > 0)
      --owing;
  }
  return owing > 0 ? 0 : 1;
}

bool FitsWhenFinished(const CaptureState& state, std::uint8_t stroke) {
  return FinishedLength(state) + FinishedGrowth(state, stroke) <= kMaxStrokes;
}

void Append(CaptureState& state, std::uint8_t stroke) {
  state.entries[static_cast<std::size_t>(state.length)] = stroke;
  ++state.length;
  if (IsControl(stroke)) ++state.controlCount;
}

// Whether the entries hold a press of `key` that has no release after it: scanning back from the
// last entry, its press comes before its release.
bool HasOpenPress(const CaptureState& state, std::uint8_t key) {
  const std::uint8_t release = key | kStrokeReleaseBit;
  for (int i = state.length - 1; i >= 0; --i) {
    const std::uint8_t entry = state.entries[static_cast<std::size_t>(i)];
    if (entry == release) return false;
    if (entry == key) return true;
  }
  return false;
}

constexpr std::uint16_t kVkReturn = 0x0D;
constexpr std::uint16_t kVkNumLock = 0x90;

// Keys of the input method and of the OEM range that the hook leaves alone.
bool IgnoredByCapture(std::uint16_t vk) {
  return (vk >= 0xF0 && vk <= 0xF6) || vk == 0xFA || vk == 0xFB;
}

bool InList(std::uint16_t productId, std::initializer_list<std::uint16_t> ids) {
  return std::find(ids.begin(), ids.end(), productId) != ids.end();
}

constexpr std::initializer_list<KeyInputButton> kEditButtons = {
    KeyInputButton::kDelay1, KeyInputButton::kDelay2, KeyInputButton::kDelay3,
    KeyInputButton::kHankaku, KeyInputButton::kKatakana};
constexpr std::initializer_list<KeyInputButton> kDelayButtons = {
    KeyInputButton::kDelay1, KeyInputButton::kDelay2, KeyInputButton::kDelay3};
constexpr std::initializer_list<KeyInputButton> kJapaneseButtons = {KeyInputButton::kHankaku,
                                                                    KeyInputButton::kKatakana};

// Group B's rule of "リピート1": usable while at most two units of capacity are taken and the key
// code does not begin with a repeat entry.
void PlanRepeat1(const CaptureState& state, ButtonPlan& plan) {
  const bool startsWithRepeat = state.length > 0 && IsRepeat(state.entries[0]);
  if (state.length + state.controlCount <= 2 && !startsWithRepeat) {
    plan[KeyInputButton::kRepeat1] = ButtonChange::kEnable;
  } else {
    plan[KeyInputButton::kRepeat1] = ButtonChange::kDisable;
    plan.focusToDialog = true;
  }
}

ButtonOutcome AppendControlFromButton(CaptureState& state, std::uint8_t entry) {
  ButtonOutcome outcome;
  const bool wasEmpty = state.length == 0;
  Append(state, entry);
  outcome.accepted = true;
  outcome.appended = 1;
  if (entry == kRepeat1) {
    state.repeat1Mode = true;
    if (!wasEmpty) state.complete = true;
  } else if (entry == kRepeat2) {
    if (!wasEmpty) state.complete = true;
  } else if (state.repeat1Mode && !wasEmpty) {
    state.complete = true;
  }
  if (IsRepeat(entry)) {
    outcome.plan.focusToDialog = true;
    outcome.plan.Set({KeyInputButton::kRepeat1, KeyInputButton::kRepeat2}, ButtonChange::kDisable);
    if (state.complete) outcome.plan.Set(kEditButtons, ButtonChange::kDisable);
  }
  return outcome;
}

}  // namespace

void ResetCapture(CaptureState& state) {
  state.length = 0;
  state.controlCount = 0;
  state.complete = false;
  state.repeat1Mode = false;
}

void BeginCapture(CaptureState& state, std::uint16_t productId, bool reset) {
  if (reset) ResetCapture(state);
  state.capacity = StrokeCapacityForModel(productId);
}

int PressCount(const CaptureState& state) {
  int presses = 0;
  for (int i = 0; i < state.length; ++i)
    if (!IsRelease(state.entries[static_cast<std::size_t>(i)])) ++presses;
  return presses;
}

int KeyPressCount(const CaptureState& state) {
  int presses = 0;
  for (int i = 0; i < state.length; ++i) {
    const std::uint8_t entry = state.entries[static_cast<std::size_t>(i)];
    if (!IsRelease(entry) && !IsControl(entry)) ++presses;
  }
  return presses;
}

int ReleaseCount(const CaptureState& state) {
  return state.length - PressCount(state);
}

int FinishedLength(const CaptureState& state) {
  // A release pairs with the earliest press of its key still owing one; counting per key gives
  // the same number of unpaired presses as the finishing's own pairing.
  std::array<std::uint8_t, kKeyTableEntries> owing{};
  int unpaired = 0;
  for (int i = 0; i < state.length; ++i) {
    const std::uint8_t entry = state.entries[static_cast<std::size_t>(i)];
    const std::uint8_t key = entry & kStrokeKeyMask;
    if (IsControl(entry)) continue;
    if (!IsRelease(entry)) {
      ++owing[key];
      ++unpaired;
    } else if (owing[key] > 0) {
      --owing[key];
      --unpaired;
    }
  }
  return state.length + unpaired;
}

bool AddEntry(CaptureState& state, std::uint8_t stroke) {
  const bool press = !IsRelease(stroke);
  if (press && !PressAllowed(state)) return false;
  if (!HasRoom(state)) return false;
  // A repeat entry needs no key held and follows nothing but a release or a delay; "[Repeat2]"
  // after other entries needs them balanced.
  if (IsRepeat(stroke) && (state.keyHeld || !RepeatMayFollow(state))) return false;
  if (stroke == kRepeat2 && state.length > 0 && !Balanced(state)) return false;
  if (!FitsWhenFinished(state, stroke)) return false;
  const bool wasEmpty = state.length == 0;
  if (stroke == kRepeat1) state.repeat1Mode = true;  // at the start, or after a release or delay
  Append(state, stroke);
  // "[Repeat2]" after other entries ends the key code; so does anything after "[Repeat1]" once
  // the key code has two entries.
  if (stroke == kRepeat2 && !wasEmpty) state.complete = true;
  if (state.repeat1Mode && state.length >= 2) state.complete = true;
  return true;
}

int ReplayRecord(CaptureState& state, const KeyCodeRecord& record) {
  ResetCapture(state);
  int accepted = 0;
  const int strokes = StrokeCount(record);
  for (int i = 1; i <= strokes; ++i)
    if (AddEntry(state, record.bytes[static_cast<std::size_t>(i)])) ++accepted;
  return accepted;
}

int FinishCapture(CaptureState& state) {
  const int length = std::min(state.length, kMaxStrokes);
  std::array<bool, kMaxStrokes> paired{};
  std::array<bool, kMaxStrokes> releaseUsed{};
  for (int i = 0; i < length; ++i) {
    const std::uint8_t entry = state.entries[static_cast<std::size_t>(i)];
    if (IsRelease(entry)) continue;
    if (IsControl(entry)) {
      paired[static_cast<std::size_t>(i)] = true;
      continue;
    }
    const std::uint8_t release = entry | kStrokeReleaseBit;
    for (int j = i + 1; j < length; ++j) {
      if (!releaseUsed[static_cast<std::size_t>(j)] &&
          state.entries[static_cast<std::size_t>(j)] == release) {
        releaseUsed[static_cast<std::size_t>(j)] = true;
        paired[static_cast<std::size_t>(i)] = true;
        break;
      }
    }
  }
  int appended = 0;
  for (int i = length - 1; i >= 0; --i) {
    const std::uint8_t entry = state.entries[static_cast<std::size_t>(i)];
    if (IsRelease(entry) || paired[static_cast<std::size_t>(i)]) continue;
    // The editing rules keep a finished record within 60 strokes; this only guards the array.
    if (state.length >= kMaxStrokes) break;
    state.entries[static_cast<std::size_t>(state.length)] = entry | kStrokeReleaseBit;
    ++state.length;
    ++appended;
  }
  // Every held key now has its release in the record.
  state.keyHeld = false;
  state.heldVk = 0;
  if (appended > 0 && state.repeat1Mode) state.complete = true;
  return appended;
}

KeyCodeRecord CaptureRecord(const CaptureState& state) {
  KeyCodeRecord record;
  const int length = std::clamp(state.length, 0, kMaxStrokes);
  record.bytes[0] = static_cast<std::uint8_t>(length + 1);
  std::copy_n(state.entries.begin(), length, record.bytes.begin() + 1);
  return record;
}

bool AcceptDefaultKeyCode(bool readOk, KeyCodeRecord& read) {
  if (!readOk || read.bytes[0] > kRecordBytes) return false;
  if (read.bytes[0] == 0) read.bytes[0] = 1;
  return true;
}

KeyEvent KeyEventFromKeyMessage(std::uint16_t vk, std::uint32_t lParam) {
  constexpr std::uint16_t kVkShift = 0x10, kVkControl = 0x11, kVkMenu = 0x12;
  constexpr std::uint16_t kVkLeftShift = 0xA0, kVkLeftControl = 0xA2, kVkLeftMenu = 0xA4;
  constexpr std::uint32_t kRightShiftScan = 0x36;
  KeyEvent event;
  event.extended = (lParam & (1u << 24)) != 0;
  event.release = (lParam & (1u << 31)) != 0;
  const bool right = vk == kVkShift ? ((lParam >> 16) & 0xFF) == kRightShiftScan : event.extended;
  switch (vk) {
    case kVkShift:
      event.vk = right ? kVkLeftShift + 1 : kVkLeftShift;
      break;
    case kVkControl:
      event.vk = right ? kVkLeftControl + 1 : kVkLeftControl;
      break;
    case kVkMenu:
      event.vk = right ? kVkLeftMenu + 1 : kVkLeftMenu;
      break;
    default:
      event.vk = vk;
  }
  return event;
}

CaptureVerdict OnCaptureKey(CaptureState& state, const KeyEvent& event, const KeyTable& table) {
  CaptureVerdict verdict;
  // 1. Other hook codes, and everything once the key code is complete, pass unchanged.
  if (!event.action || state.complete) {
    verdict.passOn = true;
    return verdict;
  }
  // 2. The keypad Enter carries the extended mark.
  const std::uint16_t vk = (event.vk == kVkReturn && event.extended) ? kVkKeypadEnter : event.vk;
  verdict.vk = vk;
  // 3. Input-method keys pass unrecorded.
  if (IgnoredByCapture(vk)) {
    verdict.passOn = true;
    return verdict;
  }
  // 8. A swallowed event is swallowed, except NumLock, whose state must still toggle.
  const bool numLock = vk == kVkNumLock;
  auto swallow = [&]() {
    verdict.passOn = numLock;
    return verdict;
  };
  const bool press = !event.release;
  const std::uint8_t key = KeyNumberFromVk(vk, table) & kStrokeKeyMask;
  // A release whose press the capture did not record (a key already held when capture began or
  // resumed, or a press that was refused) goes on: the system saw that press, and swallowing its
  // release would leave the key logically down.
  if (!press && !HasOpenPress(state, key)) {
    if (state.keyHeld && state.heldVk == vk) {
      state.keyHeld = false;
      state.heldVk = 0;
    }
    verdict.passOn = true;
    return verdict;
  }
  // 4. No room: a press beeps.
  if (state.length + state.controlCount >= state.capacity || state.length >= kMaxStrokes) {
    verdict.beep = press;
    return swallow();
  }
  // 5. Which key is held; in repeat1Mode only the one key after "[Repeat1]" is captured.
  if (press) {
    if (state.repeat1Mode && state.keyHeld) {
      verdict.passOn = true;
      return verdict;
    }
    if (state.repeat1Mode) verdict.lockEditButtons = true;
    state.keyHeld = true;
    state.heldVk = vk;
  } else {
    if (state.repeat1Mode && state.keyHeld) {
      if (vk != state.heldVk) {
        verdict.passOn = true;
        return verdict;
      }
      state.complete = true;
    }
    state.keyHeld = false;
    state.heldVk = 0;
  }
  const std::uint8_t stroke = press ? key : static_cast<std::uint8_t>(key | kStrokeReleaseBit);
  // 6. Each press counts against half the capacity before its release is added.
  if (press && (!PressAllowed(state) || !FitsWhenFinished(state, stroke))) {
    verdict.beep = true;
    return swallow();
  }
  // 7. Duplicate suppression, from the last entry backwards.
  const std::uint8_t release = key | kStrokeReleaseBit;
  bool append = press;
  for (int i = state.length - 1; i >= 0; --i) {
    const std::uint8_t entry = state.entries[static_cast<std::size_t>(i)];
    if (press) {
      if (entry == release) break;  // pressed again after its release
      if (entry == key) {           // still held: auto-repeat
        append = false;
        break;
      }
    } else {
      if (entry == release) break;  // released already
      if (entry == key) {
        append = true;
        break;
      }
    }
  }
  if (append) {
    Append(state, stroke);
    verdict.appended = true;
    verdict.stroke = stroke;
    verdict.newLength = state.length;
  }
  return swallow();
}

KeyInputModel KeyInputModelFor(std::uint16_t productId) {
  KeyInputModel model;
  model.repeatDelayHidden = InList(productId, {1618, 1804});
  model.groupA =
      InList(productId, {1871, 1872, 1887, 1911, 4644, 4645, 4647, 4876, 4877, 5162, 6245});
  model.groupB = model.groupA && productId != 1911;
  return model;
}

ButtonOutcome PressJapaneseKey(CaptureState& state, std::uint8_t keyNumber) {
  ButtonOutcome outcome;
  const std::uint8_t press = keyNumber & kStrokeKeyMask;
  if (state.length + state.controlCount >= state.capacity - 1 || !PressAllowed(state) ||
      state.length + 2 > kMaxStrokes || FinishedLength(state) + 2 > kMaxStrokes) {
    return outcome;
  }
  for (const std::uint8_t stroke : {press, static_cast<std::uint8_t>(press | kStrokeReleaseBit)}) {
    if (state.repeat1Mode && state.length > 0) state.complete = true;
    Append(state, stroke);
  }
  outcome.accepted = true;
  outcome.appended = 2;
  return outcome;
}

ButtonOutcome PressRepeat1(CaptureState& state) {
  if (!PressAllowed(state) || !HasRoom(state) || state.keyHeld || !RepeatMayFollow(state) ||
      !FitsWhenFinished(state, kRepeat1)) {
    return {};
  }
  return AppendControlFromButton(state, kRepeat1);
}

ButtonOutcome PressRepeat2(CaptureState& state) {
  if (!PressAllowed(state) || !HasRoom(state) || state.keyHeld || !RepeatMayFollow(state) ||
      (state.length > 0 && !Balanced(state)) || !FitsWhenFinished(state, kRepeat2)) {
    return {};
  }
  return AppendControlFromButton(state, kRepeat2);
}

ButtonOutcome PressDelay(CaptureState& state, std::uint8_t delay) {
  if (!IsDelay(delay) || !PressAllowed(state) || !HasRoom(state) ||
      !FitsWhenFinished(state, delay)) {
    return {};
  }
  return AppendControlFromButton(state, delay);
}

ButtonPlan PlanAfterDefaultLoad(const CaptureState& state, std::uint16_t productId) {
  ButtonPlan plan;
  if (KeyInputModelFor(productId).groupA) {
    if (state.length >= 3) {
      plan[KeyInputButton::kRepeat1] = ButtonChange::kDisable;
      plan.focusToDialog = true;
    } else {
      plan[KeyInputButton::kRepeat1] = ButtonChange::kEnable;
    }
    plan[KeyInputButton::kRepeat2] = ButtonChange::kEnable;
    plan.Set(kDelayButtons, ButtonChange::kEnable);
  }
  plan.Set(kJapaneseButtons, ButtonChange::kEnable);
  return plan;
}

ButtonPlan PlanAfterClear(std::uint16_t productId) {
  ButtonPlan plan;
  if (KeyInputModelFor(productId).groupA) {
    plan.Set({KeyInputButton::kRepeat1, KeyInputButton::kRepeat2}, ButtonChange::kEnable);
    plan.Set(kDelayButtons, ButtonChange::kEnable);
  }
  plan.Set(kJapaneseButtons, ButtonChange::kEnable);
  return plan;
}

ButtonPlan PlanAfterEntriesChanged(const CaptureState& state, std::uint16_t productId) {
  ButtonPlan plan;
  if (KeyInputModelFor(productId).groupB) PlanRepeat1(state, plan);
  if (state.complete) {
    plan.focusToDialog = true;
    plan.Set(kEditButtons, ButtonChange::kDisable);
  }
  return plan;
}

ButtonPlan PlanAfterRecordLoaded(const CaptureState& state, std::uint16_t productId) {
  ButtonPlan plan;
  if (KeyInputModelFor(productId).groupB) PlanRepeat1(state, plan);
  plan[KeyInputButton::kRepeat2] = ButtonChange::kEnable;
  plan.Set(kEditButtons, ButtonChange::kEnable);
  return plan;
}

}  // namespace qv
