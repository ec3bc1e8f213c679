// What the WebHID port makes of a browser's device descriptions, and the demo key pad list the
// demo programs and the browser demo share.
#include <gtest/gtest.h>

#include <vector>

#include "device/browser_device.h"
#include "device/device_link.h"
#include "emulator/demo_key_pads.h"

namespace qv {
namespace {

TEST(BrowserDeviceTest, ReportLengthsCountTheLongestReportAndTheReportIdByte) {
  const std::vector<BrowserReport> feature = {{3, 63 * 8}, {4, 8}};
  const std::vector<BrowserReport> input = {{1, 12}};  // 12 bits round up to two bytes
  const HidCaps caps = BrowserCollectionCaps(0xFFA0, 1, input, {}, feature);
  EXPECT_EQ(caps.featureReportByteLength, 64);
  EXPECT_EQ(caps.inputReportByteLength, 3);
  EXPECT_EQ(caps.outputReportByteLength, 0);
  EXPECT_EQ(caps.usagePage, 0xFFA0);
  EXPECT_EQ(caps.usage, 1);
}

TEST(BrowserDeviceTest, VersionChoosesTheModelsOfTheWindowsProgram) {
  // USB key pads: the version the product is sold with.
  HidCaps usb;
  usb.featureReportByteLength = 64;
  EXPECT_EQ(ModelIdentity(BrowserVersionNumber(kProduct1225, usb), kProduct1225), kModel01001225);
  EXPECT_EQ(ModelIdentity(BrowserVersionNumber(kProduct074F, usb), kProduct074F), kModelA100074F);
  EXPECT_EQ(ModelIdentity(BrowserVersionNumber(kProduct1865, usb), kProduct1865), kModel02001865);
  // A framed key pad reads 0, which discovery replaces with its Bluetooth LE version.
  HidCaps framed;
  framed.inputReportByteLength = kFramedReportLength;
  framed.outputReportByteLength = kFramedReportLength;
  EXPECT_EQ(BrowserVersionNumber(kProduct074F, framed), 0);
}

TEST(DemoKeyPadsTest, DefaultListHasAPagedAPasswordAndABluetoothKeyPad) {
  const std::vector<KeyPadSpec> specs = ParseDemoKeyPads(kDefaultDemoKeyPads);
  ASSERT_EQ(specs.size(), 3u);
  EXPECT_EQ(specs[0].productId, kProduct1225);
  EXPECT_EQ(specs[0].serial, 123u);
  EXPECT_FALSE(specs[0].bluetooth);
  EXPECT_EQ(specs[1].password, "1234");
  EXPECT_EQ(specs[1].status, 0x01);
  EXPECT_TRUE(specs[2].bluetooth);
  EXPECT_EQ(specs[2].version, 0);
  EXPECT_TRUE(specs[2].zeroAttributes);
}

TEST(DemoKeyPadsTest, MalformedItemsAreSkipped) {
  const std::vector<KeyPadSpec> specs =
      ParseDemoKeyPads(u"9999/0100/1/,1227/zz/2/,1227/0200/x/,1227/0200/1234567/pw,142a//,");
  ASSERT_EQ(specs.size(), 2u);
  EXPECT_EQ(specs[0].version, 0x0200);
  EXPECT_EQ(specs[0].serial, 234567u);  // six digits on the key pad
  EXPECT_EQ(specs[0].password, "pw");
  EXPECT_EQ(specs[1].productId, kProduct142A);
  EXPECT_EQ(specs[1].version, 0x0100);
  EXPECT_EQ(specs[1].serial, 1u);
}

}  // namespace
}  // namespace qv
