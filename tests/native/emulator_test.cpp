// The emulated HID bus itself: what the device tests rely on it to do like the real system.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "device/device_commands.h"
#include "emulator/emulated_hid_system.h"

namespace qv {
namespace {

using Bytes = std::vector<std::uint8_t>;

KeyPadSpec BlePad() {
  KeyPadSpec spec;
  spec.productId = 0x074F;
  spec.version = 0;
  spec.bluetooth = true;
  return spec;
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

TEST(EmulatedHidSystem, DetachedDeviceLeavesTheBusAndItsHandlesFail) {
  EmulatedHidSystem hid;
  ForeignDeviceSpec mouse;
  EmulatedDeviceId foreign = hid.AttachForeignDevice(mouse);
  EmulatedDeviceId pad = hid.AttachKeyPad(KeyPadSpec{});  // composite: three collections
  std::vector<std::u16string> paths;
  ASSERT_TRUE(hid.EnumeratePaths(paths));
  EXPECT_EQ(paths.size(), 4u);
  const std::u16string path = hid.CommandPath(pad);
  EXPECT_NE(std::find(paths.begin(), paths.end(), path), paths.end());

  HidHandle handle = hid.Open(path, false);
  ASSERT_NE(handle, kInvalidHidHandle);
  hid.Detach(pad);
  EXPECT_FALSE(hid.IsAttached(pad));
  EXPECT_TRUE(hid.IsAttached(foreign));
  HidAttributes attributes;
  EXPECT_FALSE(hid.GetAttributes(handle, attributes));
  EXPECT_EQ(hid.Open(path, false), kInvalidHidHandle);
  ASSERT_TRUE(hid.EnumeratePaths(paths));
  EXPECT_EQ(paths.size(), 1u);
  hid.Close(handle);
}

TEST(EmulatedHidSystem, BluetoothPathsHoldTheIdFieldsAtTheirOffsets) {
  EmulatedHidSystem hid;
  KeyPadSpec spec = BlePad();
  spec.productId = 0x0777;
  EmulatedDeviceId pad = hid.AttachKeyPad(spec);
  const std::u16string path = hid.CommandPath(pad);
  const std::size_t marker = path.find(u"_dev_vid&");
  ASSERT_NE(marker, std::u16string::npos);
  EXPECT_NE(path.find(u"{00001812-0000-1000-8000-00805f9b34fb}"), std::u16string::npos);
  EXPECT_EQ(path.substr(marker + 11, 4), u"ea7c");
  EXPECT_EQ(path.substr(marker + 20, 4), u"0777");
  EXPECT_EQ(path.substr(marker + 29, 4), u"0000");
  HidHandle handle = hid.Open(path, false);
  HidAttributes attributes{1, 1, 1};
  ASSERT_TRUE(hid.GetAttributes(handle, attributes));
  EXPECT_EQ(attributes.vendorId, 0);
  EXPECT_EQ(attributes.productId, 0);
  HidCaps caps;
  ASSERT_TRUE(hid.GetCaps(handle, caps));
  EXPECT_EQ(caps.inputReportByteLength, 17);
  EXPECT_EQ(caps.outputReportByteLength, 17);
  EXPECT_EQ(caps.featureReportByteLength, 0);
  hid.Close(handle);
}

TEST(KeyPadFirmware, AnswersAndDefaults) {
  KeyPadFirmware firmware(0x1225, 0x0100, 42, 0x00);
  EXPECT_EQ(firmware.keyCount(), 144);
  EXPECT_TRUE(firmware.paged());
  // Defaults are the same for the same key, differ between neighbours, and fit any model.
  EXPECT_EQ(KeyPadFirmware::DefaultKeyCode(17).bytes, KeyPadFirmware::DefaultKeyCode(17).bytes);
  EXPECT_NE(KeyPadFirmware::DefaultKeyCode(17).bytes, KeyPadFirmware::DefaultKeyCode(18).bytes);
  for (int key = 1; key <= kMaxKeys; ++key) {
    const KeyCodeRecord record = KeyPadFirmware::DefaultKeyCode(key);
    ASSERT_GE(record.length(), 3);
    ASSERT_LE(record.length(), 41);
  }
  EXPECT_EQ(firmware.Handle({kCmdReadDeviceInfo, 0, {}}), (Bytes{1, 4, 0x00, 0x42, 0, 0}));
  EXPECT_EQ(firmware.Handle({kCmdSelectPage, 1, {6}}), (Bytes{kCmdSelectPage, 0}));
  EXPECT_EQ(firmware.Handle({kCmdReadActivePage, 0, {}}), (Bytes{kCmdReadActivePage, 1, 6}));
  EXPECT_EQ(firmware.Handle({kCmdPingLink, 0, {}}), (Bytes{0xFF, 1, 1}));
  // A key the model does not have answers as an empty key.
  KeyPadFirmware small(0x1224, 0x0100, 1, 0);
  EXPECT_EQ(small.Handle({kCmdReadKeyCode, 1, {31}}), (Bytes{kCmdReadKeyCode, 1, 31}));
  EXPECT_EQ(small.requests.size(), 1u);
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
      KeyPadSpec other;
      other.productId = 0x1865;
      EmulatedDeviceId id = hid.AttachKeyPad(other);
      std::this_thread::yield();
      hid.Detach(id);
    }
  });
  int failures = 0;
  for (int i = 0; i < 200; ++i) {
    if (!PingLink(context, link)) ++failures;
    CountKeyPads(context);
  }
  done = true;
  plugger.join();
  EXPECT_EQ(failures, 0);
  EXPECT_TRUE(hid.IsAttached(steady));
  CloseLink(context, link);
}

}  // namespace
}  // namespace qv
