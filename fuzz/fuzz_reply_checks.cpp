// Every command of the key pad, on the feature or the framed transport, answered with arbitrary
// replies (any 64-byte feature report, any input packet stream, failing report calls). For each
// command the request that went out, the success flag and the outputs are checked: a command
// succeeds only on a reply that passes its checks, takes its results from that reply, and leaves
// its outputs as they were when it fails. Every handle it opened is closed at the end.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "device/device_commands.h"
#include "device/device_context.h"
#include "device/device_link.h"
#include "device/report_transport.h"
#include "fuzz/fuzz_support.h"

using namespace qv;
using namespace qv::fuzz;

namespace {

using Message = std::array<std::uint8_t, kMessageBytes>;
constexpr std::uint8_t kSentinel = 0x5A;

struct Rig {
  FuzzInput& input;
  ScriptedHidSystem& hid;
  DeviceContext& context;
  DeviceLink& link;
  bool framed;
  std::uint8_t reportId;
};

Message Request(const Rig& rig, std::uint8_t command, std::initializer_list<std::uint8_t> bytes) {
  Message message{};
  message[0] = rig.reportId;
  message[1] = command;
  std::size_t at = 2;
  for (std::uint8_t b : bytes) message[at++] = b;
  return message;
}

// The request went out as it should: one whole feature report, or 17-byte packets carrying the
// message proper (command, L, payload) in sequence. False when nothing was sent.
bool CheckSent(const Rig& rig, const Message& request) {
  if (!rig.framed) {
    if (rig.hid.featureRequests.empty()) return false;
    Check(rig.hid.featureRequests.size() == 1, "more than one feature report per command");
    const std::vector<std::uint8_t>& sent = rig.hid.featureRequests[0];
    Check(std::equal(sent.begin(), sent.end(), request.begin()), "feature request bytes wrong");
    return true;
  }
  const auto& packets = rig.hid.outputReports;
  if (packets.empty()) return false;
  const std::size_t total = request[2] + 2u;
  const std::size_t count = (total - 1) / kFramedPayloadBytes + 1;
  Check(packets.size() == count || (rig.hid.writeFailed && packets.size() < count),
        "wrong number of request packets");
  for (std::size_t k = 0; k < packets.size(); ++k) {
    const auto& p = packets[k];
    Check(p[0] == rig.reportId, "request packet without the report id");
    Check(p[1] == (k == 0 ? (0x80 | count) : count - k), "request packet count byte wrong");
    Check(p[2] == k + 1, "request packet sequence wrong");
    for (std::size_t i = 0; i < kFramedPayloadBytes; ++i) {
      const std::size_t at = k * kFramedPayloadBytes + i;
      Check(p[3 + i] == (at < total ? request[1 + at] : 0), "request packet data wrong");
    }
  }
  return true;
}

struct Outcome {
  bool delivered = false;  // the request went out (and on the framed transport a reply came)
  bool replied = false;    // a reply is in `reply`
  Message reply{};         // the message buffer as the command sees it after the exchange
};

// What the exchange of `request` gave, from the key pad side's log.
Outcome Observe(const Rig& rig, const Message& request, bool expectReply) {
  Outcome outcome;
  if (!CheckSent(rig, request)) return outcome;
  outcome.reply = request;
  if (!rig.framed) {
    outcome.delivered = rig.hid.lastSetFeatureOk;
    if (expectReply && !rig.hid.lastFeatureReply.empty()) {
      std::copy(rig.hid.lastFeatureReply.begin(), rig.hid.lastFeatureReply.end(),
                outcome.reply.begin());
      outcome.replied = true;
    }
    if (expectReply) outcome.delivered = outcome.replied;
    return outcome;
  }
  if (rig.hid.writeFailed) {
    Check(rig.hid.reads.empty(), "reply read after a failed request");
    return outcome;
  }
  const ExpectedReply expected = ExpectReply(rig.hid.reads);
  Check(expected.readsTaken == rig.hid.reads.size(), "reply packets read differ from its end");
  if (expected.result == kFramedTimeout) return outcome;
  std::copy(expected.bytes.begin(), expected.bytes.end(), outcome.reply.begin());
  outcome.delivered = outcome.replied = true;
  return outcome;
}

void CheckNothingSent(const Rig& rig, bool ok) {
  Check(!ok, "a refused request reported success");
  Check(rig.hid.featureRequests.empty() && rig.hid.outputReports.empty(),
        "a refused request was sent");
}

bool Echoes(const Rig& rig, const Message& reply, std::uint8_t command) {
  return reply[0] == rig.reportId && reply[1] == command;
}

std::size_t RecordLimit(const Rig& rig) {
  return rig.framed ? kFramedMessageLimit - 3 : static_cast<std::size_t>(kRecordBytes);
}

// Device info and the active-page answer: 61 bytes after an accepted header.
void CheckInfoCommand(Rig& rig, std::uint8_t command, std::uint8_t wantedLength) {
  DeviceInfo info;
  info.fill(kSentinel);
  const bool ok = command == kCmdReadDeviceInfo ? ReadDeviceInfo(rig.context, rig.link, info)
                                                : ReadActivePage(rig.context, rig.link, info);
  const Outcome seen = Observe(rig, Request(rig, command, {0}), true);
  const bool accepted =
      seen.replied && Echoes(rig, seen.reply, command) && seen.reply[2] == wantedLength;
  Check(ok == accepted, "info reply accepted against its checks");
  for (std::size_t i = 0; i < info.size(); ++i)
    Check(info[i] == (ok ? seen.reply[3 + i] : kSentinel), "info bytes wrong");
}

void CheckPassword(Rig& rig, bool verify) {
  const std::size_t length = rig.input.Byte() % (kMaxPasswordChars + 4);
  std::string password(length, '\0');
  for (char& c : password) c = static_cast<char>(rig.input.Byte());
  const std::uint8_t command = verify ? kCmdVerifyPassword : kCmdWritePassword;
  const bool ok = verify ? VerifyPassword(rig.context, rig.link, password)
                         : WritePassword(rig.context, rig.link, password);
  if (length > kMaxPasswordChars) return CheckNothingSent(rig, ok);
  Message request = Request(rig, command, {static_cast<std::uint8_t>(length)});
  std::copy(password.begin(), password.end(), request.begin() + 3);
  const Outcome seen = Observe(rig, request, verify);
  if (!verify) return Check(ok == seen.delivered, "password write result");
  const bool accepted = seen.replied && Echoes(rig, seen.reply, command) && seen.reply[2] == 0x01 &&
                        seen.reply[3] == kPasswordAccepted;
  Check(ok == accepted, "password answer accepted against its checks");
}

void CheckReadKeyCode(Rig& rig) {
  const int key = rig.input.Byte();
  KeyCodeRecord record;
  record.bytes.fill(kSentinel);
  const bool ok = ReadKeyCode(rig.context, rig.link, key, record);
  if (key < 1 || key > kMaxKeys) return CheckNothingSent(rig, ok);
  const Outcome seen =
      Observe(rig, Request(rig, kCmdReadKeyCode, {1, static_cast<std::uint8_t>(key)}), true);
  const bool accepted = seen.replied && Echoes(rig, seen.reply, kCmdReadKeyCode) &&
                        seen.reply[3] == key && seen.reply[2] <= RecordLimit(rig);
  Check(ok == accepted, "key-code reply accepted against its checks");
  if (!ok) {
    for (std::uint8_t b : record.bytes) Check(b == kSentinel, "failed read changed the record");
    return;
  }
  const std::size_t length = seen.reply[2] == 0 ? 1 : seen.reply[2];
  Check(record.bytes[0] == length, "record length byte");
  for (std::size_t i = 1; i < record.bytes.size(); ++i)
    Check(record.bytes[i] == (i < length ? seen.reply[3 + i] : 0), "record strokes");
}

void CheckReadDefaultKeyCode(Rig& rig) {
  const int key = rig.input.Byte();
  KeyCodeRecord record;
  record.bytes.fill(kSentinel);
  const bool ok = ReadDefaultKeyCode(rig.context, rig.link, key, record);
  if (key < 1 || key > kMaxKeys) return CheckNothingSent(rig, ok);
  const Outcome seen =
      Observe(rig, Request(rig, kCmdReadDefaultKeyCode, {1, static_cast<std::uint8_t>(key)}), true);
  const bool accepted = seen.replied && Echoes(rig, seen.reply, kCmdReadDefaultKeyCode) &&
                        seen.reply[3] == key && seen.reply[2] <= RecordLimit(rig);
  Check(ok == accepted, "default key-code reply accepted against its checks");
  const std::size_t length = record.bytes[0];
  Check(length == (ok ? seen.reply[2] : kSentinel), "default length byte");
  const std::size_t count = ok && length > 0 ? length - 1u : 0;
  for (std::size_t i = 0; i + 1 < record.bytes.size(); ++i)
    Check(record.bytes[i + 1] == (ok ? (i < count ? seen.reply[4 + i] : 0) : kSentinel),
          "default strokes");
}

void CheckWriteKeyCode(Rig& rig) {
  const int key = rig.input.Byte();
  const std::uint8_t length = rig.input.Byte() % 72;
  KeyCodeRecord record;
  record.bytes[0] = length;
  rig.input.Fill(record.bytes.data() + 1, record.bytes.size() - 1);
  const bool ok = WriteKeyCode(rig.context, rig.link, key, record);
  const bool fits = !rig.framed || length + 2u <= kFramedMessageLimit;
  if (key < 1 || key > kMaxKeys || length < 1 || length > kRecordBytes || !fits)
    return CheckNothingSent(rig, ok);
  Message request = Request(rig, kCmdWriteKeyCode, {length, static_cast<std::uint8_t>(key)});
  std::copy(record.bytes.begin() + 1, record.bytes.end(), request.begin() + 4);
  Check(ok == Observe(rig, request, false).delivered, "key-code write result");
}

void CheckPlainCommand(Rig& rig, std::uint8_t command) {
  bool ok = false;
  Message request{};
  if (command == kCmdResetToFactory) {
    ok = ResetToFactory(rig.context, rig.link);
    request = Request(rig, command, {0});
  } else if (command == kCmdWriteStatusByte) {
    const std::uint8_t status = rig.input.Byte();
    ok = WriteStatusByte(rig.context, rig.link, status);
    request = Request(rig, command, {1, status});
  } else {
    const int page = rig.input.Byte() % (kPageCount + 3);
    ok = SelectPage(rig.context, rig.link, page);
    if (page < 1 || page > kPageCount) return CheckNothingSent(rig, ok);
    request = Request(rig, command, {1, static_cast<std::uint8_t>(page)});
  }
  Check(ok == Observe(rig, request, false).delivered, "command result is not its delivery");
}

void CheckPingLink(Rig& rig) {
  const bool ok = PingLink(rig.context, rig.link);
  if (!rig.framed) return CheckNothingSent(rig, ok);
  const Outcome seen = Observe(rig, Request(rig, kCmdPingLink, {0}), true);
  const bool accepted = seen.replied && Echoes(rig, seen.reply, kCmdPingLink) &&
                        seen.reply[2] == 0x01 && seen.reply[3] == 0x01;
  Check(ok == accepted, "ping answer accepted against its checks");
}

// The loop over a whole key pad: every record is zero or a well-formed record of this transport.
void CheckReadAll(Rig& rig, std::uint16_t productId) {
  KeyCodeRecords records;
  for (KeyCodeRecord& record : records) record.bytes.fill(kSentinel);
  const int count = ReadAllKeyCodes(rig.context, rig.link, productId, records);
  Check(count == KeyCountForModel(productId), "key count of the model");
  for (int key = 0; key < kMaxKeys; ++key) {
    const KeyCodeRecord& record = records[static_cast<std::size_t>(key)];
    const std::size_t length = record.bytes[0];
    Check(key < count || length == 0, "a key beyond the model was filled");
    Check(length <= RecordLimit(rig), "record longer than the transport carries");
    for (std::size_t i = std::max<std::size_t>(length, 1); i < record.bytes.size(); ++i)
      Check(record.bytes[i] == 0, "bytes past a record's strokes");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const bool framed = input.Bool();
  const std::uint8_t reportId = input.Byte();
  const std::uint16_t productId = kProductIds[input.Byte() % kProductIds.size()];
  const std::uint16_t featureLength =
      framed ? 0 : static_cast<std::uint16_t>(1 + input.Byte() % kMessageBytes);
  const std::uint16_t packetLength = framed ? kFramedReportLength : 0;

  ScriptedHidSystem hid(
      input, HidCaps{0x0001, kVendorUsagePage, packetLength, packetLength, featureLength},
      HidAttributes{kVendorId, productId, static_cast<std::uint16_t>(framed ? 0 : 0x0100)});
  hid.reportId = reportId;
  DeviceContext context(hid);
  DeviceLink link;
  std::uint16_t version = 0;
  Check(OpenKeyPad(context, link, productId, &version, 1, false) == 1, "the key pad did not open");
  Check(link.framed == framed, "transport chosen against the report lengths");
  Check(!framed || version == BleVersionSubstitute(productId), "version of a framed key pad");

  Rig rig{input, hid, context, link, framed, reportId};
  for (int commands = 0; commands < 24 && !input.empty(); ++commands) {
    hid.ClearLogs();
    switch (input.Byte() % 12) {
      case 0:
        CheckInfoCommand(rig, kCmdReadDeviceInfo, 0x04);
        break;
      case 1:
        CheckPassword(rig, false);
        break;
      case 2:
        CheckPassword(rig, true);
        break;
      case 3:
        CheckReadKeyCode(rig);
        break;
      case 4:
        CheckReadDefaultKeyCode(rig);
        break;
      case 5:
        CheckWriteKeyCode(rig);
        break;
      case 6:
        CheckPlainCommand(rig, kCmdResetToFactory);
        break;
      case 7:
        CheckPlainCommand(rig, kCmdWriteStatusByte);
        break;
      case 8:
        CheckInfoCommand(rig, kCmdReadActivePage, 0x01);
        break;
      case 9:
        CheckPlainCommand(rig, kCmdSelectPage);
        break;
      case 10:
        CheckPingLink(rig);
        break;
      default:
        CheckReadAll(rig, productId);
        break;
    }
  }
  CloseLink(context, link);
  Check(hid.OpenCount() == 0, "a handle stayed open after the link was closed");
  return 0;
}
