#include "emulator/key_pad_firmware.h"

#include <algorithm>

#include "device/device_commands.h"
#include "device/device_link.h"

namespace qv {
namespace {

std::uint8_t Bcd(std::uint32_t twoDigits) {
  return static_cast<std::uint8_t>(((twoDigits / 10) << 4) | (twoDigits % 10));
}

}  // namespace

KeyPadFirmware::KeyPadFirmware(std::uint16_t productId, std::uint16_t version,
                               std::uint32_t serialNumber, std::uint8_t statusByte)
    : status(statusByte),
      serial(serialNumber),
      keyCount_(KeyCountForModel(productId)),
      paged_(IsPagedModel(ModelIdentity(version, productId))) {
  for (int key = 1; key <= keyCount_; ++key) records[key - 1] = DefaultKeyCode(key);
}

KeyCodeRecord KeyPadFirmware::DefaultKeyCode(int keyNumber) {
  // Press and release of one ordinary key (key numbers 2..61: digits, letters, Space), chosen
  // by the key number; every third key also holds Shift(left) around it.
  KeyCodeRecord record;
  const std::uint8_t key = static_cast<std::uint8_t>(2 + (keyNumber - 1) % 60);
  constexpr std::uint8_t kShiftLeft = 44;
  constexpr std::uint8_t kRelease = 0x80;
  if (keyNumber % 3 == 0) {
    record.bytes = {5, kShiftLeft, key, static_cast<std::uint8_t>(key | kRelease),
                    static_cast<std::uint8_t>(kShiftLeft | kRelease)};
  } else {
    record.bytes = {3, key, static_cast<std::uint8_t>(key | kRelease)};
  }
  return record;
}

std::vector<std::uint8_t> KeyPadFirmware::RecordReply(std::uint8_t command, int keyNumber,
                                                      const KeyCodeRecord& record) const {
  const int strokes = std::clamp(static_cast<int>(record.length()) - 1, 0, kMaxStrokes);
  std::vector<std::uint8_t> body(3 + static_cast<std::size_t>(strokes));
  body[0] = command;
  body[1] = record.length();
  body[2] = static_cast<std::uint8_t>(keyNumber);
  std::copy_n(record.bytes.begin() + 1, strokes, body.begin() + 3);
  return body;
}

std::vector<std::uint8_t> KeyPadFirmware::Handle(const ReceivedRequest& request) {
  requests.push_back(request);
  const std::vector<std::uint8_t>& payload = request.payload;
  const std::uint8_t command = request.command;
  auto at = [&payload](std::size_t i) -> int { return i < payload.size() ? payload[i] : 0; };
  const std::vector<std::uint8_t> done = {command, 0x00};

  switch (command) {
    case kCmdReadDeviceInfo: {
      const std::uint32_t value = serial % 1000000;
      return {command,
              0x04,
              status,
              Bcd(value % 100),
              Bcd(value / 100 % 100),
              Bcd(value / 10000 % 100)};
    }
    case kCmdWritePassword:
      password.assign(payload.begin(), payload.end());
      if (password.empty())
        status = static_cast<std::uint8_t>(status & ~kStatusPasswordSet);
      else
        status = static_cast<std::uint8_t>(status | kStatusPasswordSet);
      return done;
    case kCmdVerifyPassword: {
      const std::string offered(payload.begin(), payload.end());
      bool accepted = offered == password;
      // A wrong or empty password locks a key pad that has one.
      if (accepted && !password.empty())
        status = static_cast<std::uint8_t>(status | kStatusAuthenticated);
      else if (!accepted)
        status = static_cast<std::uint8_t>(status & ~kStatusAuthenticated);
      return {command, 0x01, static_cast<std::uint8_t>(accepted ? kPasswordAccepted : 0x00)};
    }
    case kCmdReadKeyCode:
    case kCmdReadDefaultKeyCode: {
      const int key = at(0);
      if (!IsKey(key)) return {command, 0x01, static_cast<std::uint8_t>(key)};
      return RecordReply(command, key,
                         command == kCmdReadKeyCode ? records[key - 1] : DefaultKeyCode(key));
    }
    case kCmdWriteKeyCode: {
      const int key = at(0);
      const int length = request.declaredLength;
      if (IsKey(key) && length >= 1 && length <= kRecordBytes) {
        KeyCodeRecord record;
        record.bytes[0] = static_cast<std::uint8_t>(length);
        for (int i = 1; i < length; ++i) record.bytes[i] = static_cast<std::uint8_t>(at(i));
        records[key - 1] = record;
      }
      return done;
    }
    case kCmdResetToFactory:
      for (int key = 1; key <= keyCount_; ++key) records[key - 1] = DefaultKeyCode(key);
      password.clear();
      status = kFactoryStatus & ~(kStatusAuthenticated | kStatusPasswordSet);
      activePage = 1;
      return done;
    case kCmdWriteStatusByte:
      // The access bits are the key pad's own: bit 0 tells whether a password is registered and
      // bit 7 whether it was authenticated, so a written byte changes only the settings bits.
      if (!payload.empty()) {
        lastStatusWrite = payload[0];
        const std::uint8_t accessBits = kStatusAuthenticated | kStatusPasswordSet;
        status = static_cast<std::uint8_t>((status & accessBits) | (payload[0] & ~accessBits));
      }
      return done;
    case kCmdReadActivePage:
      if (!paged_) return done;
      return {command, 0x01, static_cast<std::uint8_t>(activePage)};
    case kCmdSelectPage:
      if (paged_ && at(0) >= 1 && at(0) <= kPageCount) activePage = at(0);
      return done;
    case kCmdPingLink:
      return {command, 0x01, 0x01};
    default:
      return done;
  }
}

}  // namespace qv
