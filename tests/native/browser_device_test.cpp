// What the WebHID port makes of a browser's device descriptions, and the demo key pad list the
// demo programs and the browser demo share.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "device/browser_device.h"
#include "device/device_commands.h"
#include "device/device_link.h"
#include "emulator/demo_key_pads.h"
#include "keycode/key_code_file.h"

namespace qv {
namespace {
// A file of the source tree; the Windows build's test program runs under Wine, which gives the
// Unix file system as drive Z:.
std::string SourceFile(const std::string& name) {
#ifdef _WIN32
  return "Z:" + std::string(QV_TEST_SOURCE_DIR) + "/" + name;
#else
  return std::string(QV_TEST_SOURCE_DIR) + "/" + name;
#endif
}

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
  // 1227 is sold as 0x0100 and 0x0200: the user's choice counts, and only a version it has.
  EXPECT_EQ(BrowserVersionNumber(kProduct1227, usb), 0x0100);
  EXPECT_EQ(BrowserVersionNumber(kProduct1227, usb, 0x0200), 0x0200);
  EXPECT_EQ(BrowserVersionNumber(kProduct1227, usb, 0x0300), 0x0100);
  EXPECT_EQ(BrowserVersionNumber(kProduct1225, usb, 0x0200), 0x0100);
  // A framed key pad reads 0, which discovery replaces with its Bluetooth LE version.
  HidCaps framed;
  framed.inputReportByteLength = kFramedReportLength;
  framed.outputReportByteLength = kFramedReportLength;
  EXPECT_EQ(BrowserVersionNumber(kProduct074F, framed), 0);
}

TEST(DemoKeyPadsTest, DefaultListHasAPagedAPasswordAndABluetoothKeyPad) {
  const std::vector<EmulatedKeyPad> keyPads = ParseDemoKeyPads(kDefaultDemoKeyPads);
  ASSERT_EQ(keyPads.size(), 3u);
  EXPECT_EQ(keyPads[0].productId, kProduct1225);
  EXPECT_EQ(keyPads[0].serial, 123u);
  EXPECT_FALSE(keyPads[0].bluetooth);
  EXPECT_EQ(keyPads[1].password, "1234");
  EXPECT_EQ(keyPads[1].status, 0x01);
  EXPECT_TRUE(keyPads[2].bluetooth);
  EXPECT_EQ(keyPads[2].version, 0);
  EXPECT_TRUE(keyPads[2].zeroAttributes);
}

TEST(DemoKeyPadsTest, MalformedItemsAreSkipped) {
  const std::vector<EmulatedKeyPad> keyPads =
      ParseDemoKeyPads(u"9999/0100/1/,1227/zz/2/,1227/0200/x/,1227/0200/1234567/pw,142a//,");
  ASSERT_EQ(keyPads.size(), 2u);
  EXPECT_EQ(keyPads[0].version, 0x0200);
  EXPECT_EQ(keyPads[0].serial, 234567u);  // six digits on the key pad
  EXPECT_EQ(keyPads[0].password, "pw");
  EXPECT_EQ(keyPads[1].productId, kProduct142A);
  EXPECT_EQ(keyPads[1].version, 0x0100);
  EXPECT_EQ(keyPads[1].serial, 1u);
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// The browser tests compare the page's export of the demo's 144-key key pad byte for byte with
// this file; here the file is checked against what the program's own export of that key pad
// holds (the same key pad, read through the core over the emulator).
TEST(DemoKeyPadsTest, BrowserExportReferenceIsTheProgramsExportOfTheDemoKeyPad) {
  EmulatedHidSystem hid{EmulatedHidSystem::ClockMode::kVirtual};
  hid.AttachKeyPad(ParseDemoKeyPads(kDefaultDemoKeyPads)[0]);
  DeviceContext context{hid};
  DeviceLink link;
  std::uint16_t version = 0;
  ASSERT_EQ(OpenKeyPad(context, link, kProduct1225, &version, 1, false), 1);
  auto records = std::make_unique<KeyCodeRecords>();
  ASSERT_EQ(ReadAllKeyCodes(context, link, kProduct1225, *records), 144);
  DeviceInfo info{};
  ASSERT_TRUE(ReadDeviceInfo(context, link, info));
  const std::vector<std::uint8_t> exported =
      BuildKeyCodeFile(ModelIdentity(version, kProduct1225), info[0], *records);

  std::ifstream file(SourceFile("web/test/reference/1225_000123.qvk"), std::ios::binary);
  ASSERT_TRUE(file.good());
  const std::vector<std::uint8_t> reference((std::istreambuf_iterator<char>(file)),
                                            std::istreambuf_iterator<char>());
  EXPECT_EQ(reference, exported);
}

}  // namespace
}  // namespace qv
