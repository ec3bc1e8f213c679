#include "softkbd/injection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <initializer_list>
#include <memory>
#include <new>
#include <thread>
#include <utility>

namespace qv {
namespace {

constexpr std::uint8_t kCtrl = 58;  // Ctrl(左), VK 0xA2
constexpr std::uint8_t kA = 31;     // Ａ, VK 0x41
constexpr std::uint8_t kUp = kStrokeReleaseBit;
constexpr std::uint16_t kVkCtrl = 0xA2;
constexpr std::uint16_t kVkA = 0x41;

KeyCodeRecord Record(std::initializer_list<std::uint8_t> strokes) {
  KeyCodeRecord record;
  record.bytes[0] = static_cast<std::uint8_t>(strokes.size() + 1);
  std::size_t i = 1;
  for (std::uint8_t stroke : strokes) record.bytes[i++] = stroke;
  return record;
}

KeyInput Press(std::uint16_t vk, std::uint32_t time = 0) {
  return {vk, 0, time};
}
KeyInput Release(std::uint16_t vk, std::uint32_t time = 0) {
  return {vk, kKeyInputKeyUp, time};
}

// Virtual time: advanced only by the waits, so the sink sees when each batch would go out.
class FakeClock : public InjectionClock {
 public:
  void WaitFor(std::unique_lock<std::mutex>& lock, std::condition_variable&, std::uint32_t ms,
               const std::function<bool()>& done) override {
    waits.push_back(ms);
    if (action && now + ms >= actionAt) {
      now = actionAt;
      auto run = std::exchange(action, {});
      lock.unlock();  // the action takes the slot's lock itself
      run();
      lock.lock();
      if (done()) return;
    }
    now += ms;
  }
  std::atomic<std::uint32_t> now{0};
  std::vector<std::uint32_t> waits;
  // Runs once, on the worker, when a wait reaches this time (the user lets go of the key).
  std::uint32_t actionAt = 0;
  std::function<void()> action;
};

// Waits for real, for at most a guard time, and says whether a notification ended the wait.
class WakeClock : public InjectionClock {
 public:
  void WaitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, std::uint32_t,
               const std::function<bool()>& done) override {
    {
      std::lock_guard mine(mutex);
      waiting = true;
    }
    entered.notify_all();
    while (!done()) {
      if (wake.wait_for(lock, std::chrono::seconds(5)) == std::cv_status::timeout) {
        timedOut = true;
        return;
      }
    }
  }
  bool AwaitWaiting() {
    std::unique_lock mine(mutex);
    return entered.wait_for(mine, std::chrono::seconds(10), [&] { return waiting; });
  }
  std::mutex mutex;
  std::condition_variable entered;
  bool waiting = false;
  std::atomic<bool> timedOut{false};
};

class FakeSink : public InputSink {
 public:
  struct Call {
    std::uint32_t at;
    std::vector<KeyInput> inputs;
  };
  explicit FakeSink(FakeClock* clock = nullptr) : clock_(clock) {}
  std::size_t SendKeyboardInputs(std::span<const KeyInput> inputs) override {
    std::unique_lock lock(mutex);
    calls.push_back({clock_ ? clock_->now.load() : 0, {inputs.begin(), inputs.end()}});
    changed.notify_all();
    // A sink that allocates per batch, out of memory for this one: nothing of it goes out.
    if (calls.size() == throwOnCall) throw std::bad_alloc();
    changed.wait_for(lock, std::chrono::seconds(10), [&] { return !held; });
    return std::min(inputs.size(), insertLimit);
  }
  std::vector<Call> Calls() {
    std::lock_guard lock(mutex);
    return calls;
  }
  // While held (for at most 10 s), a send does not return: the worker is busy typing, as in a
  // SendInput the system holds up.
  void Hold() {
    std::lock_guard lock(mutex);
    held = true;
  }
  bool AwaitCalls(std::size_t count) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), [&] { return calls.size() >= count; });
  }
  void Let() {
    std::lock_guard lock(mutex);
    held = false;
    changed.notify_all();
  }
  std::size_t insertLimit = SIZE_MAX;
  std::size_t throwOnCall = 0;  // counted from 1; 0: never

 private:
  FakeClock* clock_;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Call> calls;
  bool held = false;
};

const KeyTable& kJapanese = KeyTableFor(false);

TEST(InjectionPlan, PlainKeyCodeIsOneBatchStampedByPosition) {
  TypingPlan plan = PlanTyping(Record({kCtrl, kA, kA | kUp, kCtrl | kUp}), kJapanese);
  EXPECT_EQ(plan.inputs, (std::vector<KeyInput>{Press(kVkCtrl, 0), Press(kVkA, 100),
                                                Release(kVkA, 200), Release(kVkCtrl, 300)}));
  ASSERT_EQ(plan.steps.size(), 1u);
  EXPECT_EQ(plan.steps[0].count, 4u);
  EXPECT_EQ(plan.steps[0].pauseMs, 0u);

  // A repeat entry is left out but keeps its position.
  plan = PlanTyping(Record({kRepeat1, kA, kA | kUp}), kJapanese);
  EXPECT_EQ(plan.inputs, (std::vector<KeyInput>{Press(kVkA, 100), Release(kVkA, 200)}));
}

TEST(InjectionPlan, DelaysSplitTheBatchesAndDropVirtualKeyZero) {
  TypingPlan plan = PlanTyping(Record({kCtrl, kA, kA | kUp, kDelay2, kCtrl | kUp}), kJapanese);
  EXPECT_EQ(plan.inputs,
            (std::vector<KeyInput>{Press(kVkCtrl), Press(kVkA), Release(kVkA), Release(kVkCtrl)}));
  ASSERT_EQ(plan.steps.size(), 2u);
  EXPECT_EQ(plan.steps[0].count, 3u);
  EXPECT_EQ(plan.steps[0].pauseMs, 300u);
  EXPECT_EQ(plan.steps[1].first, 3u);
  EXPECT_EQ(plan.steps[1].count, 1u);
  EXPECT_EQ(plan.steps[1].pauseMs, 0u);

  // Key number 0 and a repeat entry carry virtual key 0; back-to-back delays pause twice.
  plan = PlanTyping(Record({0, kRepeat2, kA, kDelay1, kDelay3, kA | kUp}), kJapanese);
  EXPECT_EQ(plan.inputs, (std::vector<KeyInput>{Press(kVkA), Release(kVkA)}));
  ASSERT_EQ(plan.steps.size(), 3u);
  EXPECT_EQ(plan.steps[1].count, 0u);
  EXPECT_EQ(plan.steps[1].pauseMs, 500u);
}

TEST(InjectionPlan, KeyWordGivesExtendedFlagAndLayoutGivesVirtualKey) {
  constexpr std::uint8_t kKeypadEnter = 108;
  TypingPlan plan = PlanTyping(Record({kKeypadEnter, kKeypadEnter | kUp}), kJapanese);
  EXPECT_EQ(plan.inputs, (std::vector<KeyInput>{{0x0D, kKeyInputExtended, 0},
                                                {0x0D, kKeyInputExtended | kKeyInputKeyUp, 100}}));
  EXPECT_EQ(PlanTyping(Record({1}), KeyTableFor(true)).inputs[0].vk, 0xC0);
  EXPECT_EQ(PlanTyping(Record({1}), kJapanese).inputs[0].vk, 0x19);
}

TEST(InjectionPlan, BrokenOffTypingReleasesWhatItLeftHeld) {
  const std::vector<KeyInput> sent = {
      Press(kVkCtrl), {0xA0, 0, 0}, Press(kVkA), Release(kVkA), {0x0D, kKeyInputExtended, 0}};
  const KeyReleases releases = ReleasesOfHeldKeys(sent);
  EXPECT_EQ(std::vector<KeyInput>(releases.view().begin(), releases.view().end()),
            (std::vector<KeyInput>{
                {0x0D, kKeyInputExtended | kKeyInputKeyUp, 0}, Release(0xA0), Release(kVkCtrl)}));
  EXPECT_EQ(ReleasesOfHeldKeys(std::span(sent).first(0)).count, 0u);
}

TEST(Injection, TypesOnceInOneCallOrInBatchesAcrossDelays) {
  const auto clock = std::make_shared<FakeClock>();
  const auto sink = std::make_shared<FakeSink>(clock.get());
  Injector injector(sink, clock);
  ASSERT_TRUE(injector.StartInjection(3, Record({kCtrl, kA, kA | kUp, kCtrl | kUp}), false));
  ASSERT_TRUE(injector.WaitUntilIdle(3));
  ASSERT_EQ(sink->Calls().size(), 1u);
  EXPECT_EQ(sink->Calls()[0].inputs.size(), 4u);

  ASSERT_TRUE(
      injector.StartInjection(3, Record({kCtrl, kA, kA | kUp, kDelay2, kCtrl | kUp}), false));
  ASSERT_TRUE(injector.WaitUntilIdle(3));
  const std::vector<FakeSink::Call> calls = sink->Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[1].inputs.size(), 3u);
  EXPECT_EQ(calls[2].inputs, std::vector<KeyInput>{Release(kVkCtrl)});
  EXPECT_EQ(calls[2].at - calls[1].at, 300u);

  // A key holding only "[Delay1]" pauses and sends nothing; an empty key does nothing at all.
  ASSERT_TRUE(injector.StartInjection(3, Record({kDelay1}), false));
  ASSERT_TRUE(injector.WaitUntilIdle(3));
  ASSERT_TRUE(injector.StartInjection(3, Record({}), false));
  ASSERT_TRUE(injector.WaitUntilIdle(3));
  EXPECT_EQ(sink->Calls().size(), 3u);
  EXPECT_EQ(clock->waits, (std::vector<std::uint32_t>{300, 100}));
}

TEST(Injection, ClickWhileTheSlotTypesIsDroppedOtherSlotsAreNot) {
  const auto clock = std::make_shared<FakeClock>();
  const auto sink = std::make_shared<FakeSink>(clock.get());
  Injector injector(sink, clock);
  const KeyCodeRecord key = Record({kA, kDelay3, kA | kUp});
  sink->Hold();
  ASSERT_TRUE(injector.StartInjection(0, key, false));
  ASSERT_TRUE(sink->AwaitCalls(1));
  EXPECT_FALSE(injector.StartInjection(0, key, false));
  EXPECT_TRUE(injector.HasWorker(0));
  EXPECT_TRUE(injector.StartInjection(1, Record({kA}), false));
  sink->Let();
  ASSERT_TRUE(injector.WaitUntilIdle(0));
  ASSERT_TRUE(injector.WaitUntilIdle(1));
  EXPECT_EQ(sink->Calls().size(), 3u);  // two batches of slot 0, one of slot 1
  EXPECT_FALSE(injector.HasWorker(0));
}

struct RepeatCase {
  std::uint8_t marker;
  std::uint32_t releaseAt;
  std::vector<std::uint32_t> typedAt;
};

TEST(Injection, HeldKeyRepeatsAtItsCadenceUntilReleased) {
  std::vector<std::uint32_t> fast = {0};
  for (std::uint32_t t = 500; t <= 1000; t += 30) fast.push_back(t);
  const RepeatCase cases[] = {
      {kRepeat1, 1000, fast},  // 18 typings in the first second
      {kRepeat2, 1000, {0, 500, 620, 740, 860, 980}},
      {kRepeat1, 200, {0}},  // let go during the first wait: no second typing
  };
  for (const RepeatCase& c : cases) {
    SCOPED_TRACE(c.releaseAt);
    const auto clock = std::make_shared<FakeClock>();
    const auto sink = std::make_shared<FakeSink>(clock.get());
    Injector injector(sink, clock);
    clock->actionAt = c.releaseAt;
    clock->action = [&] { injector.RequestStop(5); };
    ASSERT_TRUE(injector.StartInjection(5, Record({kA, c.marker, kA | kUp}), false));
    ASSERT_TRUE(injector.WaitUntilIdle(5));
    std::vector<std::uint32_t> typedAt;
    for (const FakeSink::Call& call : sink->Calls()) typedAt.push_back(call.at);
    EXPECT_EQ(typedAt, c.typedAt);
    EXPECT_EQ(injector.repeatState(5), RepeatState::Idle);
    EXPECT_FALSE(injector.HasWorker(5));
  }
}

TEST(Injection, StopWakesTheWaitingWorkerAndFreesTheSlot) {
  const auto clock = std::make_shared<WakeClock>();
  const auto sink = std::make_shared<FakeSink>();
  Injector injector(sink, clock);
  const KeyCodeRecord key = Record({kRepeat2, kA, kA | kUp});
  ASSERT_TRUE(injector.StartInjection(2, key, false));
  ASSERT_TRUE(clock->AwaitWaiting());
  injector.RequestStop(2);
  injector.RequestStop(2);  // a second release while the stopper runs changes nothing
  ASSERT_TRUE(injector.WaitUntilIdle(2));
  EXPECT_FALSE(clock->timedOut);
  EXPECT_EQ(sink->Calls().size(), 1u);
  EXPECT_EQ(injector.repeatState(2), RepeatState::Idle);
  // The slot takes the next press at once.
  EXPECT_TRUE(injector.StartInjection(2, key, false));
  injector.StopRepeat(2);
  EXPECT_FALSE(injector.HasWorker(2));
}

TEST(Injection, PartlyRefusedBatchReleasesThePressedKeys) {
  const auto sink = std::make_shared<FakeSink>();
  const auto clock = std::make_shared<FakeClock>();
  Injector injector(sink, clock);
  sink->insertLimit = 2;
  ASSERT_TRUE(injector.StartInjection(0, Record({kCtrl, kA, kA | kUp, kCtrl | kUp}), false));
  ASSERT_TRUE(injector.WaitUntilIdle(0));
  const std::vector<FakeSink::Call> calls = sink->Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].inputs, (std::vector<KeyInput>{Release(kVkA), Release(kVkCtrl)}));
}

TEST(Injection, PartlyRefusedLaterBatchReleasesKeysOfEarlierBatches) {
  const auto clock = std::make_shared<FakeClock>();
  const auto sink = std::make_shared<FakeSink>(clock.get());
  Injector injector(sink, clock);
  // Ctrl goes down in the first batch; the second batch is refused after its first record.
  ASSERT_TRUE(
      injector.StartInjection(4, Record({kCtrl, kDelay1, kA, kA | kUp, kCtrl | kUp}), false));
  ASSERT_TRUE(injector.WaitUntilIdle(4));
  sink->insertLimit = 1;
  ASSERT_TRUE(
      injector.StartInjection(4, Record({kCtrl, kDelay1, kA, kA | kUp, kCtrl | kUp}), false));
  ASSERT_TRUE(injector.WaitUntilIdle(4));
  const std::vector<FakeSink::Call> calls = sink->Calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[4].inputs, (std::vector<KeyInput>{Release(kVkA), Release(kVkCtrl)}));
}

// Memory runs out between a press and its release (the batch after a delay cannot be made): the
// typing still lets go of the key it pressed, and the slot types again afterwards.
TEST(Injection, NoMemoryForALaterBatchStillReleasesTheHeldKeys) {
  const auto clock = std::make_shared<FakeClock>();
  const auto sink = std::make_shared<FakeSink>(clock.get());
  Injector injector(sink, clock);
  sink->throwOnCall = 2;
  ASSERT_TRUE(
      injector.StartInjection(2, Record({kCtrl, kDelay1, kA, kA | kUp, kCtrl | kUp}), false));
  ASSERT_TRUE(injector.WaitUntilIdle(2));
  const std::vector<FakeSink::Call> calls = sink->Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].inputs, std::vector<KeyInput>{Press(kVkCtrl)});
  EXPECT_EQ(calls[2].inputs, std::vector<KeyInput>{Release(kVkCtrl)});
  EXPECT_EQ(injector.repeatState(2), RepeatState::Idle);
  EXPECT_TRUE(injector.StartInjection(2, Record({kA, kA | kUp}), false));
  ASSERT_TRUE(injector.WaitUntilIdle(2));
  EXPECT_EQ(sink->Calls().size(), 4u);
}

TEST(Injection, TypingTheSystemRefusesOrCannotBeMadeEndsTheWorker) {
  // A held repeating key whose typing the system refuses is not typed again and again.
  {
    const auto sink = std::make_shared<FakeSink>();
    const auto clock = std::make_shared<FakeClock>();
    Injector injector(sink, clock);
    sink->insertLimit = 0;
    ASSERT_TRUE(injector.StartInjection(1, Record({kRepeat1, kA, kA | kUp}), false));
    const auto give = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (injector.HasWorker(1) && std::chrono::steady_clock::now() < give) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_FALSE(injector.HasWorker(1));
    injector.RequestStop(1);
    ASSERT_TRUE(injector.WaitUntilIdle(1));
    EXPECT_EQ(sink->Calls().size(), 1u);
  }
  // No room for the records: the worker ends without typing and the process goes on.
  {
    class FullSink : public InputSink {
     public:
      std::size_t SendKeyboardInputs(std::span<const KeyInput>) override { throw std::bad_alloc(); }
    };
    const auto sink = std::make_shared<FullSink>();
    const auto clock = std::make_shared<FakeClock>();
    Injector injector(sink, clock);
    ASSERT_TRUE(injector.StartInjection(3, Record({kA, kA | kUp}), false));
    ASSERT_TRUE(injector.WaitUntilIdle(3));
    EXPECT_EQ(injector.repeatState(3), RepeatState::Idle);
    EXPECT_TRUE(injector.StartInjection(3, Record({kA, kA | kUp}), false));
    ASSERT_TRUE(injector.WaitUntilIdle(3));
  }
}

TEST(Injection, DelaysAndTheFirstRepeatPauseTakeRealTime) {
  const auto sink = std::make_shared<FakeSink>();
  const auto clock = std::make_shared<SystemInjectionClock>();
  Injector injector(sink, clock);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(injector.StartInjection(0, Record({kA, kA | kUp, kDelay1, kA, kA | kUp}), false));
  ASSERT_TRUE(injector.WaitUntilIdle(0));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(95));
  // A held repeating key types at once and again only after 500 ms.
  ASSERT_TRUE(injector.StartInjection(0, Record({kRepeat2, kA, kA | kUp}), false));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(sink->Calls().size(), 3u);
  injector.RequestStop(0);
  ASSERT_TRUE(injector.WaitUntilIdle(0));
}

// Runs `call` on a thread of its own and says whether it returned within `bound`. Either way
// `unblock` runs next and the thread is joined: a call that does not return fails the test by
// this bound instead of hanging the run.
bool ReturnsWithin(std::chrono::milliseconds bound, const std::function<void()>& call,
                   const std::function<void()>& unblock) {
  std::promise<void> returned;
  std::future<void> done = returned.get_future();
  std::thread runner([&] {
    call();
    returned.set_value();
  });
  const bool inTime = done.wait_for(bound) == std::future_status::ready;
  unblock();
  runner.join();
  return inTime;
}

// While the sink still holds the worker, the slot is busy and takes no second typing; then the
// sink lets the worker go.
void LetGoOnceBusy(FakeSink& sink, Injector& injector, int slot) {
  EXPECT_TRUE(injector.HasWorker(slot));
  EXPECT_FALSE(injector.StartInjection(slot, Record({kA, kA | kUp}), false));
  sink.Let();
}

constexpr std::chrono::milliseconds kTestEndWait{200};
constexpr std::chrono::milliseconds kGrace{3000};

// Ctrl goes down, a pause, then A is typed and Ctrl released: a typing cut short after the pause
// sends only the release of Ctrl.
const KeyCodeRecord kCtrlPauseA = Record({kCtrl, kDelay3, kA, kA | kUp, kCtrl | kUp});

// The system holds the worker up in a send while its keyboard closes: the close gives up after
// its bound, nothing types beside the worker, and once the send returns the worker lets go of
// Ctrl by itself and frees the slot for the next typing.
TEST(InjectionEnd, CloseOfATypingHeldInASendReturnsAtItsBoundAndTheKeysAreReleasedLater) {
  const auto sink = std::make_shared<FakeSink>();
  Injector injector(sink, std::make_shared<SystemInjectionClock>(), kTestEndWait);
  sink->Hold();
  ASSERT_TRUE(injector.StartInjection(6, kCtrlPauseA, false));
  ASSERT_TRUE(sink->AwaitCalls(1));
  bool ended = true;
  std::chrono::steady_clock::duration took{};
  const bool returned = ReturnsWithin(
      kTestEndWait + kGrace,
      [&] {
        const auto start = std::chrono::steady_clock::now();
        ended = injector.EndTyping(6);
        took = std::chrono::steady_clock::now() - start;
      },
      [&] { LetGoOnceBusy(*sink, injector, 6); });
  ASSERT_TRUE(returned) << "the close waited past its bound";
  EXPECT_FALSE(ended);
  EXPECT_GE(took, kTestEndWait);
  ASSERT_TRUE(injector.WaitUntilIdle(6));
  std::vector<FakeSink::Call> calls = sink->Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].inputs, std::vector<KeyInput>{Press(kVkCtrl)});
  EXPECT_EQ(calls[1].inputs, std::vector<KeyInput>{Release(kVkCtrl)});

  // The end was for that worker only: the next typing pauses and types in full.
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(
      injector.StartInjection(6, Record({kCtrl, kDelay1, kA, kA | kUp, kCtrl | kUp}), false));
  ASSERT_TRUE(injector.WaitUntilIdle(6));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(95));
  calls = sink->Calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[3].inputs, (std::vector<KeyInput>{Press(kVkA), Release(kVkA), Release(kVkCtrl)}));
}

// The injector goes away while a worker is held in a send: its end returns at its bound, and the
// worker, which keeps the slots and the sink alive, still lets go of Ctrl when the send returns.
TEST(InjectionEnd, InjectorEndsAtItsBoundAndTheWorkerOutlivingItReleasesTheKeys) {
  const auto sink = std::make_shared<FakeSink>();
  auto injector =
      std::make_unique<Injector>(sink, std::make_shared<SystemInjectionClock>(), kTestEndWait);
  sink->Hold();
  ASSERT_TRUE(injector->StartInjection(0, kCtrlPauseA, false));
  ASSERT_TRUE(injector->StartInjection(9, Record({kRepeat1, kA, kA | kUp}), false));
  ASSERT_TRUE(sink->AwaitCalls(2));
  const bool returned = ReturnsWithin(
      kTestEndWait + kGrace, [&] { injector.reset(); }, [&] { sink->Let(); });
  EXPECT_TRUE(returned) << "the injector's end waited past its bound";
  sink->Let();
  ASSERT_TRUE(sink->AwaitCalls(3));
  // Both workers see the end: no second typing of the repeating key, no A after the pause.
  const auto give = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  while (std::chrono::steady_clock::now() < give && sink->Calls().size() == 3) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const std::vector<FakeSink::Call> calls = sink->Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[2].inputs, std::vector<KeyInput>{Release(kVkCtrl)});
}

// A stop of a repetition whose worker is held in a send gives up at its bound; the slot takes no
// new typing until the worker, back from the send, sees the stop and frees the slot itself.
TEST(InjectionEnd, StopOfAWorkerHeldInASendGivesUpAndTheWorkerFreesTheSlot) {
  const auto sink = std::make_shared<FakeSink>();
  Injector injector(sink, std::make_shared<SystemInjectionClock>(), kTestEndWait);
  sink->Hold();
  ASSERT_TRUE(injector.StartInjection(4, Record({kRepeat1, kA, kA | kUp}), false));
  ASSERT_TRUE(sink->AwaitCalls(1));
  injector.RequestStop(4);  // the stopper thread waits for the held worker too
  bool stopped = true;
  const bool returned = ReturnsWithin(
      kTestEndWait + kGrace, [&] { stopped = injector.StopRepeat(4); },
      [&] {
        // The stopper thread, started a moment earlier, has given up by now as well.
        std::this_thread::sleep_for(kTestEndWait);
        LetGoOnceBusy(*sink, injector, 4);
      });
  ASSERT_TRUE(returned) << "the stop waited past its bound";
  EXPECT_FALSE(stopped);
  ASSERT_TRUE(injector.WaitUntilIdle(4));
  EXPECT_EQ(injector.repeatState(4), RepeatState::Idle);
  EXPECT_EQ(sink->Calls().size(), 1u);
  EXPECT_TRUE(injector.StartInjection(4, Record({kA, kA | kUp}), false));
  ASSERT_TRUE(injector.WaitUntilIdle(4));
}

}  // namespace
}  // namespace qv
