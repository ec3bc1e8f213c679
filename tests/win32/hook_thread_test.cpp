// The thread that serves a low-level keyboard hook: its hook sees the keys SendInput inserts
// while it runs and none after it ended, a second start beside a running thread is refused, and
// a thread that did not end in time keeps any second hook out until it has ended.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "common/win32/hook_thread.h"
#include "common/win32/owned.h"

namespace qv {
namespace {

constexpr DWORD kProbeKey = VK_F24;  // no program here acts on it

std::atomic<int> probeKeysSeen{0};
std::atomic<DWORD> preparedOnThread{0};
HANDLE prepareGate = nullptr;  // when set, the preparation waits for it

LRESULT CALLBACK CountProbeKeys(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam)->vkCode == kProbeKey)
    ++probeKeysSeen;
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void NotePreparingThread() {
  preparedOnThread = GetCurrentThreadId();
  if (prepareGate) WaitForSingleObject(prepareGate, INFINITE);
}

// Presses and releases the probe key; the count the hook reached afterwards.
int SendProbeKey() {
  INPUT inputs[2] = {};
  for (INPUT& input : inputs) {
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = static_cast<WORD>(kProbeKey);
  }
  inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, inputs, sizeof(INPUT));
  // The hook's thread answers on its own; give it a moment.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  while (probeKeysSeen.load() < 2 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return probeKeysSeen.exchange(0);
}

TEST(KeyboardHookThreadTest, ServesItsHookOnItsOwnThreadUntilStopped) {
  KeyboardHookThread hookThread;
  probeKeysSeen = 0;
  ASSERT_NE(hookThread.Start(CountProbeKeys, NotePreparingThread), nullptr);
  EXPECT_NE(preparedOnThread.load(), GetCurrentThreadId());
  EXPECT_TRUE(hookThread.Recorded());
  EXPECT_EQ(SendProbeKey(), 2);
  // One hook at a time.
  EXPECT_EQ(hookThread.Start(CountProbeKeys), nullptr);
  EXPECT_EQ(SendProbeKey(), 2);

  EXPECT_TRUE(hookThread.Stop());
  EXPECT_FALSE(hookThread.Recorded());
  EXPECT_EQ(SendProbeKey(), 0);
  // Stopped, it starts again.
  ASSERT_NE(hookThread.Start(CountProbeKeys), nullptr);
  EXPECT_EQ(SendProbeKey(), 2);
  EXPECT_TRUE(hookThread.Stop());
  EXPECT_TRUE(hookThread.Stop());  // nothing left to stop
}

TEST(KeyboardHookThreadTest, AThreadThatDidNotAnswerInTimeKeepsASecondHookOut) {
  // The preparation of the first thread is held past the start's waits.
  OwnedHandle gate(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  prepareGate = gate.get();
  KeyboardHookThread hookThread(100);
  EXPECT_EQ(hookThread.Start(CountProbeKeys, NotePreparingThread), nullptr);
  EXPECT_TRUE(hookThread.Recorded());
  EXPECT_EQ(hookThread.Start(CountProbeKeys), nullptr);
  // Told again to end, it still has not: it stays recorded.
  EXPECT_FALSE(hookThread.Stop());
  EXPECT_TRUE(hookThread.Recorded());
  EXPECT_EQ(hookThread.Start(CountProbeKeys), nullptr);

  // Let go, the late thread finds it was told to end: it removes its hook and ends, and only
  // then may another start.
  SetEvent(gate.get());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (hookThread.Recorded() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  prepareGate = nullptr;
  EXPECT_FALSE(hookThread.Recorded());
  probeKeysSeen = 0;
  EXPECT_EQ(SendProbeKey(), 0);
  ASSERT_NE(hookThread.Start(CountProbeKeys), nullptr);
  EXPECT_EQ(SendProbeKey(), 2);
  EXPECT_TRUE(hookThread.Stop());
}

}  // namespace
}  // namespace qv
