// Typing a soft key's key code into the focused application: the strokes of the key's record
// become keyboard input records, sent in batches with the pauses the delay entries ask for, once
// per click or, for a key with a repeat entry, again and again while the key is held. Each slot
// types on a worker thread of its own, and a repetition is ended by a stopper thread that wakes
// the worker and waits for it, so the soft keyboard's window never waits for typing. Workers and
// stoppers share the slots, the sink and the clock with the injector: a worker still in a send
// when a wait for it runs out finishes on its own, lets go of its keys and frees its slot, even
// after the injector is gone.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
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

struct InjectionShared;

// The injection workers and stoppers of the 16 slots: at most one of each per slot at a time.
class Injector {
 public:
  // How long a close of a keyboard, a stopper and the injector's end wait for a worker told to
  // stop. Told to stop, a worker cuts its pauses short and ends at once; only a send the system
  // holds up keeps it longer. Well inside the soft keyboard close's own wait for its thread.
  static constexpr std::chrono::milliseconds kWorkerEndWait{2000};

  Injector(std::shared_ptr<InputSink> sink, std::shared_ptr<InjectionClock> clock,
           std::chrono::milliseconds workerEndWait = kWorkerEndWait);
  // Ends every repetition and cuts pending delays short, then waits for the workers, all of them
  // together for at most the worker end wait. A worker still in a send then ends by itself.
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
  // neither worker nor stopper. The stopper thread runs it. False when the worker end wait ran
  // out: the worker, still in a send, then frees the slot itself when it ends, and the slot
  // takes no typing before.
  bool StopRepeat(int slot);
  // Ends whatever the slot types at once, for a soft keyboard that closes: the repetition stops,
  // a pause of a delay entry is cut short and the keys the typing holds are released. Returns
  // once the slot has no worker, true, or after the worker end wait, false: the worker, still in
  // a send, then ends at its next step, lets go of its keys and frees the slot by itself. The
  // slot can type again once it is free.
  bool EndTyping(int slot);

  RepeatState repeatState(int slot) const;
  // The slot has a worker that has not been released yet: new starts are dropped.
  bool HasWorker(int slot) const;
  // Waits until the slot has neither a worker nor a stopper, for at most `bound`; false when
  // the slot was still busy then.
  bool WaitUntilIdle(int slot, std::chrono::milliseconds bound = std::chrono::seconds(10));

 private:
  std::shared_ptr<InjectionShared> shared_;
};

}  // namespace qv
