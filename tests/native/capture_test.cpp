// The keyboard capture of the key input dialog: the hook's decision per key event, the buttons'
// rules, the finishing, and replayed records that must still finish within a record.
#include "keycode/capture.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace qv {
namespace {

using Strokes = std::vector<std::uint8_t>;

constexpr std::uint16_t kVkA = 0x41, kVkB = 0x42, kVkX = 0x58, kVkShift = 0xA0, kVkNumLock = 0x90;
constexpr std::uint8_t kA = 31, kB = 50, kX = 47, kShift = 44, kNumLock = 90;
constexpr std::uint8_t kUp = kStrokeReleaseBit;

constexpr std::uint16_t kSmallModel = 4647;  // 40 strokes
constexpr std::uint16_t kLargeModel = 4876;  // 60 strokes

KeyCodeRecord Record(const Strokes& strokes) {
  KeyCodeRecord record;
  record.bytes[0] = static_cast<std::uint8_t>(strokes.size() + 1);
  for (std::size_t i = 0; i < strokes.size() && i < kMaxStrokes; ++i)
    record.bytes[i + 1] = strokes[i];
  return record;
}

class Capture : public ::testing::Test {
 protected:
  void SetUp() override { BeginCapture(state, kSmallModel, true); }

  CaptureVerdict Down(std::uint16_t vk) {
    return OnCaptureKey(state, {true, vk, false, false}, table);
  }
  CaptureVerdict Up(std::uint16_t vk) {
    return OnCaptureKey(state, {true, vk, false, true}, table);
  }
  void Tap(std::uint16_t vk) {
    Down(vk);
    Up(vk);
  }
  Strokes Entries() const {
    return Strokes(state.entries.begin(), state.entries.begin() + state.length);
  }

  CaptureState state;
  const KeyTable& table = KeyTableFor(false);
};

TEST_F(Capture, KeysHeldOverOthersAreRecordedInOrderAndAutoRepeatAddsNothing) {
  for (const CaptureVerdict& verdict :
       {Down(kVkA), Down(kVkA), Down(kVkA), Down(kVkB), Up(kVkB), Up(kVkA)}) {
    EXPECT_FALSE(verdict.passOn);  // nothing reaches the system
    EXPECT_FALSE(verdict.beep);
  }
  EXPECT_EQ(Entries(), (Strokes{kA, kB, kB | kUp, kA | kUp}));

  // An auto-repeated press is swallowed without a notification.
  const CaptureVerdict again = Down(kVkB);
  EXPECT_TRUE(again.appended);
  EXPECT_EQ(again.newLength, 5);
  const CaptureVerdict repeat = Down(kVkB);
  EXPECT_FALSE(repeat.appended);
  EXPECT_FALSE(repeat.passOn);
}

TEST_F(Capture, LeavingTheDialogReleasesHeldKeysMostRecentFirst) {
  Down(kVkShift);
  Down(kVkX);
  Up(kVkX);
  EXPECT_EQ(FinishCapture(state), 1);
  EXPECT_EQ(Entries(), (Strokes{kShift, kX, kX | kUp, kShift | kUp}));
  EXPECT_FALSE(state.keyHeld);

  // Two held keys: the later one is released first; a second finishing adds nothing.
  BeginCapture(state, kSmallModel, true);
  Down(kVkShift);
  Down(kVkX);
  EXPECT_EQ(FinishCapture(state), 2);
  EXPECT_EQ(FinishCapture(state), 0);
  EXPECT_EQ(Entries(), (Strokes{kShift, kX, kX | kUp, kShift | kUp}));
  EXPECT_EQ(CaptureRecord(state).bytes[0], 5);

  // After "[Repeat1]", the repeated key's release given by leaving ends the key code, as the
  // key's own release would have; coming back records nothing more.
  BeginCapture(state, kSmallModel, true);
  PressRepeat1(state);
  Down(kVkA);
  FinishCapture(state);
  EXPECT_TRUE(state.complete);
  EXPECT_TRUE(Down(kVkB).passOn);
  EXPECT_EQ(Entries(), (Strokes{kRepeat1, kA, kA | kUp}));
}

TEST_F(Capture, AReleaseWhosePressWasNotRecordedReachesTheSystem) {
  // Shift held when the dialog became active: its press went to the system, so must its release.
  const CaptureVerdict shiftUp = Up(kVkShift);
  EXPECT_TRUE(shiftUp.passOn);
  EXPECT_FALSE(shiftUp.appended);
  EXPECT_EQ(state.length, 0);

  // A recorded key's release is swallowed; a second release of it has no recorded press left.
  Tap(kVkA);
  EXPECT_TRUE(Up(kVkA).passOn);
  EXPECT_EQ(Entries(), (Strokes{kA, kA | kUp}));

  // Also when no room is left.
  BeginCapture(state, kSmallModel, true);
  for (std::uint16_t vk = kVkA; vk < kVkA + 20; ++vk) Tap(vk);  // A to T
  ASSERT_EQ(state.length, state.capacity);
  EXPECT_TRUE(Up(kVkX).passOn);
}

TEST_F(Capture, PressesCountAgainstHalfTheCapacityControlEntriesIncluded) {
  struct Case {
    int delays;
    int keysAccepted;
  };
  for (const Case c : {Case{0, 20}, Case{2, 18}}) {
    SCOPED_TRACE(c.delays);
    BeginCapture(state, kSmallModel, true);
    for (int i = 0; i < c.delays; ++i) EXPECT_TRUE(PressDelay(state, kDelay1).accepted);
    for (int i = 0; i < c.keysAccepted; ++i) {
      const CaptureVerdict verdict = Down(static_cast<std::uint16_t>(kVkA + i));  // held keys
      EXPECT_TRUE(verdict.appended) << i;
    }
    const CaptureVerdict refused = Down(0x5A);  // the 21st press
    EXPECT_TRUE(refused.beep);
    EXPECT_FALSE(refused.appended);
    EXPECT_FALSE(refused.passOn);
    EXPECT_EQ(PressCount(state), 20);
    // Its release is not recorded and goes on to the system; a held key's release is recorded.
    const CaptureVerdict refusedUp = Up(0x5A);
    EXPECT_FALSE(refusedUp.appended);
    EXPECT_TRUE(refusedUp.passOn);
    EXPECT_TRUE(Up(kVkA).appended);
  }
}

TEST_F(Capture, EachControlEntryCostsTwoUnitsOfCapacity) {
  for (std::uint8_t delay : {kDelay1, kDelay2, kDelay3, kDelay1, kDelay2})
    EXPECT_TRUE(PressDelay(state, delay).accepted);
  for (std::uint16_t vk = kVkA; state.length < 35; ++vk) Tap(vk);
  EXPECT_EQ(state.length, 35);
  EXPECT_TRUE(Down(0x5A).beep);  // length + controlCount has reached 40
  EXPECT_FALSE(PressDelay(state, kDelay3).accepted);
  EXPECT_FALSE(PressJapaneseKey(state, 0x01).accepted);
  EXPECT_FALSE(AddEntry(state, kB | kUp));
  EXPECT_EQ(FinishedLength(state), 35);
}

TEST_F(Capture, Repeat1CapturesOneKeyAndEndsOnItsRelease) {
  const ButtonOutcome repeat = PressRepeat1(state);
  ASSERT_TRUE(repeat.accepted);
  EXPECT_TRUE(state.repeat1Mode);
  EXPECT_FALSE(state.complete);
  EXPECT_EQ(repeat.plan[KeyInputButton::kRepeat1], ButtonChange::kDisable);
  EXPECT_EQ(repeat.plan[KeyInputButton::kRepeat2], ButtonChange::kDisable);

  const CaptureVerdict first = Down(kVkA);
  EXPECT_TRUE(first.appended);
  EXPECT_TRUE(first.lockEditButtons);
  // Other keys meanwhile, and the held key's auto-repeat, reach the system unrecorded.
  for (const CaptureVerdict& other : {Down(kVkB), Up(kVkB), Down(kVkA)}) {
    EXPECT_TRUE(other.passOn);
    EXPECT_FALSE(other.appended);
  }
  const CaptureVerdict last = Up(kVkA);
  EXPECT_TRUE(last.appended);
  EXPECT_FALSE(last.passOn);
  EXPECT_TRUE(state.complete);
  EXPECT_EQ(Entries(), (Strokes{kRepeat1, kA, kA | kUp}));
  EXPECT_TRUE(PlanAfterEntriesChanged(state, kSmallModel)[KeyInputButton::kDelay1] ==
              ButtonChange::kDisable);
  // Complete: everything passes and nothing more is recorded.
  EXPECT_TRUE(Down(kVkX).passOn);
  EXPECT_EQ(state.length, 3);
}

TEST_F(Capture, Repeat2NeedsABalancedSequenceAndEndsIt) {
  // Unbalanced: A is still down (its release is owed), B was pressed and released.
  EXPECT_EQ(ReplayRecord(state, Record({kA, kB, kB | kUp})), 3);
  EXPECT_FALSE(PressRepeat2(state).accepted);
  EXPECT_FALSE(AddEntry(state, kRepeat2));
  // A key still held refuses it too, even when the record is balanced.
  EXPECT_EQ(ReplayRecord(state, Record({kA, kA | kUp})), 2);
  state.keyHeld = true;
  EXPECT_FALSE(PressRepeat2(state).accepted);
  state.keyHeld = false;

  const ButtonOutcome repeat = PressRepeat2(state);
  ASSERT_TRUE(repeat.accepted);
  EXPECT_TRUE(state.complete);
  EXPECT_EQ(repeat.plan[KeyInputButton::kHankaku], ButtonChange::kDisable);
  EXPECT_EQ(Entries(), (Strokes{kA, kA | kUp, kRepeat2}));
  EXPECT_EQ(state.controlCount, 1);
  EXPECT_TRUE(Down(kVkB).passOn);
}

TEST_F(Capture, NumLockIsRecordedAndStillReachesTheSystem) {
  const CaptureVerdict down = Down(kVkNumLock);
  const CaptureVerdict up = Up(kVkNumLock);
  EXPECT_TRUE(down.passOn && down.appended);
  EXPECT_TRUE(up.passOn && up.appended);
  EXPECT_EQ(Entries(), (Strokes{kNumLock, kNumLock | kUp}));
  // Refused (presses at half the capacity), it still toggles the PC's state.
  for (std::uint16_t vk = kVkA; PressCount(state) < state.capacity / 2; ++vk) Tap(vk);
  const CaptureVerdict full = Down(kVkNumLock);
  EXPECT_TRUE(full.beep && full.passOn && !full.appended);
}

TEST_F(Capture, KeypadEnterAndInputMethodKeys) {
  const CaptureVerdict enter = OnCaptureKey(state, {true, 0x0D, true, false}, table);
  EXPECT_EQ(enter.vk, kVkKeypadEnter);
  EXPECT_EQ(enter.stroke, 108);
  const CaptureVerdict ime = Down(0xF3);
  EXPECT_TRUE(ime.passOn);
  EXPECT_FALSE(ime.appended);
  EXPECT_TRUE(OnCaptureKey(state, {false, kVkA, false, false}, table).passOn);
  EXPECT_EQ(state.length, 1);
}

// A key that reached the dialog's thread without passing the hook (typed at once after the dialog
// came back to the front, before its hook was in) is recorded as the hook would have recorded it.
TEST_F(Capture, KeyMessagesOfTheDialogsThreadGiveTheHooksEvents) {
  constexpr std::uint32_t kReleased = 1u << 31, kExtended = 1u << 24;
  auto scan = [](std::uint32_t code) { return code << 16; };
  struct Case {
    std::uint16_t vk;
    std::uint32_t lParam;
    KeyEvent event;
  };
  const Case cases[] = {
      {0x41, scan(0x1E), {true, kVkA, false, false}},
      {0x41, scan(0x1E) | kReleased | (1u << 30), {true, kVkA, false, true}},
      {0x10, scan(0x2A), {true, 0xA0, false, false}},  // Shift(左)
      {0x10, scan(0x36) | kReleased, {true, 0xA1, false, true}},
      {0x11, scan(0x1D), {true, 0xA2, false, false}},  // Ctrl(左)
      {0x11, scan(0x1D) | kExtended, {true, 0xA3, true, false}},
      {0x12, scan(0x38) | (1u << 29), {true, 0xA4, false, false}},  // Alt(左)
      {0x12, scan(0x38) | kExtended | kReleased, {true, 0xA5, true, true}},
      {0x0D, scan(0x1C) | kExtended, {true, 0x0D, true, false}},  // the keypad Enter
  };
  for (const Case& c : cases) {
    const KeyEvent event = KeyEventFromKeyMessage(c.vk, c.lParam);
    EXPECT_EQ(event.vk, c.event.vk) << std::hex << c.vk << " " << c.lParam;
    EXPECT_EQ(event.extended, c.event.extended) << std::hex << c.vk << " " << c.lParam;
    EXPECT_EQ(event.release, c.event.release) << std::hex << c.vk << " " << c.lParam;
    EXPECT_TRUE(event.action);
  }
  // Right Shift and A, typed as messages, are recorded as the hook records them.
  for (const auto& [vk, lParam] :
       {std::pair{0x10, scan(0x36)}, std::pair{0x41, scan(0x1E)},
        std::pair{0x41, scan(0x1E) | kReleased}, std::pair{0x10, scan(0x36) | kReleased}}) {
    OnCaptureKey(state, KeyEventFromKeyMessage(static_cast<std::uint16_t>(vk), lParam), table);
  }
  constexpr std::uint8_t kRightShift = 57;  // Shift(右)
  EXPECT_EQ(KeyNumberFromVk(0xA1, table), kRightShift);
  EXPECT_EQ(Entries(), (Strokes{kRightShift, kA, kA | kUp, kRightShift | kUp}));
}

TEST_F(Capture, ReplayedStrokesThatWouldNotFinishWithinARecordAreRefused) {
  // 20 releases of keys never pressed, then 25 presses on a 60-stroke model: each press owes a
  // release, so only 20 presses fit, and the finished record has exactly 60 strokes.
  BeginCapture(state, kLargeModel, true);
  Strokes strokes;
  for (int i = 0; i < 20; ++i) strokes.push_back(static_cast<std::uint8_t>((kA + i) | kUp));
  for (int i = 0; i < 25; ++i) strokes.push_back(static_cast<std::uint8_t>(2 + i));
  KeyCodeRecord record;
  record.bytes[0] = static_cast<std::uint8_t>(strokes.size() + 1);
  std::copy(strokes.begin(), strokes.end(), record.bytes.begin() + 1);
  EXPECT_EQ(ReplayRecord(state, record), 40);
  EXPECT_EQ(FinishedLength(state), kMaxStrokes);
  // Nothing that owes more fits afterwards, from the keyboard or the buttons.
  EXPECT_TRUE(Down(kVkX).beep);
  EXPECT_FALSE(PressJapaneseKey(state, 0x43).accepted);
  EXPECT_FALSE(PressDelay(state, kDelay2).accepted);
  EXPECT_EQ(FinishCapture(state), 20);
  EXPECT_EQ(state.length, kMaxStrokes);
  EXPECT_EQ(CaptureRecord(state).bytes[0], kRecordBytes);

  // Releases of a control entry's number pair with nothing: each costs a stroke of its own.
  BeginCapture(state, kLargeModel, true);
  strokes.assign(1, kDelay1);
  for (int i = 0; i < 19; ++i) strokes.push_back(static_cast<std::uint8_t>(2 + i));
  strokes.insert(strokes.end(), 21, 100 | kUp);  // releases of a key never pressed
  strokes.push_back(kDelay1 | kUp);
  EXPECT_EQ(ReplayRecord(state, Record(strokes)), 41);
  EXPECT_EQ(FinishedLength(state), kMaxStrokes);

  // A length byte beyond the record replays no more than its 60 strokes.
  KeyCodeRecord damaged = Record({kA, kA | kUp});
  damaged.bytes[0] = 200;
  BeginCapture(state, kLargeModel, true);
  ReplayRecord(state, damaged);
  EXPECT_LE(FinishedLength(state), kMaxStrokes);
}

TEST_F(Capture, ReplayedRepeatEntriesFollowTheEditingRules) {
  // "[Repeat1]" first sets repeat1Mode; the key code is complete at length 2.
  EXPECT_EQ(ReplayRecord(state, Record({kRepeat1, kA, kA | kUp})), 3);
  EXPECT_TRUE(state.repeat1Mode && state.complete);
  // A repeat entry after a press is refused.
  EXPECT_EQ(ReplayRecord(state, Record({kA, kRepeat1, kRepeat2})), 1);
  EXPECT_FALSE(state.repeat1Mode);
  // "[Repeat2]" first is accepted but does not end the key code.
  EXPECT_EQ(ReplayRecord(state, Record({kRepeat2, kB, kB | kUp})), 3);
  EXPECT_FALSE(state.complete);
  EXPECT_EQ(state.controlCount, 1);
}

TEST(DefaultKeyCode, LengthZeroIsEmptyAndBeyondARecordIsAFailedRead) {
  KeyCodeRecord read = Record({kA, kA | kUp});
  EXPECT_TRUE(AcceptDefaultKeyCode(true, read));
  read.bytes[0] = 0;
  EXPECT_TRUE(AcceptDefaultKeyCode(true, read));
  EXPECT_EQ(read.bytes[0], 1);
  read.bytes[0] = 62;
  EXPECT_FALSE(AcceptDefaultKeyCode(true, read));
  read.bytes[0] = 3;
  EXPECT_FALSE(AcceptDefaultKeyCode(false, read));
}

TEST(KeyInputButtons, ModelGroupsDecideWhichButtonsTheRulesMaintain) {
  CaptureState state;
  BeginCapture(state, 1911, true);
  for (std::uint8_t stroke : Strokes{kA, kA | kUp, kB}) AddEntry(state, stroke);
  // 1911 is in group A only: "初期設定" sets "リピート1", a capture update leaves it.
  EXPECT_EQ(PlanAfterDefaultLoad(state, 1911)[KeyInputButton::kRepeat1], ButtonChange::kDisable);
  EXPECT_EQ(PlanAfterEntriesChanged(state, 1911)[KeyInputButton::kRepeat1], ButtonChange::kKeep);
  EXPECT_EQ(PlanAfterEntriesChanged(state, 4647)[KeyInputButton::kRepeat1], ButtonChange::kDisable);
  // The models without repeat and delay buttons change only the Japanese keys' buttons.
  const ButtonPlan hidden = PlanAfterClear(1618);
  EXPECT_TRUE(KeyInputModelFor(1804).repeatDelayHidden);
  EXPECT_EQ(hidden[KeyInputButton::kRepeat2], ButtonChange::kKeep);
  EXPECT_EQ(hidden[KeyInputButton::kKatakana], ButtonChange::kEnable);
  // "リピート1" stays usable while at most two units are taken and no repeat entry leads.
  ResetCapture(state);
  AddEntry(state, kA);
  EXPECT_EQ(PlanAfterEntriesChanged(state, 4647)[KeyInputButton::kRepeat1], ButtonChange::kEnable);
  ResetCapture(state);
  AddEntry(state, kRepeat2);
  EXPECT_EQ(PlanAfterRecordLoaded(state, 4647)[KeyInputButton::kRepeat1], ButtonChange::kDisable);
}

TEST(KeyInputButtons, JapaneseKeysAppendAPressAndItsRelease) {
  CaptureState state;
  BeginCapture(state, kSmallModel, true);
  const ButtonOutcome outcome = PressJapaneseKey(state, 0x43);
  EXPECT_TRUE(outcome.accepted);
  EXPECT_EQ(outcome.appended, 2);
  EXPECT_EQ(Strokes(state.entries.begin(), state.entries.begin() + 2), (Strokes{0x43, 0xC3}));
  // After "[Repeat1]" the pair ends the key code.
  ResetCapture(state);
  PressRepeat1(state);
  PressJapaneseKey(state, 0x01);
  EXPECT_TRUE(state.complete);
}

TEST(KeyInputButtons, Repeat1StaysUsableUpToTwoUnitsOfCapacity) {
  // Group B after every update, group A after "初期設定": two units still allow "リピート1",
  // a third does not; a control entry counts twice.
  struct Case {
    Strokes entries;
    ButtonChange afterUpdate, afterDefault;
  };
  const Case cases[] = {
      {{kA, kA | kUp}, ButtonChange::kEnable, ButtonChange::kEnable},
      {{kA, kA | kUp, kB}, ButtonChange::kDisable, ButtonChange::kDisable},
      {{kDelay1}, ButtonChange::kEnable, ButtonChange::kEnable},
      {{kDelay1, kA}, ButtonChange::kDisable, ButtonChange::kEnable},
  };
  for (const Case& c : cases) {
    CaptureState state;
    BeginCapture(state, kSmallModel, true);
    for (std::uint8_t stroke : c.entries) ASSERT_TRUE(AddEntry(state, stroke));
    EXPECT_EQ(PlanAfterEntriesChanged(state, kSmallModel)[KeyInputButton::kRepeat1], c.afterUpdate)
        << c.entries.size();
    EXPECT_EQ(PlanAfterRecordLoaded(state, kSmallModel)[KeyInputButton::kRepeat1], c.afterUpdate)
        << c.entries.size();
    EXPECT_EQ(PlanAfterDefaultLoad(state, kSmallModel)[KeyInputButton::kRepeat1], c.afterDefault)
        << c.entries.size();
  }
}

}  // namespace
}  // namespace qv
