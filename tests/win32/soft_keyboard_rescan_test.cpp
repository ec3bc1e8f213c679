// Rescans over and over with soft keyboards attached: every rescan closes and restarts them, so
// whatever one start or close leaves behind (a thread, a handle, a window, a bitmap) adds up.
#include <windows.h>

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <cstdio>

#include "access/key_pad_connection.h"
#include "shell_fixture.h"

namespace qv {
namespace {

using testing::PumpUntil;
using testing::ShellRig;

struct ProcessCounts {
  long threads = 0;
  long handles = 0;
  long gdiObjects = 0;
  long userObjects = 0;
};

long CountThreads() {
  long count = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    entry.dwSize = sizeof entry;
  }
  CloseHandle(snapshot);
  return count;
}

// GetProcessHandleCount and GetGuiResources answer 0 under Wine 8, which does not count. There
// the live values are counted instead: kernel handles are multiples of 4, and GDI and USER
// objects are still found by the index in the low word of their handles.
long CountHandles() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) return count;
  long live = 0;
  for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
    DWORD flags;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++live;
  }
  return live;
}

long CountGdiObjects() {
  if (DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return count;
  long live = 0;
  for (ULONG_PTR value = 1; value < 0x10000; ++value) {
    if (GetObjectType(reinterpret_cast<HGDIOBJ>(value))) ++live;
  }
  return live;
}

long CountUserObjects() {
  if (DWORD count = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)) return count;
  long live = 0;
  for (ULONG_PTR value = 1; value < 0x10000; ++value) {
    if (IsWindow(reinterpret_cast<HWND>(value)) || IsMenu(reinterpret_cast<HMENU>(value))) ++live;
  }
  return live;
}

ProcessCounts CountNow() {
  return {CountThreads(), CountHandles(), CountGdiObjects(), CountUserObjects()};
}

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
