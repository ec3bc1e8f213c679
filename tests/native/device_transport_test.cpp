// Carrying requests and replies over feature reports and framed 17-byte reports.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "device/device_commands.h"
#include "device/report_transport.h"
#include "emulator/emulated_hid_system.h"

namespace qv {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Rig {
  EmulatedHidSystem hid;
  DeviceContext context{hid};
  DeviceLink link;
  EmulatedDeviceId pad = 0;

  explicit Rig(bool framed, EmulatedHidSystem::ClockMode mode = EmulatedHidSystem::ClockMode::kReal,
               std::uint32_t timeoutMs = 300)
      : hid(mode) {
    context.framedTimeoutMs = timeoutMs;
    EmulatedKeyPad keyPadSpec;
    keyPadSpec.productId = framed ? 0x074F : 0x1225;
    keyPadSpec.version = framed ? 0x0000 : 0x0100;
    keyPadSpec.bluetooth = framed;
    keyPadSpec.reportId = 0x05;
    pad = hid.AttachKeyPad(keyPadSpec);
    EXPECT_EQ(OpenKeyPad(context, link, keyPadSpec.productId, nullptr, 1, false), 1);
    hid.ClearRequests(pad);
  }
  ~Rig() { CloseLink(context, link); }

  void Faults(const KeyPadFaults& faults) { hid.SetFaults(pad, faults); }
};

Bytes Packet(std::initializer_list<std::uint8_t> head) {
  Bytes packet(17, 0);
  std::copy(head.begin(), head.end(), packet.begin());
  return packet;
}

KeyCodeRecord RecordOfLength(int length) {
  KeyCodeRecord record;
  record.bytes[0] = static_cast<std::uint8_t>(length);
  for (int i = 1; i < length && i < kRecordBytes; ++i)
    record.bytes[i] = static_cast<std::uint8_t>(i % 2 ? (i & 0x7F) : (0x80 | (i & 0x7F)));
  return record;
}

// --------------------------------------------------------------------------- sending

TEST(FramedTransport, RequestsAreCutIntoPacketsOfFourteenMessageBytes) {
  struct Case {
    std::uint8_t length;
    std::vector<std::uint8_t> countBytes;  // byte 1 of each packet
  };
  const Case cases[] = {{0, {0x81}}, {12, {0x81}}, {13, {0x82, 0x01}}, {42, {0x84, 3, 2, 1}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int{c.length});
    Rig rig(true);
    std::uint8_t message[kMessageBytes] = {0x05, 0x0C, c.length};
    for (int i = 0; i < c.length; ++i) message[3 + i] = static_cast<std::uint8_t>(0xA0 + i);
    ASSERT_TRUE(Exchange(rig.context, rig.link, message, false));

    const auto packets = rig.hid.OutputReports(rig.pad);
    ASSERT_EQ(packets.size(), c.countBytes.size());
    Bytes sent;  // message bytes as the packets carried them
    for (std::size_t k = 0; k < packets.size(); ++k) {
      EXPECT_EQ(packets[k][0], 0x05);
      EXPECT_EQ(packets[k][1], c.countBytes[k]);
      EXPECT_EQ(packets[k][2], k + 1);
      sent.insert(sent.end(), packets[k].begin() + 3, packets[k].end());
    }
    Bytes expected(sent.size(), 0);  // command, L, payload, then zeros to the packet's end
    expected[0] = 0x0C;
    expected[1] = c.length;
    for (int i = 0; i < c.length; ++i) expected[2 + i] = static_cast<std::uint8_t>(0xA0 + i);
    EXPECT_EQ(sent, expected);
    // The key pad saw exactly the request.
    ASSERT_EQ(rig.hid.Requests(rig.pad).size(), 1u);
    EXPECT_EQ(rig.hid.Requests(rig.pad)[0].payload.size(), c.length);
  }
}

TEST(FramedTransport, KeyCodeWriteThatDoesNotFitIsRefusedWithoutSending) {
  Rig rig(true);
  KeyCodeRecord record;
  record.bytes[0] = 43;
  EXPECT_FALSE(WriteKeyCode(rig.context, rig.link, 1, record));
  EXPECT_TRUE(rig.hid.OutputReports(rig.pad).empty());
  record.bytes[0] = 41;
  EXPECT_TRUE(WriteKeyCode(rig.context, rig.link, 1, record));
  EXPECT_EQ(rig.hid.OutputReports(rig.pad).size(), 4u);
}

// --------------------------------------------------------------------------- receiving

TEST(FramedTransport, RepliesAreReassembledFromOneToFourPackets) {
  // Record lengths 1 and 12 fit one packet, 13 two, 30 three, 41 (40 strokes) four.
  for (int length : {1, 12, 13, 30, 41}) {
    SCOPED_TRACE(length);
    Rig rig(true);
    rig.hid.SetRecord(rig.pad, 9, RecordOfLength(length));
    KeyCodeRecord read;
    ASSERT_TRUE(ReadKeyCode(rig.context, rig.link, 9, read));
    EXPECT_EQ(read.bytes, RecordOfLength(length).bytes);
    EXPECT_EQ(rig.hid.InputReportsRead(rig.pad),
              static_cast<std::size_t>(FramedPacketCount(static_cast<std::uint8_t>(length))));
  }
}

TEST(FramedTransport, SequenceMustRunWithoutGaps) {
  Rig rig(true);
  rig.hid.SetRecord(rig.pad, 2, RecordOfLength(30));  // three packets
  KeyPadFaults faults;
  faults.firstSequence = 5;  // 5, 6, 7
  rig.Faults(faults);
  KeyCodeRecord read;
  ASSERT_TRUE(ReadKeyCode(rig.context, rig.link, 2, read));
  EXPECT_EQ(read.bytes, RecordOfLength(30).bytes);

  faults.skipSequence = true;  // 5, 7, 8
  rig.Faults(faults);
  std::uint8_t message[kMessageBytes] = {0x05, kCmdReadKeyCode, 1, 2};
  {
    std::lock_guard<std::mutex> lock(rig.context.exchangeMutex);
    ASSERT_TRUE(SendFramed(rig.context, rig.link, message));
    std::memset(message, 0xAA, sizeof message);
    EXPECT_EQ(ReceiveFramed(rig.context, rig.link.readHandle, message, kFramedMessageLimit),
              kFramedSequenceError);
  }
  for (std::size_t i = 0; i < kFramedMessageLimit; ++i) EXPECT_EQ(message[i], 0) << i;
  EXPECT_EQ(message[kFramedMessageLimit], 0xAA);  // beyond the 44 bytes: untouched
  // Through the command: the exchange itself succeeds, the zeroed reply fails the echo check.
  KeyCodeRecord kept = RecordOfLength(3);
  EXPECT_FALSE(ReadKeyCode(rig.context, rig.link, 2, kept));
  EXPECT_EQ(kept.bytes, RecordOfLength(3).bytes);
}

TEST(FramedTransport, ContinuationWithoutFirstPacketAndRestartsAreSequenceErrors) {
  Rig rig(true);
  std::lock_guard<std::mutex> lock(rig.context.exchangeMutex);
  std::uint8_t out[kFramedMessageLimit];
  rig.hid.SendInput(rig.pad, Packet({0x05, 0x01, 0x02, 0x11, 0x22}));
  EXPECT_EQ(ReceiveFramed(rig.context, rig.link.readHandle, out, sizeof out), kFramedSequenceError);

  rig.hid.SendInput(rig.pad, Packet({0x05, 0x82, 0x01, 0x04, 20, 1}));
  rig.hid.SendInput(rig.pad, Packet({0x05, 0x82, 0x01, 0x04, 20, 1}));
  EXPECT_EQ(ReceiveFramed(rig.context, rig.link.readHandle, out, sizeof out), kFramedSequenceError);
}

TEST(FramedTransport, SilenceTimesOutAfterTheFullWaitWithoutRealWaiting) {
  Rig rig(true, EmulatedHidSystem::ClockMode::kVirtual, kFramedTimeoutMs);
  KeyPadFaults faults;
  faults.silent = true;
  rig.Faults(faults);
  const auto realStart = std::chrono::steady_clock::now();
  const std::uint64_t start = rig.hid.NowMs();
  DeviceInfo info{};
  EXPECT_FALSE(ReadDeviceInfo(rig.context, rig.link, info));
  EXPECT_EQ(rig.hid.NowMs() - start, 5000u);
  EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(2));
  // The request did arrive.
  EXPECT_EQ(rig.hid.Requests(rig.pad).size(), 1u);
}

TEST(FramedTransport, LateAnswersCountOnlyWithinTheWait) {
  Rig rig(true, EmulatedHidSystem::ClockMode::kVirtual, kFramedTimeoutMs);
  KeyPadFaults faults;
  faults.replyDelayMs = 4900;
  rig.Faults(faults);
  EXPECT_TRUE(PingLink(rig.context, rig.link));
  faults.replyDelayMs = 5100;
  rig.Faults(faults);
  EXPECT_FALSE(PingLink(rig.context, rig.link));
}

TEST(FramedTransport, AnswerFromAnotherThreadEndsARealWait) {
  Rig rig(true, EmulatedHidSystem::ClockMode::kReal, 3000);
  KeyPadFaults faults;
  faults.silent = true;
  rig.Faults(faults);
  std::thread keyPad([&rig] {
    // Wait until the request is in, then answer it by hand.
    while (rig.hid.Requests(rig.pad).empty())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    rig.hid.SendInput(rig.pad, Packet({0x05, 0x81, 0x01, 0xFF, 0x01, 0x01}));
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(PingLink(rig.context, rig.link));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
  keyPad.join();
}

TEST(FramedTransport, InputQueuedBeforeTheRequestIsNeverItsReply) {
  Rig rig(true);
  // A complete, well-formed answer for key 4 is waiting on the read handle.
  rig.hid.SendInput(rig.pad, Packet({0x05, 0x81, 0x01, kCmdReadKeyCode, 0x03, 4, 0x22, 0xA2}));
  KeyCodeRecord read;
  ASSERT_TRUE(ReadKeyCode(rig.context, rig.link, 4, read));
  EXPECT_EQ(read.bytes, KeyPadFirmware::DefaultKeyCode(4).bytes);

  // A silent key pad with a stale answer waiting: nothing is read, the command fails.
  KeyPadFaults faults;
  faults.silent = true;
  rig.Faults(faults);
  rig.hid.SendInput(rig.pad, Packet({0x05, 0x81, 0x01, 0xFF, 0x01, 0x01}));
  EXPECT_FALSE(PingLink(rig.context, rig.link));
}

TEST(FramedTransport, OverlongReplyHandsOverOnlyFortyOnePayloadBytes) {
  Rig rig(true);
  rig.hid.SetRecord(rig.pad, 3, RecordOfLength(50));
  std::uint8_t message[kMessageBytes] = {0x05, kCmdReadKeyCode, 1, 3};
  std::memset(message + kFramedMessageLimit, 0x5A, kMessageBytes - kFramedMessageLimit);
  ASSERT_TRUE(Exchange(rig.context, rig.link, message, true));
  EXPECT_EQ(rig.hid.InputReportsRead(rig.pad), 4u);  // all 52 message bytes were received
  EXPECT_EQ(message[0], 0x05);
  EXPECT_EQ(message[1], kCmdReadKeyCode);
  EXPECT_EQ(message[2], 50);
  EXPECT_EQ(message[3], 3);
  const KeyCodeRecord stored = RecordOfLength(50);
  for (int i = 4; i < static_cast<int>(kFramedMessageLimit); ++i)
    EXPECT_EQ(message[i], stored.bytes[i - 3]) << i;
  for (std::size_t i = kFramedMessageLimit; i < kMessageBytes; ++i) EXPECT_EQ(message[i], 0x5A);
  // A record the reply could not carry in full is not taken.
  KeyCodeRecord read;
  EXPECT_FALSE(ReadKeyCode(rig.context, rig.link, 3, read));
}

TEST(FramedTransport, KeyPadThatKeepsSendingDoesNotHoldTheCaller) {
  Rig rig(true);
  rig.hid.SetRecord(rig.pad, 5, RecordOfLength(20));  // two packets announced
  KeyPadFaults faults;
  faults.keepsSending = true;
  rig.Faults(faults);
  KeyCodeRecord read;
  EXPECT_FALSE(ReadKeyCode(rig.context, rig.link, 5, read));
  EXPECT_EQ(rig.hid.InputReportsRead(rig.pad), 2u);

  // A first packet that announces 0 packets is a whole message.
  rig.hid.ClearRequests(rig.pad);
  faults = KeyPadFaults{};
  faults.nextReplyPackets =
      std::vector<Bytes>{Packet({0x05, 0x80, 0x01, 0xFF, 0x01, 0x01}), Packet({0x05, 0x01, 0x02})};
  rig.Faults(faults);
  EXPECT_TRUE(PingLink(rig.context, rig.link));
  EXPECT_EQ(rig.hid.InputReportsRead(rig.pad), 1u);

  // A first packet that announces 127 packets: no reply fills more than six.
  std::vector<Bytes> packets{Packet({0x05, 0xFF, 0x01, 0xFF, 0x01, 0x01})};
  for (std::uint8_t k = 2; k <= 20; ++k)
    packets.push_back(Packet({0x05, static_cast<std::uint8_t>(128 - k), k}));
  faults = KeyPadFaults{};
  faults.nextReplyPackets = packets;
  rig.Faults(faults);
  const std::size_t before = rig.hid.InputReportsRead(rig.pad);
  EXPECT_FALSE(PingLink(rig.context, rig.link));
  EXPECT_EQ(rig.hid.InputReportsRead(rig.pad) - before, 6u);
}

TEST(FramedTransport, ClosedLinkSendsNothingAndOpensNothing) {
  // A rescan closed the key pad's link while a soft keyboard still held it.
  Rig rig(true);
  CloseLink(rig.context, rig.link);
  ASSERT_EQ(rig.hid.OpenHandleCount(), 0u);
  EXPECT_FALSE(PingLink(rig.context, rig.link));
  EXPECT_EQ(rig.hid.OpenHandleCount(), 0u);  // no read handle was opened behind the scan
  EXPECT_TRUE(rig.hid.Requests(rig.pad).empty());
}

TEST(FramedTransport, OnlyCompleteSeventeenByteReadsCount) {
  Rig rig(true);
  std::lock_guard<std::mutex> lock(rig.context.exchangeMutex);
  std::uint8_t out[kFramedMessageLimit];
  rig.hid.SendInput(rig.pad, Bytes{0x05, 0x81, 0x01, 0xFF, 0x01, 0x01});  // a short report
  EXPECT_EQ(ReceiveFramed(rig.context, rig.link.readHandle, out, sizeof out), kFramedTimeout);
}

TEST(FramedTransport, VanishedKeyPadFailsAtOnce) {
  Rig rig(true, EmulatedHidSystem::ClockMode::kVirtual, kFramedTimeoutMs);
  KeyPadFaults faults;
  faults.vanishAfterRequests = 1;
  rig.Faults(faults);
  EXPECT_TRUE(PingLink(rig.context, rig.link));
  const std::uint64_t start = rig.hid.NowMs();
  EXPECT_FALSE(PingLink(rig.context, rig.link));
  EXPECT_FALSE(rig.hid.IsAttached(rig.pad));
  EXPECT_EQ(rig.hid.NowMs(), start);  // no time-out was waited for
}

TEST(FramedTransport, StalledWriteFailsAfterItsTimeOutAndFreesTheLock) {
  // A Bluetooth LE link that takes no more output: the request's first packet waits out the
  // time-out once (the write goes out on the overlapped handle, where it can be bounded), the
  // exchange fails, and the next exchange can take the lock.
  Rig rig(true, EmulatedHidSystem::ClockMode::kVirtual, 750);
  KeyPadFaults faults;
  faults.stallsWrites = true;
  rig.Faults(faults);
  const std::uint64_t start = rig.hid.NowMs();
  EXPECT_FALSE(PingLink(rig.context, rig.link));
  EXPECT_EQ(rig.hid.NowMs() - start, 750u);
  EXPECT_TRUE(rig.hid.OutputReports(rig.pad).empty());
  EXPECT_TRUE(rig.hid.Requests(rig.pad).empty());
  ASSERT_TRUE(rig.context.exchangeMutex.try_lock());
  rig.context.exchangeMutex.unlock();

  // Once the link moves again the same link works; the stalled request left no handle behind.
  rig.Faults(KeyPadFaults{});
  EXPECT_TRUE(PingLink(rig.context, rig.link));
  EXPECT_EQ(rig.hid.OpenHandleCount(), 2u);
}

// --------------------------------------------------------------------------- feature transport

TEST(FeatureTransport, RequestAndReplyTravelAsWholeFeatureReports) {
  Rig rig(false);
  std::uint8_t message[kMessageBytes] = {0x05, kCmdReadKeyCode, 1, 7};
  ASSERT_TRUE(Exchange(rig.context, rig.link, message, true));
  const auto reports = rig.hid.FeatureReports(rig.pad);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].size(), 64u);
  EXPECT_EQ(reports[0][3], 7);
  const KeyCodeRecord expected = KeyPadFirmware::DefaultKeyCode(7);
  EXPECT_EQ(message[2], expected.length());
  EXPECT_EQ(message[3], 7);
  EXPECT_EQ(message[4], expected.bytes[1]);

  KeyPadFaults faults;
  faults.silent = true;  // the key pad takes the request but gives no report back
  rig.Faults(faults);
  EXPECT_FALSE(Exchange(rig.context, rig.link, message, true));
  EXPECT_TRUE(Exchange(rig.context, rig.link, message, false));
}

TEST(FeatureTransport, KeyPadReadsAReportShorterThanTheHeaderOnlyAsFarAsItGoes) {
  EmulatedHidSystem hid;
  EmulatedKeyPad keyPadSpec;
  keyPadSpec.reportId = 0x05;
  keyPadSpec.featureReportLength = 2;
  const EmulatedDeviceId pad = hid.AttachKeyPad(keyPadSpec);
  const HidHandle handle = hid.Open(hid.CommandPath(pad), false);
  // Exactly the two bytes of the report on the heap: nothing past them may be read.
  const Bytes report = {0x05, kCmdPingLink};
  ASSERT_TRUE(hid.SetFeature(handle, report.data(), report.size()));
  const auto requests = hid.Requests(pad);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].command, kCmdPingLink);
  EXPECT_EQ(requests[0].declaredLength, 0);
  EXPECT_TRUE(requests[0].payload.empty());
  hid.Close(handle);
}

TEST(Exchange, SerialisesRequestsFromSeveralThreads) {
  EmulatedHidSystem hid;
  DeviceContext context(hid);
  context.framedTimeoutMs = 2000;
  EmulatedKeyPad ble;
  ble.productId = 0x0777;
  ble.version = 0;
  ble.bluetooth = true;
  EmulatedKeyPad usb;
  usb.productId = 0x1227;
  EmulatedDeviceId blePad = hid.AttachKeyPad(ble);
  hid.AttachKeyPad(usb);
  DeviceLink bleLink;
  DeviceLink usbLink;
  ASSERT_EQ(OpenKeyPad(context, bleLink, 0x0777, nullptr, 1, false), 1);
  ASSERT_EQ(OpenKeyPad(context, usbLink, 0x1227, nullptr, 1, false), 1);
  hid.SetRecord(blePad, 1, RecordOfLength(41));
  KeyPadFaults slow;  // answers take a moment, so that unserialised exchanges would overlap
  slow.replyDelayMs = 1;
  hid.SetFaults(blePad, slow);

  std::atomic<int> failures{0};
  auto reader = [&](DeviceLink& link, int key, KeyCodeRecord expected) {
    for (int i = 0; i < 40; ++i) {
      KeyCodeRecord read;
      if (!ReadKeyCode(context, link, key, read) || read.bytes != expected.bytes) ++failures;
    }
  };
  std::thread a(reader, std::ref(bleLink), 1, RecordOfLength(41));
  std::thread b(reader, std::ref(bleLink), 2, KeyPadFirmware::DefaultKeyCode(2));
  std::thread c(reader, std::ref(usbLink), 3, KeyPadFirmware::DefaultKeyCode(3));
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(failures.load(), 0);
  CloseLink(context, bleLink);
  CloseLink(context, usbLink);
  EXPECT_EQ(hid.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace qv
