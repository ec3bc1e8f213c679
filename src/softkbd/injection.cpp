#include "softkbd/injection.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <new>
#include <system_error>
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

Injector::Injector(InputSink& sink, InjectionClock& clock) : sink_(sink), clock_(clock) {}

Injector::~Injector() {
  for (Slot& slot : slots_) {
    std::thread worker;
    std::thread stopper;
    {
      std::lock_guard lock(slot.mutex);
      slot.closing = true;
      if (slot.repeatState == RepeatState::Repeating) slot.repeatState = RepeatState::Stopping;
      worker = std::move(slot.injectionWorker);
      stopper = std::move(slot.stopperThread);
    }
    slot.changed.notify_all();
    if (stopper.joinable()) stopper.join();
    if (worker.joinable()) worker.join();
  }
}

bool Injector::StartInjection(int slotIndex, const KeyCodeRecord& record, bool nonJapaneseLayout) {
  if (!ValidSlot(slotIndex)) return false;
  Slot& slot = slots_[slotIndex];
  std::thread finished;
  bool started = false;
  {
    std::lock_guard lock(slot.mutex);
    if (slot.workerActive || slot.closing) return false;
    // The previous worker has been released, so it has nothing left to do but return.
    finished = std::move(slot.injectionWorker);
    slot.repeatState = HasRepeat(record) ? RepeatState::Repeating : RepeatState::Idle;
    slot.workerActive = true;
    slot.workerRunning = true;
    try {
      slot.injectionWorker =
          std::thread(&Injector::InjectionWorker, this, slotIndex, record, nonJapaneseLayout);
      started = true;
    } catch (const std::exception&) {
      // The system refused the thread (std::system_error) or there was no memory for it
      // (std::bad_alloc). No worker: the next click tries again.
      slot.workerActive = false;
      slot.workerRunning = false;
      slot.repeatState = RepeatState::Idle;
    }
  }
  if (finished.joinable()) finished.join();
  return started;
}

void Injector::RequestStop(int slotIndex) {
  if (!ValidSlot(slotIndex)) return;
  Slot& slot = slots_[slotIndex];
  std::thread finished;
  {
    std::lock_guard lock(slot.mutex);
    if (slot.repeatState == RepeatState::Idle || slot.stopperActive) return;
    slot.repeatState = RepeatState::Stopping;
    slot.stopperActive = true;
    finished = std::move(slot.stopperThread);
    try {
      slot.stopperThread = std::thread(&Injector::StopRepeat, this, slotIndex);
    } catch (const std::exception&) {
      // No thread for a stopper (refused, or no memory): the worker sees the stop and releases
      // itself.
      slot.stopperActive = false;
    }
  }
  slot.changed.notify_all();
  if (finished.joinable()) finished.join();
}

void Injector::StopRepeat(int slotIndex) {
  if (!ValidSlot(slotIndex)) return;
  Slot& slot = slots_[slotIndex];
  std::unique_lock lock(slot.mutex);
  if (slot.repeatState == RepeatState::Repeating) slot.repeatState = RepeatState::Stopping;
  slot.changed.notify_all();
  slot.changed.wait(lock, [&] { return !slot.workerRunning; });
  // Release worker and stopper and go Idle in one step: a click in between would otherwise
  // start a repeating worker that nobody releases.
  slot.workerActive = false;
  slot.stopperActive = false;
  slot.repeatState = RepeatState::Idle;
  slot.changed.notify_all();
}

void Injector::EndTyping(int slotIndex) {
  if (!ValidSlot(slotIndex)) return;
  Slot& slot = slots_[slotIndex];
  std::unique_lock lock(slot.mutex);
  slot.ending = true;
  if (slot.repeatState == RepeatState::Repeating) slot.repeatState = RepeatState::Stopping;
  slot.changed.notify_all();
  slot.changed.wait(lock, [&] { return !slot.workerRunning; });
  // A stopper still on its way finds the worker gone and only confirms Idle.
  slot.workerActive = false;
  slot.stopperActive = false;
  slot.repeatState = RepeatState::Idle;
  slot.ending = false;
  slot.changed.notify_all();
}

RepeatState Injector::repeatState(int slotIndex) const {
  if (!ValidSlot(slotIndex)) return RepeatState::Idle;
  std::lock_guard lock(slots_[slotIndex].mutex);
  return slots_[slotIndex].repeatState;
}

bool Injector::HasWorker(int slotIndex) const {
  if (!ValidSlot(slotIndex)) return false;
  std::lock_guard lock(slots_[slotIndex].mutex);
  return slots_[slotIndex].workerActive;
}

void Injector::WaitUntilIdle(int slotIndex) {
  if (!ValidSlot(slotIndex)) return;
  Slot& slot = slots_[slotIndex];
  std::unique_lock lock(slot.mutex);
  slot.changed.wait(lock, [&] { return !slot.workerActive && !slot.stopperActive; });
}

void Injector::InjectionWorker(int slotIndex, KeyCodeRecord record, bool nonJapaneseLayout) {
  Slot& slot = slots_[slotIndex];
  try {
    TypeRecord(slot, record, nonJapaneseLayout);
  } catch (const std::bad_alloc&) {
    // No room for the records: the worker ends without typing (more), like any other worker.
  }
  FinishWorker(slot);
}

void Injector::TypeRecord(Slot& slot, const KeyCodeRecord& record, bool nonJapaneseLayout) {
  const TypingPlan plan = PlanTyping(record, KeyTableFor(nonJapaneseLayout));
  const std::uint8_t marker = FirstRepeatMarker(record);
  if (marker == 0) {
    if (StrokeCount(record) > 0) InjectKeyCode(slot, plan);
    return;
  }
  std::unique_lock lock(slot.mutex);
  auto stopped = [&] {
    return slot.repeatState != RepeatState::Repeating || slot.closing || slot.ending;
  };
  for (int typings = 0; !stopped(); typings = std::min(typings + 1, 2)) {
    if (const std::uint32_t wait = RepeatWaitMs(marker, typings)) {
      clock_.WaitFor(lock, slot.changed, wait, stopped);
    }
    if (stopped()) break;
    lock.unlock();
    const bool typed = InjectKeyCode(slot, plan);
    lock.lock();
    // A typing the system broke off is not tried again and again while the key is held.
    if (!typed) break;
  }
}

std::size_t Injector::Send(std::span<const KeyInput> batch) {
  try {
    return std::min(sink_.SendKeyboardInputs(batch), batch.size());
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

void Injector::ReleaseHeldKeys(std::span<const KeyInput> inserted) {
  const KeyReleases releases = ReleasesOfHeldKeys(inserted);
  if (releases.count > 0) Send(releases.view());
}

bool Injector::InjectKeyCode(Slot& slot, const TypingPlan& plan) {
  const std::span<const KeyInput> inputs(plan.inputs);
  for (const TypingStep& step : plan.steps) {
    if (step.count > 0) {
      const std::size_t sent = Send(inputs.subspan(step.first, step.count));
      if (sent < step.count) {
        // The system refused part of the batch, or there was no memory for it: release what
        // the typing left held and stop.
        ReleaseHeldKeys(inputs.first(step.first + sent));
        return false;
      }
    }
    if (step.pauseMs > 0) {
      std::unique_lock lock(slot.mutex);
      // A delay is not cut short by a stop of the repetition, only when the keyboard or the
      // injector goes away.
      auto ended = [&] { return slot.closing || slot.ending; };
      clock_.WaitFor(lock, slot.changed, step.pauseMs, ended);
      if (ended()) {
        lock.unlock();
        ReleaseHeldKeys(inputs.first(step.first + step.count));
        return false;
      }
    }
  }
  return true;
}

void Injector::FinishWorker(Slot& slot) {
  std::lock_guard lock(slot.mutex);
  slot.workerRunning = false;
  // A stopper on its way releases the worker; otherwise the worker releases itself.
  if (!slot.stopperActive) {
    slot.workerActive = false;
    slot.repeatState = RepeatState::Idle;
  }
  slot.changed.notify_all();
}

}  // namespace qv
