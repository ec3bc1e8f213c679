// Rescans over and over with soft keyboards attached: every rescan closes and restarts them, so
// whatever one start or close leaves behind (a thread, a handle, a window, a bitmap) adds up.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "access/key_pad_connection.h"
#include "process_counts.h"
#include "shell_fixture.h"

namespace qv {
namespace {

using testing::CountNow;
using testing::ProcessCounts;
using testing::PumpUntil;
using testing::ShellRig;

TEST(SoftKeyboardRescan, AHundredRescansLeaveTheProcessCountsFlat) {
  ShellRig rig;
  ASSERT_TRUE(rig.started);
  // Hidden keyboards: Wine's X11 driver waits two seconds for a window manager to confirm each
  // shown keyboard before it withdraws it, and the test display has none. Hidden ones are
  // created, laid out and closed all the same.
  rig.app().shell.touchEnabled = 0;
  rig.Attach(0x1224, 111);
  rig.Attach(0x074F, 222, 0xA100);
  ASSERT_TRUE(PumpUntil([&] {
    return rig.app().softKeyboards.SoftKeyboardWindowExists(0) &&
           rig.app().softKeyboards.SoftKeyboardWindowExists(1);
  }));

  KeyPadTable& table = rig.app().keyPads;
  auto rescan = [&](int times) {
    for (int i = 0; i < times; ++i) {
      RescanKeyPads(table, *rig.app().ports);
      PumpUntil([] { return true; });
      ASSERT_EQ(table.keyPadCount.load(), 2);
      ASSERT_TRUE(rig.app().softKeyboards.SoftKeyboardWindowExists(0)) << "rescan " << i;
      ASSERT_TRUE(rig.app().softKeyboards.SoftKeyboardWindowExists(1)) << "rescan " << i;
    }
  };
  constexpr int kWarmUp = 20;
  constexpr int kRescans = 100;
  rescan(kWarmUp);
  const ProcessCounts before = CountNow();
  const DWORD start = GetTickCount();
  rescan(kRescans - kWarmUp);
  const DWORD elapsed = GetTickCount() - start;
  const ProcessCounts after = CountNow();
  std::printf(
      "%d rescans: %.1f ms each; threads %ld -> %ld, handles %ld -> %ld, GDI %ld -> %ld, "
      "USER %ld -> %ld\n",
      kRescans - kWarmUp, static_cast<double>(elapsed) / (kRescans - kWarmUp), before.threads,
      after.threads, before.handles, after.handles, before.gdiObjects, after.gdiObjects,
      before.userObjects, after.userObjects);

  // 80 rescans start and close 160 soft keyboards: a leak of one object per keyboard, or of one
  // per rescan, shows beyond these margins.
  EXPECT_GT(before.threads, 2);
  EXPECT_LE(after.threads, before.threads + 2);
  EXPECT_LE(after.handles, before.handles + 8);
  EXPECT_LE(after.gdiObjects, before.gdiObjects + 8);
  EXPECT_LE(after.userObjects, before.userObjects + 4);
}

}  // namespace
}  // namespace qv
