// Finding and identifying key pads among the HID collections of an emulated bus.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "access/key_pad_connection.h"
#include "device/device_commands.h"
#include "device/device_link.h"
#include "emulator/emulated_hid_system.h"

namespace qv {
namespace {

struct Rig {
  EmulatedHidSystem hid;
  DeviceContext context{hid};
  DeviceLink link;

  Rig() { context.framedTimeoutMs = 200; }
  ~Rig() { CloseLink(context, link); }

  std::uint16_t Open(std::uint16_t productId, std::uint16_t ordinal, std::uint16_t* version) {
    return OpenKeyPad(context, link, productId, version, ordinal, false);
  }
  std::uint16_t Count(std::uint16_t productId) {
    DeviceLink scratch;
    return OpenKeyPad(context, scratch, productId, nullptr, 0, true);
  }
};

EmulatedKeyPad Usb(std::uint16_t productId, std::uint16_t version, std::uint32_t serial) {
  EmulatedKeyPad keyPadSpec;
  keyPadSpec.productId = productId;
  keyPadSpec.version = version;
  keyPadSpec.serial = serial;
  return keyPadSpec;
}

EmulatedKeyPad Ble(std::uint16_t productId, std::uint16_t version, bool zeroAttributes = true) {
  EmulatedKeyPad keyPadSpec;
  keyPadSpec.productId = productId;
  keyPadSpec.version = version;
  keyPadSpec.bluetooth = true;
  keyPadSpec.zeroAttributes = zeroAttributes;
  return keyPadSpec;
}

std::uint32_t SerialOf(Rig& rig) {
  DeviceInfo info{};
  EXPECT_TRUE(ReadDeviceInfo(rig.context, rig.link, info));
  return SerialFromDeviceInfo(info);
}

TEST(ParseHex4, BothCasesAndNonDigitsCountAsZeroInPlace) {
  EXPECT_EQ(ParseHex4(u"ea7c"), 0xEA7C);
  EXPECT_EQ(ParseHex4(u"EA7C"), 0xEA7C);
  EXPECT_EQ(ParseHex4(u"074F"), 0x074F);
  EXPECT_EQ(ParseHex4(u"1g2F"), 0x102F);  // 'g' adds nothing but still shifts
  EXPECT_EQ(ParseHex4(u"&&&&"), 0);
}

TEST(ParseBleDevicePath, TakesIdsFromTheFieldsAfterTheMarker) {
  const std::u16string path =
      u"\\\\?\\hid#{00001812-0000-1000-8000-00805f9b34fb}_dev_vid&02ea7c_pid&074f_rev&0000_"
      u"d0c5d3a1b2c4&col02#9&1c2d3e4f&0&0001#{4d1e55b2-f16f-11cf-88cb-001111000030}";
  BlePathIds ids;
  ASSERT_TRUE(ParseBleDevicePath(path, ids));
  EXPECT_EQ(ids.vendorId, 0xEA7C);
  EXPECT_EQ(ids.productId, 0x074F);
  EXPECT_EQ(ids.version, 0x0000);

  // The upper-case forms of both marks.
  BlePathIds upper;
  ASSERT_TRUE(ParseBleDevicePath(
      u"\\\\?\\HID#{00001812-0000-1000-8000-00805F9B34FB}_DEV_VID&02EA7C_PID&0777_REV&0102",
      upper));
  EXPECT_EQ(upper.productId, 0x0777);
  EXPECT_EQ(upper.version, 0x0102);
}

TEST(ParseBleDevicePath, RefusesMissingMarksAndPathsCutShort) {
  BlePathIds ids;
  // No HID service UUID, or a mixed-case form that is not one of the two searched for.
  EXPECT_FALSE(
      ParseBleDevicePath(u"\\\\?\\hid#vid_ea7c&pid_074f_dev_vid&02ea7c_pid&074f_rev&0000", ids));
  EXPECT_FALSE(ParseBleDevicePath(
      u"{00001812-0000-1000-8000-00805f9b34fb}_Dev_Vid&02ea7c_pid&074f_rev&0000", ids));
  // The revision field needs 4 characters at offset 29; the view ends two characters early even
  // though the buffer behind it continues with digits.
  const std::u16string full =
      u"{00001812-0000-1000-8000-00805f9b34fb}_dev_vid&02ea7c_pid&074f_rev&0000";
  std::u16string_view cut(full.data(), full.size() - 2);
  EXPECT_FALSE(ParseBleDevicePath(cut, ids));
  EXPECT_TRUE(ParseBleDevicePath(full, ids));
  // The marker at the very end.
  const std::u16string atEnd = u"{00001812-0000-1000-8000-00805f9b34fb}_dev_vid&";
  EXPECT_FALSE(ParseBleDevicePath(atEnd, ids));
}

TEST(OpenKeyPad, BluetoothKeyPadWithZeroAttributesBecomesB4B4074F) {
  Rig rig;
  EmulatedDeviceId pad = rig.hid.AttachKeyPad(Ble(0x074F, 0x0000));
  std::uint16_t version = 0;
  ASSERT_EQ(rig.Open(0x074F, 1, &version), 1);
  EXPECT_EQ(ModelIdentity(version, 0x074F), kModelB4B4074F);
  EXPECT_TRUE(rig.link.framed);
  EXPECT_EQ(std::u16string(BoundedView(rig.link.path)), rig.hid.CommandPath(pad));
  // The link check of the discovery opened the read handle and reached the key pad.
  EXPECT_NE(rig.link.readHandle, kInvalidHidHandle);
  ASSERT_EQ(rig.hid.Requests(pad).size(), 1u);
  EXPECT_EQ(rig.hid.Requests(pad)[0].command, kCmdPingLink);
}

TEST(OpenKeyPad, VersionSubstitutionOnlyForFramedKeyPadsReadingZero) {
  Rig rig;
  rig.hid.AttachKeyPad(Ble(0x0777, 0x0000));
  rig.hid.AttachKeyPad(Ble(0x0777, 0x0102, false));
  rig.hid.AttachKeyPad(Usb(0x1224, 0x0000, 1));
  std::uint16_t version = 0xFFFF;
  ASSERT_EQ(rig.Open(0x0777, 1, &version), 1);
  EXPECT_EQ(ModelIdentity(version, 0x0777), kModelB5B50777);
  CloseLink(rig.context, rig.link);
  ASSERT_EQ(rig.Open(0x0777, 2, &version), 2);
  EXPECT_EQ(version, 0x0102);
  CloseLink(rig.context, rig.link);
  ASSERT_EQ(rig.Open(0x1224, 1, &version), 1);
  EXPECT_EQ(version, 0x0000);  // a USB key pad keeps version 0
  EXPECT_FALSE(rig.link.framed);
  EXPECT_EQ(rig.link.path[0], 0);
}

TEST(OpenKeyPad, OrdinalFollowsEnumerationOrderAndSkipsOtherDevices) {
  Rig rig;
  rig.hid.AttachForeignDevice(ForeignDeviceSpec{});  // Wine-like mouse, vendor 0x845E
  rig.hid.AttachKeyPad(Usb(0x1224, 0x0100, 111));
  rig.hid.AttachKeyPad(Usb(0x1227, 0x0100, 222));
  ForeignDeviceSpec keyboard;
  keyboard.productId = 0x0002;
  keyboard.usage = 0x0006;
  rig.hid.AttachForeignDevice(keyboard);
  rig.hid.AttachKeyPad(Ble(0x1224, 0x0000, false));  // framed, same product id
  rig.hid.AttachKeyPad(Usb(0x1224, 0x0100, 333));

  // Each composite key pad counts once: its keyboard and consumer collections have other pages.
  EXPECT_EQ(rig.Count(0x1224), 3);
  EXPECT_EQ(rig.Count(0x1227), 1);
  EXPECT_EQ(rig.Count(0x0652), 0);
  EXPECT_EQ(TakeKeyPadCensus(rig.context).total, 4u);
  EXPECT_EQ(rig.hid.OpenHandleCount(), 0u);

  ASSERT_EQ(rig.Open(0x1224, 1, nullptr), 1);
  EXPECT_EQ(SerialOf(rig), 111u);
  CloseLink(rig.context, rig.link);
  ASSERT_EQ(rig.Open(0x1224, 3, nullptr), 3);
  EXPECT_EQ(SerialOf(rig), 333u);
  CloseLink(rig.context, rig.link);

  // Asking for more than there are leaves nothing open.
  EXPECT_EQ(rig.Open(0x1224, 4, nullptr), 0);
  EXPECT_EQ(rig.link.handle, kInvalidHidHandle);
  EXPECT_EQ(rig.hid.OpenHandleCount(), 0u);
}

TEST(OpenKeyPad, RejectsWhatCannotBeAKeyPad) {
  Rig rig;
  // Vendor 0 with a product id: not taken from the path.
  ForeignDeviceSpec zeroVendor;
  zeroVendor.vendorId = 0;
  zeroVendor.productId = 0x1224;
  zeroVendor.usagePage = kVendorUsagePage;
  zeroVendor.featureReportLength = 64;
  rig.hid.AttachForeignDevice(zeroVendor);
  // Right ids and usage page, but a feature report longer than the message buffer.
  EmulatedKeyPad longFeature = Usb(0x1224, 0x0100, 1);
  longFeature.featureReportLength = 65;
  EmulatedDeviceId tooLong = rig.hid.AttachKeyPad(longFeature);
  // Held exclusively by another program.
  EmulatedKeyPad exclusive = Usb(0x1224, 0x0100, 2);
  exclusive.exclusive = true;
  rig.hid.AttachKeyPad(exclusive);
  // All-zero attributes without a Bluetooth LE path.
  ForeignDeviceSpec anonymous;
  anonymous.vendorId = 0;
  anonymous.productId = 0;
  anonymous.version = 0;
  anonymous.usagePage = kVendorUsagePage;
  anonymous.inputReportLength = 17;
  anonymous.outputReportLength = 17;
  rig.hid.AttachForeignDevice(anonymous);
  EXPECT_EQ(rig.Count(0x1224), 0);
  EXPECT_EQ(rig.Count(0), 0);

  // The key pad with the 64-byte report behind them is found as the first one.
  rig.hid.AttachKeyPad(Usb(0x1224, 0x0100, 3));
  ASSERT_EQ(rig.Open(0x1224, 1, nullptr), 1);
  EXPECT_EQ(SerialOf(rig), 3u);
  EXPECT_TRUE(rig.hid.FeatureReports(tooLong).empty());
}

TEST(OpenKeyPad, KeyPadThatDisappearsIsNoLongerFound) {
  Rig rig;
  EmulatedDeviceId pad = rig.hid.AttachKeyPad(Usb(0x142A, 0x0100, 9));
  ASSERT_EQ(rig.Open(0x142A, 1, nullptr), 1);
  rig.hid.Detach(pad);
  DeviceInfo info{};
  EXPECT_FALSE(ReadDeviceInfo(rig.context, rig.link, info));
  CloseLink(rig.context, rig.link);
  EXPECT_EQ(rig.link.handle, kInvalidHidHandle);
  EXPECT_EQ(rig.Count(0x142A), 0);
  EXPECT_EQ(rig.hid.OpenHandleCount(), 0u);
}

TEST(DeviceLink, OwnsItsHandlesWhereverItGoes) {
  Rig rig;
  rig.hid.AttachKeyPad(Usb(0x1224, 0x0100, 1));
  rig.hid.AttachKeyPad(Ble(0x074F, 0x0000));

  // Opened again, a link closes what it held first.
  ASSERT_EQ(rig.Open(0x1224, 1, nullptr), 1);
  ASSERT_EQ(rig.Open(0x074F, 1, nullptr), 1);
  EXPECT_EQ(rig.hid.OpenHandleCount(), 2u);  // the framed link and its read handle

  // Moving hands the handles over; assigning closes what the target held; going out of scope
  // closes the rest.
  {
    DeviceLink moved(std::move(rig.link));
    EXPECT_EQ(rig.link.handle, kInvalidHidHandle);
    EXPECT_EQ(rig.link.readHandle, kInvalidHidHandle);
    EXPECT_TRUE(PingLink(rig.context, moved));
    ASSERT_EQ(rig.Open(0x1224, 1, nullptr), 1);
    EXPECT_EQ(rig.hid.OpenHandleCount(), 3u);
    rig.link = std::move(moved);
    EXPECT_EQ(rig.hid.OpenHandleCount(), 2u);
    EXPECT_TRUE(rig.link.framed);
    EXPECT_TRUE(PingLink(rig.context, rig.link));
  }
  EXPECT_EQ(rig.hid.OpenHandleCount(), 2u);
  {
    DeviceLink temporary;
    ASSERT_EQ(OpenKeyPad(rig.context, temporary, 0x1224, nullptr, 1, false), 1);
    EXPECT_EQ(rig.hid.OpenHandleCount(), 3u);
  }
  EXPECT_EQ(rig.hid.OpenHandleCount(), 2u);
  CloseLink(rig.context, rig.link);
  EXPECT_EQ(rig.hid.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace qv
