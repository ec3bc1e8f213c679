#include "softkbd/injection.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

namespace qv {
namespace {

bool IsRepeatMarker(std::uint8_t stroke) {
  return stroke == kRepeat1 || stroke == kRepeat2;
}

std::span<const std::uint8_t> Strokes(const KeyCodeRecord& record) {
  return std::span<const std::uint8_t>(record.bytes.data() + 1,
                                       static_cast<std::size_t>(StrokeCount(record)));
}

bool ValidSlot(int slot) {
  return slot >= 0 && slot < kMaxKeyPads;
}

}  // namespace

void SystemInjectionClock::WaitFor(std::unique_lock<std::mutex>& lock,
                                   std::condition_variable& wake, std::uint32_t ms,
                                   const std::function<bool()>& done) {
  wake.wait_for(lock, std::chrono::milliseconds(ms), done);
}

bool HasRepeat(const KeyCodeRecord& record) {
  return FirstRepeatMarker(record) != 0;
}

std::uint8_t FirstRepeatMarker(const KeyCodeRecord& record) {
  for (std::uint8_t stroke : Strokes(record)) {
    if (IsRepeatMarker(stroke)) return stroke;
  }
  return 0;
}

std::uint32_t RepeatWaitMs(std::uint8_t marker, int typings) {
  if (typings <= 0) return 0;
  if (typings == 1) return kFirstRepeatWaitMs;
  return marker == kRepeat2 ? kRepeat2IntervalMs : kRepeat1IntervalMs;
}

std::uint32_t DelayMs(std::uint8_t stroke) {
  switch (stroke) {
    case kDelay1:
      return kDelay1Ms;
    case kDelay2:
      return kDelay2Ms;
    case kDelay3:
      return kDelay3Ms;
    default:
      return 0;
  }
}

KeyInput InputForStroke(std::uint8_t stroke, const KeyTable& table, std::uint32_t time) {
  const std::uint16_t keyWord = table[stroke & kStrokeKeyMask].vk;
  KeyInput input;
  input.vk = static_cast<std::uint16_t>(keyWord & 0xFF);
  if (keyWord & kExtendedKeyMark) input.flags |= kKeyInputExtended;
  if (stroke & kStrokeReleaseBit) input.flags |= kKeyInputKeyUp;
  input.time = time;
  return input;
}

TypingPlan PlanTyping(const KeyCodeRecord& record, const KeyTable& table) {
  const std::span<const std::uint8_t> strokes = Strokes(record);
  TypingPlan plan;
  plan.inputs.reserve(strokes.size());
  const bool delayMode =
      std::any_of(strokes.begin(), strokes.end(), [](std::uint8_t s) { return DelayMs(s) != 0; });
  if (!delayMode) {
    for (std::size_t i = 0; i < strokes.size(); ++i) {
      if (IsRepeatMarker(strokes[i])) continue;
      plan.inputs.push_back(
          InputForStroke(strokes[i], table, static_cast<std::uint32_t>(kPlainStrokeSpacingMs * i)));
    }
    plan.steps.push_back({0, plan.inputs.size(), 0});
    return plan;
  }
  TypingStep batch;
  for (std::uint8_t stroke : strokes) {
    if (const std::uint32_t pause = DelayMs(stroke)) {
      batch.pauseMs = pause;
      plan.steps.push_back(batch);
      batch = TypingStep{plan.inputs.size(), 0, 0};
      continue;
    }
    const KeyInput input = InputForStroke(stroke, table, 0);
    // A record for virtual key 0 types nothing anyone wants: leave it out.
    if (input.vk == 0) continue;
    plan.inputs.push_back(input);
    ++batch.count;
  }
  if (batch.count > 0) plan.steps.push_back(batch);
  return plan;
}

KeyReleases ReleasesOfHeldKeys(std::span<const KeyInput> inserted) {
  // The presses not released yet, in press order; a record presses each key at most once.
  std::array<KeyInput, kMaxStrokes> held{};
  std::size_t heldCount = 0;
  for (const KeyInput& input : inserted) {
    auto same = [&](const KeyInput& h) { return h.vk == input.vk; };
    heldCount = static_cast<std::size_t>(
        std::remove_if(held.begin(), held.begin() + heldCount, same) - held.begin());
    if (!(input.flags & kKeyInputKeyUp) && heldCount < held.size()) held[heldCount++] = input;
  }
  KeyReleases releases;
  for (std::size_t i = heldCount; i-- > 0;) {
    releases.inputs[releases.count++] = {held[i].vk, held[i].flags | kKeyInputKeyUp, 0};
  }
  return releases;
}

// The state of one slot, shared by the injector, the slot's worker and its stopper.
struct InjectionSlot {
  mutable std::mutex mutex;
  std::condition_variable changed;  // repeatState, the flags below, closing, worker
  RepeatState repeatState = RepeatState::Idle;
  bool workerActive = false;   // the worker is not released yet
  bool workerRunning = false;  // the worker thread still works
  bool stopperActive = false;  // a stopper is on its way to release the worker
  bool closing = false;        // the injector goes away: no waits, no new workers
  bool ending = false;  // the keyboard closes: the worker ends at its next step, with no waits
  // Counts the workers started: a stopper or a close that waited releases only the worker it
  // waited for, never one started after it.
  std::uint64_t worker = 0;
};

// What the workers and stoppers touch; each of them holds a share, so all of it lives as long as
// the last of them.
struct InjectionShared {
  std::shared_ptr<InputSink> sink;
  std::shared_ptr<InjectionClock> clock;
  std::chrono::milliseconds workerEndWait = Injector::kWorkerEndWait;
  std::array<InjectionSlot, kMaxKeyPads> slots;
};

namespace {

// Sends one batch; a sink that ran out of memory sent nothing of it.
std::size_t Send(InjectionShared& shared, std::span<const KeyInput> batch) {
  try {
    return std::min(shared.sink->SendKeyboardInputs(batch), batch.size());
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

// Lets go of the keys `inserted` pressed and did not release.
void ReleaseHeldKeys(InjectionShared& shared, std::span<const KeyInput> inserted) {
  const KeyReleases releases = ReleasesOfHeldKeys(inserted);
  if (releases.count > 0) Send(shared, releases.view());
}

// Types the plan once; false when it broke off.
bool InjectKeyCode(InjectionShared& shared, InjectionSlot& slot, const TypingPlan& plan) {
  const std::span<const KeyInput> inputs(plan.inputs);
  for (const TypingStep& step : plan.steps) {
    if (step.count > 0) {
      const std::size_t sent = Send(shared, inputs.subspan(step.first, step.count));
      if (sent < step.count) {
        // The system refused part of the batch, or there was no memory for it: release what
        // the typing left held and stop.
        ReleaseHeldKeys(shared, inputs.first(step.first + sent));
        return false;
      }
    }
    if (step.pauseMs > 0) {
      std::unique_lock lock(slot.mutex);
      // A delay is not cut short by a stop of the repetition, only when the keyboard or the
      // injector goes away.
      auto ended = [&] { return slot.closing || slot.ending; };
      shared.clock->WaitFor(lock, slot.changed, step.pauseMs, ended);
      if (ended()) {
        lock.unlock();
        ReleaseHeldKeys(shared, inputs.first(step.first + step.count));
        return false;
      }
    }
  }
  return true;
}

void TypeRecord(InjectionShared& shared, InjectionSlot& slot, const KeyCodeRecord& record,
                bool nonJapaneseLayout) {
  const TypingPlan plan = PlanTyping(record, KeyTableFor(nonJapaneseLayout));
  const std::uint8_t marker = FirstRepeatMarker(record);
  if (marker == 0) {
    if (StrokeCount(record) > 0) InjectKeyCode(shared, slot, plan);
    return;
  }
  std::unique_lock lock(slot.mutex);
  auto stopped = [&] {
    return slot.repeatState != RepeatState::Repeating || slot.closing || slot.ending;
  };
  for (int typings = 0; !stopped(); typings = std::min(typings + 1, 2)) {
    if (const std::uint32_t wait = RepeatWaitMs(marker, typings)) {
      shared.clock->WaitFor(lock, slot.changed, wait, stopped);
    }
    if (stopped()) break;
    lock.unlock();
    const bool typed = InjectKeyCode(shared, slot, plan);
    lock.lock();
    // A typing the system broke off is not tried again and again while the key is held.
    if (!typed) break;
  }
}

void FinishWorker(InjectionSlot& slot) {
  std::lock_guard lock(slot.mutex);
  slot.workerRunning = false;
  // The close that set `ending` may have stopped waiting: the flag was for this worker.
  slot.ending = false;
  // A stopper on its way releases the worker; otherwise the worker releases itself.
  if (!slot.stopperActive) {
    slot.workerActive = false;
    slot.repeatState = RepeatState::Idle;
  }
  slot.changed.notify_all();
}

// The worker thread. `shared` is its own share: the injector may go while it still types.
void InjectionWorker(std::shared_ptr<InjectionShared> shared, int slotIndex, KeyCodeRecord record,
                     bool nonJapaneseLayout) {
  InjectionSlot& slot = shared->slots[slotIndex];
  try {
    TypeRecord(*shared, slot, record, nonJapaneseLayout);
  } catch (const std::bad_alloc&) {
    // No room for the records: the worker ends without typing (more), like any other worker.
  }
  FinishWorker(slot);
}

// Waits (holding `lock`) for the worker that runs now to end, for at most the worker end wait;
// true when it ended. A worker started after it is not waited for.
bool AwaitWorkerEnd(InjectionShared& shared, InjectionSlot& slot,
                    std::unique_lock<std::mutex>& lock) {
  const std::uint64_t worker = slot.worker;
  return slot.changed.wait_for(lock, shared.workerEndWait,
                               [&] { return !slot.workerRunning || slot.worker != worker; });
}

bool StopSlot(InjectionShared& shared, int slotIndex) {
  InjectionSlot& slot = shared.slots[slotIndex];
  std::unique_lock lock(slot.mutex);
  const std::uint64_t worker = slot.worker;
  if (slot.repeatState == RepeatState::Repeating) slot.repeatState = RepeatState::Stopping;
  slot.changed.notify_all();
  const bool ended = AwaitWorkerEnd(shared, slot, lock);
  // Release worker and stopper and go Idle in one step: a click in between would otherwise
  // start a repeating worker that nobody releases. A worker that is still in a send finds no
  // stopper when it ends and releases itself.
  if (ended && slot.worker == worker) {
    slot.workerActive = false;
    slot.repeatState = RepeatState::Idle;
  }
  slot.stopperActive = false;
  slot.changed.notify_all();
  return ended;
}

// The stopper thread, with its own share like the worker.
void Stopper(std::shared_ptr<InjectionShared> shared, int slotIndex) {
  StopSlot(*shared, slotIndex);
}

}  // namespace

Injector::Injector(std::shared_ptr<InputSink> sink, std::shared_ptr<InjectionClock> clock,
                   std::chrono::milliseconds workerEndWait)
    : shared_(std::make_shared<InjectionShared>()) {
  shared_->sink = std::move(sink);
  shared_->clock = std::move(clock);
  shared_->workerEndWait = workerEndWait;
}

Injector::~Injector() {
  for (InjectionSlot& slot : shared_->slots) {
    std::lock_guard lock(slot.mutex);
    slot.closing = true;
    if (slot.repeatState == RepeatState::Repeating) slot.repeatState = RepeatState::Stopping;
    slot.changed.notify_all();
  }
  // One bound for all slots together. A worker still in a send then sees `closing` at its next
  // step, lets go of its keys and ends with its share of the slots; stoppers end with it.
  const auto giveUp = std::chrono::steady_clock::now() + shared_->workerEndWait;
  for (InjectionSlot& slot : shared_->slots) {
    std::unique_lock lock(slot.mutex);
    if (!slot.changed.wait_until(lock, giveUp, [&] { return !slot.workerRunning; })) break;
  }
}

bool Injector::StartInjection(int slotIndex, const KeyCodeRecord& record, bool nonJapaneseLayout) {
  if (!ValidSlot(slotIndex)) return false;
  InjectionSlot& slot = shared_->slots[slotIndex];
  std::lock_guard lock(slot.mutex);
  // A released worker has nothing left to do but return: it needs no wait.
  if (slot.workerActive || slot.closing) return false;
  slot.repeatState = HasRepeat(record) ? RepeatState::Repeating : RepeatState::Idle;
  slot.workerActive = true;
  slot.workerRunning = true;
  ++slot.worker;
  try {
    std::thread(InjectionWorker, shared_, slotIndex, record, nonJapaneseLayout).detach();
    return true;
  } catch (const std::exception&) {
    // The system refused the thread (std::system_error) or there was no memory for it
    // (std::bad_alloc). No worker: the next click tries again.
    slot.workerActive = false;
    slot.workerRunning = false;
    slot.repeatState = RepeatState::Idle;
    return false;
  }
}

void Injector::RequestStop(int slotIndex) {
  if (!ValidSlot(slotIndex)) return;
  InjectionSlot& slot = shared_->slots[slotIndex];
  {
    std::lock_guard lock(slot.mutex);
    if (slot.repeatState == RepeatState::Idle || slot.stopperActive) return;
    slot.repeatState = RepeatState::Stopping;
    slot.stopperActive = true;
    try {
      std::thread(Stopper, shared_, slotIndex).detach();
    } catch (const std::exception&) {
      // No thread for a stopper (refused, or no memory): the worker sees the stop and releases
      // itself.
      slot.stopperActive = false;
    }
  }
  slot.changed.notify_all();
}

bool Injector::StopRepeat(int slotIndex) {
  return ValidSlot(slotIndex) && StopSlot(*shared_, slotIndex);
}

bool Injector::EndTyping(int slotIndex) {
  if (!ValidSlot(slotIndex)) return true;
  InjectionSlot& slot = shared_->slots[slotIndex];
  std::unique_lock lock(slot.mutex);
  const std::uint64_t worker = slot.worker;
  slot.ending = true;
  if (slot.repeatState == RepeatState::Repeating) slot.repeatState = RepeatState::Stopping;
  slot.changed.notify_all();
  if (!AwaitWorkerEnd(*shared_, slot, lock)) {
    // Still in a send: `ending` stays set for it, and it frees the slot itself when it ends.
    return false;
  }
  if (slot.worker == worker) {
    // A stopper still on its way finds the worker gone and only confirms Idle.
    slot.workerActive = false;
    slot.stopperActive = false;
    slot.repeatState = RepeatState::Idle;
  }
  slot.ending = false;
  slot.changed.notify_all();
  return true;
}

RepeatState Injector::repeatState(int slotIndex) const {
  if (!ValidSlot(slotIndex)) return RepeatState::Idle;
  std::lock_guard lock(shared_->slots[slotIndex].mutex);
  return shared_->slots[slotIndex].repeatState;
}

bool Injector::HasWorker(int slotIndex) const {
  if (!ValidSlot(slotIndex)) return false;
  std::lock_guard lock(shared_->slots[slotIndex].mutex);
  return shared_->slots[slotIndex].workerActive;
}

bool Injector::WaitUntilIdle(int slotIndex, std::chrono::milliseconds bound) {
  if (!ValidSlot(slotIndex)) return true;
  InjectionSlot& slot = shared_->slots[slotIndex];
  std::unique_lock lock(slot.mutex);
  return slot.changed.wait_for(lock, bound,
                               [&] { return !slot.workerActive && !slot.stopperActive; });
}

}  // namespace qv
