#include "softkbd/win32/input_sink_win32.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "keyboard_hook_recorder.h"

namespace qv {
namespace {

using testing::HookedKey;
using testing::KeyboardHookRecorder;

constexpr DWORD kHookUp = LLKHF_UP;
constexpr DWORD kHookExtended = LLKHF_EXTENDED;
constexpr DWORD kHookInjected = LLKHF_INJECTED;

KeyCodeRecord Record(std::initializer_list<std::uint8_t> strokes) {
  KeyCodeRecord record;
  record.bytes[0] = static_cast<std::uint8_t>(strokes.size() + 1);
  std::size_t i = 1;
  for (std::uint8_t stroke : strokes) record.bytes[i++] = stroke;
  return record;
}

TEST(InputSinkWin32, HookSeesVirtualKeyScanCodeFlagsAndTime) {
  KeyboardHookRecorder hook;
  ASSERT_TRUE(hook.installed());
  Win32InputSink sink;
  // Ctrl, A, A up, Ctrl up, then keypad Enter and its release, as the planner makes them.
  const TypingPlan plan =
      PlanTyping(Record({58, 31, 31 | 0x80, 58 | 0x80, 108, 108 | 0x80}), KeyTableFor(false));
  ASSERT_EQ(sink.SendKeyboardInputs(plan.inputs), plan.inputs.size());
  ASSERT_TRUE(hook.AwaitEvents(plan.inputs.size()));
  const std::vector<HookedKey> events = hook.Events();
  struct Expected {
    DWORD vk;
    DWORD flags;
  };
  const Expected expected[] = {{0xA2, 0},
                               {0x41, 0},
                               {0x41, kHookUp},
                               {0xA2, kHookUp},
                               {0x0D, kHookExtended},
                               {0x0D, kHookExtended | kHookUp}};
  ASSERT_EQ(events.size(), std::size(expected));
  for (std::size_t i = 0; i < events.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(events[i].vk, expected[i].vk);
    EXPECT_EQ(events[i].scan, MapVirtualKeyW(expected[i].vk, MAPVK_VK_TO_VSC));
    EXPECT_EQ(events[i].flags & (kHookUp | kHookExtended | kHookInjected),
              expected[i].flags | kHookInjected);
    if (i > 0) {
      EXPECT_EQ(events[i].time, 100 * i);
    }
  }
}

// A measurement, not a check: run with --gtest_also_run_disabled_tests to see how evenly a held
// "[Repeat1]" key and the delay entries reach a low-level hook.
TEST(InputSinkWin32, DISABLED_ReportsRepeatAndDelaySpreadAtTheHook) {
  KeyboardHookRecorder hook;
  ASSERT_TRUE(hook.installed());
  const auto sink = std::make_shared<Win32InputSink>();
  const auto clock = std::make_shared<SystemInjectionClock>();
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  auto ms = [&](LONGLONG ticks) {
    return 1000.0 * static_cast<double>(ticks) / frequency.QuadPart;
  };
  auto report = [&](const char* what, const std::vector<double>& gaps) {
    if (gaps.empty()) return;
    const auto [low, high] = std::minmax_element(gaps.begin(), gaps.end());
    double sum = 0;
    for (double gap : gaps) sum += gap;
    std::printf("%s: %zu gaps, mean %.2f ms, min %.2f ms, max %.2f ms\n", what, gaps.size(),
                sum / gaps.size(), *low, *high);
  };
  {
    // What the system's own sleeping gives for the same interval.
    std::vector<double> sleeps;
    LARGE_INTEGER before, after;
    for (int i = 0; i < 20; ++i) {
      QueryPerformanceCounter(&before);
      Sleep(kRepeat1IntervalMs);
      QueryPerformanceCounter(&after);
      sleeps.push_back(ms(after.QuadPart - before.QuadPart));
    }
    report("Sleep(30) alone", sleeps);
    std::mutex m;
    std::condition_variable cv;
    std::unique_lock lock(m);
    sleeps.clear();
    for (int i = 0; i < 20; ++i) {
      QueryPerformanceCounter(&before);
      cv.wait_for(lock, std::chrono::milliseconds(kRepeat1IntervalMs));
      QueryPerformanceCounter(&after);
      sleeps.push_back(ms(after.QuadPart - before.QuadPart));
    }
    report("timed condition wait of 30 ms alone", sleeps);
  }
  {
    Injector injector(sink, clock);
    ASSERT_TRUE(injector.StartInjection(0, Record({kRepeat1, 31, 31 | 0x80}), false));
    Sleep(1500);
    injector.RequestStop(0);
    ASSERT_TRUE(injector.WaitUntilIdle(0));
  }
  std::vector<HookedKey> events = hook.Events();
  std::vector<double> presses;
  for (const HookedKey& e : events) {
    if (!(e.flags & kHookUp)) presses.push_back(ms(e.counter));
  }
  ASSERT_GE(presses.size(), 3u);
  std::printf("first repeat wait: %.2f ms\n", presses[1] - presses[0]);
  std::vector<double> gaps;
  for (std::size_t i = 2; i < presses.size(); ++i) gaps.push_back(presses[i] - presses[i - 1]);
  report("[Repeat1] cadence", gaps);

  for (std::uint8_t delay : {kDelay1, kDelay2, kDelay3}) {
    const std::size_t before = hook.Events().size();
    std::vector<double> pauses;
    for (int round = 0; round < 5; ++round) {
      Injector injector(sink, clock);
      ASSERT_TRUE(injector.StartInjection(0, Record({31, delay, 31 | 0x80}), false));
      ASSERT_TRUE(injector.WaitUntilIdle(0));
    }
    events = hook.Events();
    for (std::size_t i = before; i + 1 < events.size(); i += 2) {
      pauses.push_back(ms(events[i + 1].counter - events[i].counter));
    }
    char what[32];
    std::snprintf(what, sizeof what, "delay %u ms", DelayMs(delay));
    report(what, pauses);
  }
}

}  // namespace
}  // namespace qv
