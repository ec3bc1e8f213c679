#include "device/device_commands.h"

#include <algorithm>
#include <cstring>

#include "device/report_transport.h"

namespace qv {
namespace {

using Message = std::uint8_t[kMessageBytes];

// Largest record length byte a reply can carry in full: 61 in a feature report, 41 (key number
// and 40 strokes) in the 44 bytes a framed reply hands over.
constexpr int kFeatureRecordLimit = kRecordBytes;
constexpr int kFramedRecordLimit = static_cast<int>(kFramedMessageLimit) - 3;

int ReplyRecordLimit(const DeviceLink& link) {
  return link.caps.featureReportByteLength != 0 ? kFeatureRecordLimit : kFramedRecordLimit;
}

void StartRequest(Message& message, const DeviceLink& link, std::uint8_t command) {
  std::memset(message, 0, sizeof message);
  message[0] = link.valueCaps.reportId;
  message[1] = command;
}

// The reply echoes the report id and the command.
bool EchoMatches(const Message& reply, const DeviceLink& link, std::uint8_t command) {
  return reply[0] == link.valueCaps.reportId && reply[1] == command;
}

bool IsKeyNumber(int keyNumber) {
  return keyNumber >= 1 && keyNumber <= kMaxKeys;
}

// A request without an inspected reply: success means it was delivered.
bool SendCommand(DeviceContext& context, DeviceLink& link, std::uint8_t command,
                 std::initializer_list<std::uint8_t> payload) {
  Message message;
  StartRequest(message, link, command);
  message[2] = static_cast<std::uint8_t>(payload.size());
  std::copy(payload.begin(), payload.end(), message + 3);
  return Exchange(context, link, message, false);
}

bool PasswordRequest(DeviceContext& context, DeviceLink& link, std::uint8_t command,
                     std::string_view password, bool expectReply, Message& message) {
  if (password.size() > kMaxPasswordChars) return false;
  StartRequest(message, link, command);
  message[2] = static_cast<std::uint8_t>(password.size());
  // An empty password may come without a buffer at all (a null view).
  std::copy(password.begin(), password.end(), message + 3);
  bool ok = Exchange(context, link, message, expectReply);
  // Without a reply (or after a failed exchange) the buffer may still hold the password; a
  // reply is of interest only in its first four bytes.
  if (ok && expectReply)
    SecureZero(message + 4, sizeof message - 4);
  else
    SecureZero(message, sizeof message);
  return ok;
}

}  // namespace

std::uint32_t SerialFromDeviceInfo(const DeviceInfo& info) {
  const std::uint32_t b1 = info[1], b2 = info[2], b3 = info[3];
  return (b1 & 0x0F) + (b1 >> 4) * 10 + (b2 & 0x0F) * 100 + (b2 >> 4) * 1000 + (b3 & 0x0F) * 10000 +
         (b3 >> 4) * 100000;
}

int KeyCountForModel(std::uint16_t productId) {
  switch (productId) {
    case kProduct070C:
    case kProduct0750:
    case kProduct1225:
    case kProduct130D:
      return 144;
    case kProduct1227:
      return 96;
    case kProduct1865:
      return 84;
    case kProduct142A:
      return 48;
    default:
      return 30;
  }
}

bool ReadDeviceInfo(DeviceContext& context, DeviceLink& link, DeviceInfo& info) {
  Message message;
  StartRequest(message, link, kCmdReadDeviceInfo);
  if (!Exchange(context, link, message, true)) return false;
  if (!EchoMatches(message, link, kCmdReadDeviceInfo) || message[2] != 0x04) return false;
  std::copy(message + 3, message + kMessageBytes, info.begin());
  return true;
}

bool WritePassword(DeviceContext& context, DeviceLink& link, std::string_view password) {
  Message message;
  return PasswordRequest(context, link, kCmdWritePassword, password, false, message);
}

bool VerifyPassword(DeviceContext& context, DeviceLink& link, std::string_view password) {
  Message message;
  if (!PasswordRequest(context, link, kCmdVerifyPassword, password, true, message)) return false;
  return EchoMatches(message, link, kCmdVerifyPassword) && message[2] == 0x01 &&
         message[3] == kPasswordAccepted;
}

bool ReadKeyCode(DeviceContext& context, DeviceLink& link, int keyNumber, KeyCodeRecord& record) {
  if (!IsKeyNumber(keyNumber)) return false;
  Message message;
  StartRequest(message, link, kCmdReadKeyCode);
  message[2] = 0x01;
  message[3] = static_cast<std::uint8_t>(keyNumber);
  if (!Exchange(context, link, message, true)) return false;
  if (!EchoMatches(message, link, kCmdReadKeyCode) || message[3] != keyNumber) return false;
  const int length = message[2];
  if (length > ReplyRecordLimit(link)) return false;

  // On the wire the length counts the key number and the strokes; in the record it counts the
  // length byte and the strokes, the same value. An empty answer is an empty key.
  KeyCodeRecord read;
  read.bytes[0] = static_cast<std::uint8_t>(length == 0 ? 1 : length);
  const int strokes = read.bytes[0] - 1;
  std::copy(message + 4, message + 4 + strokes, read.bytes.begin() + 1);
  record = read;
  return true;
}

bool ReadDefaultKeyCode(DeviceContext& context, DeviceLink& link, int keyNumber,
                        KeyCodeRecord& record) {
  if (!IsKeyNumber(keyNumber)) return false;
  Message message;
  StartRequest(message, link, kCmdReadDefaultKeyCode);
  message[2] = 0x01;
  message[3] = static_cast<std::uint8_t>(keyNumber);
  if (!Exchange(context, link, message, true)) return false;
  if (!EchoMatches(message, link, kCmdReadDefaultKeyCode) || message[3] != keyNumber) return false;
  const int length = message[2];
  if (length > ReplyRecordLimit(link)) return false;
  KeyCodeRecord read;
  read.bytes[0] = static_cast<std::uint8_t>(length);
  const int strokes = length == 0 ? 0 : length - 1;
  std::copy(message + 4, message + 4 + strokes, read.bytes.begin() + 1);
  record = read;
  return true;
}

bool WriteKeyCode(DeviceContext& context, DeviceLink& link, int keyNumber,
                  const KeyCodeRecord& record) {
  const int length = record.length();
  if (!IsKeyNumber(keyNumber) || length < 1 || length > kRecordBytes) return false;
  Message message;
  StartRequest(message, link, kCmdWriteKeyCode);
  message[2] = static_cast<std::uint8_t>(length);
  message[3] = static_cast<std::uint8_t>(keyNumber);
  std::copy(record.bytes.begin() + 1, record.bytes.end(), message + 4);
  return Exchange(context, link, message, false);
}

bool ResetToFactory(DeviceContext& context, DeviceLink& link) {
  return SendCommand(context, link, kCmdResetToFactory, {});
}

bool WriteStatusByte(DeviceContext& context, DeviceLink& link, std::uint8_t status) {
  return SendCommand(context, link, kCmdWriteStatusByte, {status});
}

bool ReadActivePage(DeviceContext& context, DeviceLink& link, DeviceInfo& answer) {
  Message message;
  StartRequest(message, link, kCmdReadActivePage);
  if (!Exchange(context, link, message, true)) return false;
  if (!EchoMatches(message, link, kCmdReadActivePage) || message[2] != 0x01) return false;
  std::copy(message + 3, message + kMessageBytes, answer.begin());
  return true;
}

bool SelectPage(DeviceContext& context, DeviceLink& link, int page) {
  if (page < 1 || page > kPageCount) return false;
  return SendCommand(context, link, kCmdSelectPage, {static_cast<std::uint8_t>(page)});
}

bool PingLink(DeviceContext& context, DeviceLink& link) {
  if (!link.framed || link.caps.featureReportByteLength != 0) return false;
  Message message;
  StartRequest(message, link, kCmdPingLink);
  if (!Exchange(context, link, message, true)) return false;
  return EchoMatches(message, link, kCmdPingLink) && message[2] == 0x01 && message[3] == 0x01;
}

int ReadAllKeyCodes(DeviceContext& context, DeviceLink& link, std::uint16_t productId,
                    KeyCodeRecords& records) {
  records.fill(KeyCodeRecord{});
  const int count = KeyCountForModel(productId);
  for (int key = 1; key <= count; ++key) ReadKeyCode(context, link, key, records[key - 1]);
  return count;
}

}  // namespace qv
