// The key pad's own side of the command protocol: what a key pad stores (status byte, password,
// serial number, key codes and their factory defaults, active page) and how it answers each of
// the eleven commands. Transport-free: EmulatedHidSystem feeds it whole request messages.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/key_code_record.h"

namespace qv {

// One request as the key pad received it.
struct ReceivedRequest {
  std::uint8_t command = 0;
  std::uint8_t declaredLength = 0;    // byte 2 of the message
  std::vector<std::uint8_t> payload;  // the payload bytes that arrived (at most declaredLength)
};

// Status of a key pad fresh from the factory or after a factory reset.
inline constexpr std::uint8_t kFactoryStatus = 0x81;

class KeyPadFirmware {
 public:
  KeyPadFirmware(std::uint16_t productId, std::uint16_t version, std::uint32_t serial,
                 std::uint8_t status);

  // Handles one request. Returns the reply body: command, length byte, then data. The data may
  // run past the length byte (a key-code reply always carries the key number, even with length
  // 0); the framed transport sends only length + 2 bytes of it, a feature report all of it.
  std::vector<std::uint8_t> Handle(const ReceivedRequest& request);

  // The factory default of a key: deterministic per key number (see the .cpp).
  static KeyCodeRecord DefaultKeyCode(int keyNumber);

  int keyCount() const { return keyCount_; }
  bool paged() const { return paged_; }

  std::uint8_t status = 0;
  // The byte of the last WriteStatusByte request, as sent (-1: none yet).
  int lastStatusWrite = -1;
  std::string password;
  std::uint32_t serial = 0;
  int activePage = 1;
  KeyCodeRecords records{};  // index = key number - 1; length byte stored as written
  std::vector<ReceivedRequest> requests;

 private:
  bool IsKey(int keyNumber) const { return keyNumber >= 1 && keyNumber <= keyCount_; }
  std::vector<std::uint8_t> RecordReply(std::uint8_t command, int keyNumber,
                                        const KeyCodeRecord& record) const;

  int keyCount_;
  bool paged_;
};

}  // namespace qv
