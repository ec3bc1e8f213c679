// The eleven key pad commands and the key-code loops, on both transports.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "device/device_commands.h"
#include "emulator/emulated_hid_system.h"

namespace qv {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Rig {
  EmulatedHidSystem hid{EmulatedHidSystem::ClockMode::kVirtual};
  DeviceContext context{hid};
  DeviceLink link;
  EmulatedDeviceId pad = 0;

  explicit Rig(EmulatedKeyPad keyPadSpec) {
    pad = hid.AttachKeyPad(keyPadSpec);
    EXPECT_EQ(OpenKeyPad(context, link, keyPadSpec.productId, nullptr, 1, false), 1);
    hid.ClearRequests(pad);
  }
  ~Rig() { CloseLink(context, link); }

  void Faults(const KeyPadFaults& faults) { hid.SetFaults(pad, faults); }
  void NextReply(Bytes body) {
    KeyPadFaults faults;
    faults.nextReplyBody = std::move(body);
    Faults(faults);
  }
};

EmulatedKeyPad Model(std::uint16_t productId, bool bluetooth = false) {
  EmulatedKeyPad keyPadSpec;
  keyPadSpec.productId = productId;
  keyPadSpec.version = bluetooth ? 0 : 0x0100;
  keyPadSpec.bluetooth = bluetooth;
  return keyPadSpec;
}

// Most behaviour is the same on both transports.
class BothTransports : public ::testing::TestWithParam<bool> {
 protected:
  EmulatedKeyPad PadSpec(std::uint16_t usbProductId = 0x1227) const {
    return GetParam() ? Model(0x074F, true) : Model(usbProductId);
  }
};
INSTANTIATE_TEST_SUITE_P(Device, BothTransports, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Framed" : "Feature"; });

TEST_P(BothTransports, DeviceInfoCarriesStatusAndBcdSerial) {
  EmulatedKeyPad keyPadSpec = PadSpec();
  keyPadSpec.serial = 907531;
  keyPadSpec.status = 0xE5;
  Rig rig(keyPadSpec);
  DeviceInfo info{};
  ASSERT_TRUE(ReadDeviceInfo(rig.context, rig.link, info));
  EXPECT_EQ(info[0], 0xE5);
  EXPECT_EQ(info[1], 0x31);
  EXPECT_EQ(SerialFromDeviceInfo(info), 907531u);

  // Length 5 instead of 4, or another command's reply: refused, output kept.
  DeviceInfo kept{};
  kept[0] = 0x42;
  rig.NextReply({kCmdReadDeviceInfo, 0x05, 0xE5, 0x31, 0x75, 0x90});
  EXPECT_FALSE(ReadDeviceInfo(rig.context, rig.link, kept));
  rig.NextReply({kCmdReadActivePage, 0x04, 0xE5, 0x31, 0x75, 0x90});
  EXPECT_FALSE(ReadDeviceInfo(rig.context, rig.link, kept));
  EXPECT_EQ(kept[0], 0x42);
}

TEST_P(BothTransports, PasswordRegistrationVerificationAndLocking) {
  Rig rig(PadSpec());
  ASSERT_TRUE(WritePassword(rig.context, rig.link, "Secret20"));
  EXPECT_EQ(rig.hid.Password(rig.pad), "Secret20");
  EXPECT_TRUE(rig.hid.Status(rig.pad) & kStatusPasswordSet);

  EXPECT_TRUE(VerifyPassword(rig.context, rig.link, "Secret20"));
  EXPECT_TRUE(rig.hid.Status(rig.pad) & kStatusAuthenticated);
  EXPECT_FALSE(VerifyPassword(rig.context, rig.link, "secret20"));
  EXPECT_FALSE(rig.hid.Status(rig.pad) & kStatusAuthenticated);
  // Locking sends an empty password.
  EXPECT_TRUE(VerifyPassword(rig.context, rig.link, "Secret20"));
  VerifyPassword(rig.context, rig.link, "");
  EXPECT_FALSE(rig.hid.Status(rig.pad) & kStatusAuthenticated);

  // A reply status other than 0x10 is a refusal.
  rig.NextReply({kCmdVerifyPassword, 0x01, 0x11});
  EXPECT_FALSE(VerifyPassword(rig.context, rig.link, "Secret20"));

  // More than 20 characters: nothing is sent.
  const std::size_t before = rig.hid.Requests(rig.pad).size();
  EXPECT_FALSE(WritePassword(rig.context, rig.link, std::string(21, 'a')));
  EXPECT_FALSE(VerifyPassword(rig.context, rig.link, std::string(21, 'a')));
  EXPECT_EQ(rig.hid.Requests(rig.pad).size(), before);
  ASSERT_TRUE(WritePassword(rig.context, rig.link, std::string(20, 'z')));
  EXPECT_EQ(rig.hid.Password(rig.pad), std::string(20, 'z'));

  // The empty password removes it.
  ASSERT_TRUE(WritePassword(rig.context, rig.link, ""));
  EXPECT_EQ(rig.hid.Password(rig.pad), "");
  EXPECT_FALSE(rig.hid.Status(rig.pad) & kStatusPasswordSet);
  // The same from an empty view that has no characters behind it.
  ASSERT_TRUE(WritePassword(rig.context, rig.link, "pw"));
  ASSERT_TRUE(WritePassword(rig.context, rig.link, std::string_view()));
  EXPECT_EQ(rig.hid.Password(rig.pad), "");
  EXPECT_TRUE(VerifyPassword(rig.context, rig.link, std::string_view()));
}

TEST_P(BothTransports, KeyCodesRoundTripAndFactoryResetRestoresDefaults) {
  Rig rig(PadSpec());
  KeyCodeRecord written;
  const Bytes sequence = {58, 31, 0xBA, 0xDF, 0x48, 0x4D};  // Ctrl+A ... delay, repeat
  written.bytes[0] = 7;
  std::copy(sequence.begin(), sequence.end(), written.bytes.begin() + 1);
  ASSERT_TRUE(WriteKeyCode(rig.context, rig.link, 30, written));
  KeyCodeRecord read;
  ASSERT_TRUE(ReadKeyCode(rig.context, rig.link, 30, read));
  EXPECT_EQ(read.length(), 7);
  EXPECT_TRUE(std::equal(sequence.begin(), sequence.end(), read.bytes.begin() + 1));
  EXPECT_EQ(rig.hid.Record(rig.pad, 30).bytes, read.bytes);

  KeyCodeRecord defaults;
  ASSERT_TRUE(ReadDefaultKeyCode(rig.context, rig.link, 30, defaults));
  const KeyCodeRecord factory = KeyPadFirmware::DefaultKeyCode(30);
  EXPECT_EQ(defaults.bytes, factory.bytes);

  ASSERT_TRUE(WritePassword(rig.context, rig.link, "pw"));
  ASSERT_TRUE(ResetToFactory(rig.context, rig.link));
  EXPECT_EQ(rig.hid.Record(rig.pad, 30).bytes, factory.bytes);
  EXPECT_EQ(rig.hid.Password(rig.pad), "");
  // The key pad has no password any more and is no longer authenticated.
  EXPECT_EQ(rig.hid.Status(rig.pad) & (kStatusPasswordSet | kStatusAuthenticated), 0);

  // Key numbers and lengths outside a record are refused before anything is sent.
  const std::size_t before = rig.hid.Requests(rig.pad).size();
  written.bytes[0] = 3;
  EXPECT_FALSE(WriteKeyCode(rig.context, rig.link, 0, written));
  EXPECT_FALSE(WriteKeyCode(rig.context, rig.link, 145, written));
  written.bytes[0] = 0;
  EXPECT_FALSE(WriteKeyCode(rig.context, rig.link, 1, written));
  written.bytes[0] = 62;
  EXPECT_FALSE(WriteKeyCode(rig.context, rig.link, 1, written));
  EXPECT_FALSE(ReadKeyCode(rig.context, rig.link, 0, read));
  EXPECT_EQ(rig.hid.Requests(rig.pad).size(), before);
}

TEST_P(BothTransports, RepliesForAnotherCommandOrKeyAreRefused) {
  Rig rig(PadSpec());
  KeyCodeRecord kept;
  kept.bytes[0] = 1;
  kept.bytes[1] = 0x77;
  KeyPadFaults faults;
  faults.wrongKeyEcho = true;  // asked for key 8, the reply is for key 7
  rig.Faults(faults);
  EXPECT_FALSE(ReadKeyCode(rig.context, rig.link, 8, kept));
  KeyCodeRecord keptDefault = kept;
  EXPECT_FALSE(ReadDefaultKeyCode(rig.context, rig.link, 8, keptDefault));
  EXPECT_EQ(keptDefault, kept);

  faults = KeyPadFaults{};
  faults.wrongCommandEcho = true;
  rig.Faults(faults);
  EXPECT_FALSE(ReadKeyCode(rig.context, rig.link, 8, kept));
  EXPECT_FALSE(PingLink(rig.context, rig.link));
  EXPECT_EQ(kept.bytes[1], 0x77);
}

TEST_P(BothTransports, WriteStatusAndPagesOfPagedModels) {
  EmulatedKeyPad keyPadSpec = PadSpec(0x130D);
  if (!GetParam()) keyPadSpec.version = 0x0100;  // identity 0x0100130D: paged
  Rig rig(keyPadSpec);
  ASSERT_TRUE(WriteStatusByte(rig.context, rig.link, EditingStatusValue(0xE5)));
  EXPECT_EQ(rig.hid.LastStatusWrite(rig.pad), 0xE0);
  ASSERT_TRUE(WriteStatusByte(rig.context, rig.link, ResumeStatusValue(0xE5)));
  EXPECT_EQ(rig.hid.LastStatusWrite(rig.pad), 0xE1);
  // The settings bits are stored; the access bits stay the key pad's own.
  EXPECT_EQ(rig.hid.Status(rig.pad), 0x60);

  DeviceInfo page{};
  if (GetParam()) {  // the Bluetooth LE model has no pages
    EXPECT_FALSE(ReadActivePage(rig.context, rig.link, page));
    return;
  }
  ASSERT_TRUE(SelectPage(rig.context, rig.link, 4));
  ASSERT_TRUE(ReadActivePage(rig.context, rig.link, page));
  EXPECT_EQ(page[0], 4);
  EXPECT_FALSE(SelectPage(rig.context, rig.link, 7));
  EXPECT_FALSE(SelectPage(rig.context, rig.link, 0));
  EXPECT_EQ(rig.hid.ActivePage(rig.pad), 4);
}

TEST(KeyCodeReplies, ZeroLengthIsAnEmptyKey) {
  Rig rig(Model(0x1224));
  KeyCodeRecord empty;  // length 0 as some key pads answer for a never-written key
  rig.hid.SetRecord(rig.pad, 6, empty);
  KeyCodeRecord read;
  read.bytes.fill(0xEE);
  ASSERT_TRUE(ReadKeyCode(rig.context, rig.link, 6, read));
  EXPECT_EQ(read.length(), 1);
  for (int i = 1; i < kRecordBytes; ++i) EXPECT_EQ(read.bytes[i], 0) << i;

  // The factory default's length byte is passed on as received.
  rig.NextReply({kCmdReadDefaultKeyCode, 0x00, 6});
  read.bytes.fill(0xEE);
  ASSERT_TRUE(ReadDefaultKeyCode(rig.context, rig.link, 6, read));
  EXPECT_EQ(read, KeyCodeRecord{});
}

TEST(KeyCodeReplies, LengthsBeyondTheTransportAreFailedReads) {
  Rig usb(Model(0x1224));
  KeyCodeRecord read;
  usb.NextReply({kCmdReadKeyCode, 62, 1});
  EXPECT_FALSE(ReadKeyCode(usb.context, usb.link, 1, read));
  usb.NextReply({kCmdReadKeyCode, 61, 1});
  ASSERT_TRUE(ReadKeyCode(usb.context, usb.link, 1, read));
  EXPECT_EQ(read.length(), 61);
  usb.NextReply({kCmdReadDefaultKeyCode, 0xFF, 1});
  EXPECT_FALSE(ReadDefaultKeyCode(usb.context, usb.link, 1, read));

  Rig ble(Model(0x074F, true));
  ble.NextReply({kCmdReadKeyCode, 42, 1});
  EXPECT_FALSE(ReadKeyCode(ble.context, ble.link, 1, read));
  ble.NextReply({kCmdReadKeyCode, 41, 1});
  EXPECT_TRUE(ReadKeyCode(ble.context, ble.link, 1, read));
}

TEST(PingLink, FeatureKeyPadIsNeverSentAnything) {
  Rig rig(Model(0x1224));
  EXPECT_FALSE(PingLink(rig.context, rig.link));
  EXPECT_TRUE(rig.hid.FeatureReports(rig.pad).empty());
  EXPECT_TRUE(rig.hid.Requests(rig.pad).empty());

  Rig ble(Model(0x0777, true));
  EXPECT_TRUE(PingLink(ble.context, ble.link));
  KeyPadFaults faults;
  faults.silent = true;
  ble.Faults(faults);
  EXPECT_FALSE(PingLink(ble.context, ble.link));
}

TEST(ReadAllKeyCodes, ReadsOnlyTheModelsKeysAndZeroesTheRest) {
  Rig rig(Model(0x1224));
  auto records = std::make_unique<KeyCodeRecords>();
  for (KeyCodeRecord& record : *records) record.bytes.fill(0x33);  // left from an earlier key pad
  EXPECT_EQ(ReadAllKeyCodes(rig.context, rig.link, 0x1224, *records), 30);

  const auto requests = rig.hid.Requests(rig.pad);
  ASSERT_EQ(requests.size(), 30u);
  for (int key = 1; key <= 30; ++key) {
    EXPECT_EQ(requests[key - 1].command, kCmdReadKeyCode);
    EXPECT_EQ(requests[key - 1].payload, Bytes{static_cast<std::uint8_t>(key)});
    EXPECT_EQ((*records)[key - 1].bytes, KeyPadFirmware::DefaultKeyCode(key).bytes);
  }
  for (int slot = 30; slot < kMaxKeys; ++slot)
    EXPECT_EQ((*records)[slot].bytes, KeyCodeRecord{}.bytes) << slot;
}

TEST(ReadAllKeyCodes, AFailedKeyStaysZeroAndTheLoopGoesOn) {
  Rig rig(Model(0x142A));
  KeyPadFaults faults;
  faults.nextReplyBody = Bytes{kCmdReadKeyCode, 3, 2, 0x10, 0x90};  // key 1 answered as key 2
  rig.Faults(faults);
  auto records = std::make_unique<KeyCodeRecords>();
  EXPECT_EQ(ReadAllKeyCodes(rig.context, rig.link, 0x142A, *records), 48);
  EXPECT_EQ((*records)[0].bytes, KeyCodeRecord{}.bytes);
  EXPECT_EQ((*records)[1].bytes, KeyPadFirmware::DefaultKeyCode(2).bytes);
  EXPECT_EQ((*records)[47].bytes, KeyPadFirmware::DefaultKeyCode(48).bytes);
}

}  // namespace
}  // namespace qv
