// Typing a soft key's key code into the focused application: the strokes of the key's record
// become keyboard input records, sent in batches with the pauses the delay entries ask for, once
// per click or, for a key with a repeat entry, again and again while the key is held. Each slot
// types on a worker thread of its own, and a repetition is ended by a stopper thread that wakes
// the worker and waits for it, so the soft keyboard's window never waits for typing.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "common/key_code_record.h"
#include "keycode/key_table.h"

namespace qv {

// Flags of a keyboard input record; the values are those of the system's KEYEVENTF_ flags.
inline constexpr std::uint32_t kKeyInputExtended = 0x0001;
inline constexpr std::uint32_t kKeyInputKeyUp = 0x0002;

// One keyboard input record: virtual key, flags and time stamp. The input sink adds the scan
// code and the extra information when it sends the record.
struct KeyInput {
  std::uint16_t vk = 0;
  std::uint32_t flags = 0;
  std::uint32_t time = 0;

  bool operator==(const KeyInput&) const = default;
};

// Where typed input goes.
class InputSink {
 public:
  virtual ~InputSink() = default;
  // Sends one batch of records in one call, in order; returns how many were inserted.
  virtual std::size_t SendKeyboardInputs(std::span<const KeyInput> inputs) = 0;
};

// Time as the injection threads see it.
class InjectionClock {
 public:
  virtual ~InjectionClock() = default;
  // Waits `ms` milliseconds on `wake`; `lock` (of wake's mutex) is held on entry and again on
  // return. The wait ends early when `done()` holds after `wake` was notified.
  virtual void WaitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                       std::uint32_t ms, const std::function<bool()>& done) = 0;
};

// The steady clock of the process.
class SystemInjectionClock : public InjectionClock {
 public:
  void WaitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, std::uint32_t ms,
               const std::function<bool()>& done) override;
};

// Time stamps of the records of a key code without delays: 100 ms per stroke position.
inline constexpr std::uint32_t kPlainStrokeSpacingMs = 100;
// A held repeating key types at once, again after 500 ms, then every 30 ms ("[Repeat1]") or
// every 120 ms ("[Repeat2]").
inline constexpr std::uint32_t kFirstRepeatWaitMs = 500;
inline constexpr std::uint32_t kRepeat1IntervalMs = 30;
inline constexpr std::uint32_t kRepeat2IntervalMs = 120;
// Pauses of "[Delay1]", "[Delay2]" and "[Delay3]".
inline constexpr std::uint32_t kDelay1Ms = 100;
inline constexpr std::uint32_t kDelay2Ms = 300;
inline constexpr std::uint32_t kDelay3Ms = 500;

// True when one of the record's strokes is "[Repeat1]" or "[Repeat2]".
bool HasRepeat(const KeyCodeRecord& record);
// The first repeat entry of the record, 0 when it has none.
std::uint8_t FirstRepeatMarker(const KeyCodeRecord& record);
// The wait before typing number `typings` (counted from 0) of a held key repeating with
// `marker`.
std::uint32_t RepeatWaitMs(std::uint8_t marker, int typings);
// The pause of a delay entry; 0 for every other stroke.
std::uint32_t DelayMs(std::uint8_t stroke);

// The record of one stroke: the virtual key from the low byte of the key table's key word, the
// extended flag from its bit 15, the key-up flag from the stroke's release bit.
KeyInput InputForStroke(std::uint8_t stroke, const KeyTable& table, std::uint32_t time);

// One typing of a key code: records sent in batches, each batch followed by a pause.
struct TypingStep {
  std::size_t first = 0;  // the batch is inputs[first, first + count)
  std::size_t count = 0;  // 0: nothing to send, only the pause
  std::uint32_t pauseMs = 0;
};
struct TypingPlan {
  std::vector<KeyInput> inputs;
  std::vector<TypingStep> steps;
};

// Without delay entries: one batch of every stroke except the repeat entries, the time stamp
// 100 ms x the stroke's position. With delay entries: batches split at the delays, each delay a
// pause, every time stamp 0, records for virtual key 0 (the repeat entries among them) left out.
TypingPlan PlanTyping(const KeyCodeRecord& record, const KeyTable& table);

// Releases of held keys, kept without allocating: they must go out when memory has run out.
struct KeyReleases {
  std::array<KeyInput, kMaxStrokes> inputs{};
  std::size_t count = 0;
  std::span<const KeyInput> view() const { return {inputs.data(), count}; }
};

// The releases that leave no key held after a typing broke off: `inserted` are the records that
// reached the system, in order; the result releases each key they pressed and did not release,
// the last pressed first, with time 0.
KeyReleases ReleasesOfHeldKeys(std::span<const KeyInput> inserted);

enum class RepeatState : std::int32_t { Idle = 0, Repeating = 1, Stopping = 2 };

// The injection workers and stoppers of the 16 slots: at most one of each per slot at a time.
class Injector {
 public:
  Injector(InputSink& sink, InjectionClock& clock);
  // Ends every repetition, cuts pending delays short and waits for every thread.
  ~Injector();
  Injector(const Injector&) = delete;
  Injector& operator=(const Injector&) = delete;

  // Starts a worker typing `record` (a copy is taken) with the key table of the layout, unless
  // the slot has one: then the request is dropped and the result is false.
  bool StartInjection(int slot, const KeyCodeRecord& record, bool nonJapaneseLayout);
  // Ends the slot's repetition without waiting: hands the stop to a stopper thread, unless the
  // slot is Idle or a stopper runs already.
  void RequestStop(int slot);
  // Wakes the slot's worker out of its wait, waits for it to end and leaves the slot Idle with
  // neither worker nor stopper. The stopper thread runs it; the window's destruction calls it
  // directly.
  void StopRepeat(int slot);
  // Ends whatever the slot types at once, for a soft keyboard that closes: the repetition stops,
  // a pause of a delay entry is cut short and the keys the typing holds are released. Returns
  // once the slot has no worker; the slot can type again afterwards.
  void EndTyping(int slot);

  RepeatState repeatState(int slot) const;
  // The slot has a worker that has not been released yet: new starts are dropped.
  bool HasWorker(int slot) const;
  // Waits until the slot has neither a worker nor a stopper.
  void WaitUntilIdle(int slot);

 private:
  struct Slot {
    mutable std::mutex mutex;
    std::condition_variable changed;  // repeatState, the flags below, closing
    RepeatState repeatState = RepeatState::Idle;
    bool workerActive = false;    // the worker is not released yet
    bool workerRunning = false;   // the worker thread still works
    bool stopperActive = false;   // a stopper is on its way to release the worker
    bool closing = false;         // the injector goes away: no waits, no new workers
    bool ending = false;          // EndTyping runs: no waits for this slot's worker
    std::thread injectionWorker;  // the last worker started, joined before the next
    std::thread stopperThread;    // the last stopper started, joined before the next
  };

  void InjectionWorker(int slot, KeyCodeRecord record, bool nonJapaneseLayout);
  void TypeRecord(Slot& slot, const KeyCodeRecord& record, bool nonJapaneseLayout);
  // Types the plan once; false when it broke off.
  bool InjectKeyCode(Slot& slot, const TypingPlan& plan);
  // Sends one batch; a sink that ran out of memory sent nothing of it.
  std::size_t Send(std::span<const KeyInput> batch);
  // Lets go of the keys `inserted` pressed and did not release.
  void ReleaseHeldKeys(std::span<const KeyInput> inserted);
  void FinishWorker(Slot& slot);

  InputSink& sink_;
  InjectionClock& clock_;
  std::array<Slot, kMaxKeyPads> slots_;
};

}  // namespace qv
