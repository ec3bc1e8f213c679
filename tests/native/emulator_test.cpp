// The emulated HID bus itself: what the device tests rely on it to do like the real system.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "access/key_pad_connection.h"
#include "device/device_commands.h"
#include "emulator/emulated_hid_system.h"

namespace qv {
namespace {

using Bytes = std::vector<std::uint8_t>;

EmulatedKeyPad BlePad() {
  EmulatedKeyPad keyPadSpec;
  keyPadSpec.productId = 0x074F;
  keyPadSpec.version = 0;
  keyPadSpec.bluetooth = true;
  return keyPadSpec;
}

HidReadResult Read(EmulatedHidSystem& hid, HidHandle handle, Bytes& out, std::uint32_t ms) {
  out.assign(17, 0);
  std::size_t got = 0;
  HidReadResult result = hid.ReadInput(handle, out.data(), out.size(), ms, got);
  out.resize(got);
  return result;
}

TEST(EmulatedHidSystem, EachHandleSeesOnlyInputArrivingAfterItWasOpened) {
  EmulatedHidSystem hid(EmulatedHidSystem::ClockMode::kVirtual);
  EmulatedDeviceId pad = hid.AttachKeyPad(BlePad());
  HidHandle early = hid.Open(hid.CommandPath(pad), true);
  hid.SendInput(pad, Bytes(17, 0x01));
  HidHandle late = hid.Open(hid.CommandPath(pad), true);
  hid.SendInput(pad, Bytes(17, 0x02));

  Bytes got;
  ASSERT_EQ(Read(hid, early, got, 10), HidReadResult::kOk);
  EXPECT_EQ(got, Bytes(17, 0x01));
  ASSERT_EQ(Read(hid, early, got, 10), HidReadResult::kOk);
  EXPECT_EQ(got, Bytes(17, 0x02));
  ASSERT_EQ(Read(hid, late, got, 10), HidReadResult::kOk);
  EXPECT_EQ(got, Bytes(17, 0x02));
  EXPECT_EQ(Read(hid, late, got, 10), HidReadResult::kTimeout);
  EXPECT_TRUE(got.empty());
  // A synchronous handle cannot wait with a time-out.
  HidHandle sync = hid.Open(hid.CommandPath(pad), false);
  EXPECT_EQ(Read(hid, sync, got, 10), HidReadResult::kError);
  hid.Close(early);
  hid.Close(late);
  hid.Close(sync);
  EXPECT_EQ(hid.OpenHandleCount(), 0u);
}

TEST(EmulatedHidSystem, VirtualClockJumpsToScheduledInputOrTheDeadline) {
  EmulatedHidSystem hid(EmulatedHidSystem::ClockMode::kVirtual);
  EmulatedDeviceId pad = hid.AttachKeyPad(BlePad());
  HidHandle handle = hid.Open(hid.CommandPath(pad), true);
  hid.SendInput(pad, Bytes(17, 0x07), 1200);
  Bytes got;
  EXPECT_EQ(Read(hid, handle, got, 1000), HidReadResult::kTimeout);
  EXPECT_EQ(hid.NowMs(), 1000u);
  ASSERT_EQ(Read(hid, handle, got, 1000), HidReadResult::kOk);
  EXPECT_EQ(hid.NowMs(), 1200u);
  EXPECT_EQ(got, Bytes(17, 0x07));
  hid.Close(handle);
}

// The program's end cuts short the waits under way on a key pad that stopped answering, as the
// Win32 HID system does; a read started afterwards waits for its answer as before.
TEST(EmulatedHidSystem, AbortWaitsEndsOnlyTheWaitsUnderWay) {
  EmulatedHidSystem hid;
  EmulatedDeviceId pad = hid.AttachKeyPad(BlePad());
  HidHandle handle = hid.Open(hid.CommandPath(pad), true);
  std::atomic<bool> waiting{false};
  HidReadResult result = HidReadResult::kOk;
  const auto start = std::chrono::steady_clock::now();
  std::thread reader([&] {
    Bytes got;
    waiting = true;
    result = Read(hid, handle, got, 20000);
  });
  while (!waiting) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  hid.AbortWaits();
  reader.join();
  EXPECT_EQ(result, HidReadResult::kTimeout);
  // Far below the read's own 20 s, with room for a loaded machine.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

  std::thread sender([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    hid.SendInput(pad, Bytes(17, 0x05));
  });
  Bytes got;
  EXPECT_EQ(Read(hid, handle, got, 60000), HidReadResult::kOk);
  EXPECT_EQ(got, Bytes(17, 0x05));
  sender.join();
  hid.Close(handle);
}

TEST(EmulatedHidSystem, RealClockWaitEndsWhenAnotherThreadDelivers) {
  EmulatedHidSystem hid;
  EmulatedDeviceId pad = hid.AttachKeyPad(BlePad());
  HidHandle handle = hid.Open(hid.CommandPath(pad), true);
  std::thread sender([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    hid.SendInput(pad, Bytes(17, 0x09));
  });
  Bytes got;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Read(hid, handle, got, 5000), HidReadResult::kOk);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  sender.join();
  // A short real wait with nothing coming times out.
  EXPECT_EQ(Read(hid, handle, got, 20), HidReadResult::kTimeout);
  hid.Close(handle);
}

TEST(EmulatedHidSystem, AttachAndDetachWhileAnotherThreadExchanges) {
  EmulatedHidSystem hid;
  DeviceContext context(hid);
  context.framedTimeoutMs = 50;
  EmulatedDeviceId steady = hid.AttachKeyPad(BlePad());
  DeviceLink link;
  ASSERT_EQ(OpenKeyPad(context, link, 0x074F, nullptr, 1, false), 1);
  std::atomic<bool> done{false};
  std::thread plugger([&] {
    while (!done) {
      EmulatedKeyPad other;
      other.productId = 0x1865;
      EmulatedDeviceId id = hid.AttachKeyPad(other);
      std::this_thread::yield();
      hid.Detach(id);
    }
  });
  int failures = 0;
  for (int i = 0; i < 200; ++i) {
    if (!PingLink(context, link)) ++failures;
    TakeKeyPadCensus(context);
  }
  done = true;
  plugger.join();
  EXPECT_EQ(failures, 0);
  EXPECT_TRUE(hid.IsAttached(steady));
  CloseLink(context, link);
}

}  // namespace
}  // namespace qv
