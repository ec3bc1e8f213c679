// The key pad's eleven commands, each one request (and for most one reply) over Exchange, and
// the loops that read every key code of a key pad.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/key_code_record.h"
#include "device/device_context.h"
#include "device/device_link.h"

namespace qv {

// Command codes.
inline constexpr std::uint8_t kCmdReadDeviceInfo = 0x01;
inline constexpr std::uint8_t kCmdWritePassword = 0x02;
inline constexpr std::uint8_t kCmdVerifyPassword = 0x03;
inline constexpr std::uint8_t kCmdReadKeyCode = 0x04;
inline constexpr std::uint8_t kCmdReadDefaultKeyCode = 0x05;
inline constexpr std::uint8_t kCmdWriteKeyCode = 0x06;
inline constexpr std::uint8_t kCmdResetToFactory = 0x07;
inline constexpr std::uint8_t kCmdWriteStatusByte = 0x08;
inline constexpr std::uint8_t kCmdReadActivePage = 0x0A;
inline constexpr std::uint8_t kCmdSelectPage = 0x0B;
inline constexpr std::uint8_t kCmdPingLink = 0xFF;

// Reply bytes 3..63: device info and the active-page answer.
inline constexpr std::size_t kDeviceInfoBytes = 61;
using DeviceInfo = std::array<std::uint8_t, kDeviceInfoBytes>;

// Reply status of an accepted password.
inline constexpr std::uint8_t kPasswordAccepted = 0x10;
inline constexpr std::size_t kMaxPasswordChars = 20;

// Status byte: access bits 7 and 0, buzzer volume bits 6-5, interface bit 4 (set = PS/2).
inline constexpr std::uint8_t kStatusAuthenticated = 0x80;
inline constexpr std::uint8_t kStatusPasswordSet = 0x01;
inline constexpr std::uint8_t kStatusVolumeMask = 0x60;
inline constexpr std::uint8_t kStatusVolumeNone = 0x00;
inline constexpr std::uint8_t kStatusVolumeSmall = 0x40;
inline constexpr std::uint8_t kStatusVolumeLarge = 0x60;
inline constexpr std::uint8_t kStatusInterfacePs2 = 0x10;
// Written after a factory reset.
inline constexpr std::uint8_t kStatusAfterReset = 0x81;

// Written before a command or dialog works on the key pad.
constexpr std::uint8_t EditingStatusValue(std::uint8_t status) {
  return static_cast<std::uint8_t>((status & 0xF0) | 0x80);
}
// Written when it is done.
constexpr std::uint8_t ResumeStatusValue(std::uint8_t status) {
  return static_cast<std::uint8_t>((status & 0xF1) | 0x81);
}

// Serial number from the three packed-BCD bytes of the device info (at most 999999).
std::uint32_t SerialFromDeviceInfo(const DeviceInfo& info);

// Keys of a model by its product id: 144, 96, 84, 48 or 30.
int KeyCountForModel(std::uint16_t productId);

// On failure the outputs keep what they held.
bool ReadDeviceInfo(DeviceContext& context, DeviceLink& link, DeviceInfo& info);
// Password: 0..20 ASCII characters; longer ones are refused without sending.
bool WritePassword(DeviceContext& context, DeviceLink& link, std::string_view password);
bool VerifyPassword(DeviceContext& context, DeviceLink& link, std::string_view password);
// Key numbers count from 1. A record travels as its length byte and its 60 stroke bytes.
// An empty answer reads as an empty key (length 1).
bool ReadKeyCode(DeviceContext& context, DeviceLink& link, int keyNumber, KeyCodeRecord& record);
// The key's factory default; its length byte is handed on as the key pad sent it, 0 included.
bool ReadDefaultKeyCode(DeviceContext& context, DeviceLink& link, int keyNumber,
                        KeyCodeRecord& record);
// The record's length byte must be 1..61 (a framed link carries at most 42).
bool WriteKeyCode(DeviceContext& context, DeviceLink& link, int keyNumber,
                  const KeyCodeRecord& record);
bool ResetToFactory(DeviceContext& context, DeviceLink& link);
bool WriteStatusByte(DeviceContext& context, DeviceLink& link, std::uint8_t status);
// For the paged models only; answer byte 0 is the active page.
bool ReadActivePage(DeviceContext& context, DeviceLink& link, DeviceInfo& answer);
bool SelectPage(DeviceContext& context, DeviceLink& link, int page);
// Framed links only: false without sending anything on a feature link.
bool PingLink(DeviceContext& context, DeviceLink& link);

// Zeroes all records, then reads keys 1..KeyCountForModel(productId) into them (key k into
// records[k - 1]); a key whose read fails stays zero. Returns the key count. Fills the editing
// copy and a key pad's slot of the cache alike.
int ReadAllKeyCodes(DeviceContext& context, DeviceLink& link, std::uint16_t productId,
                    KeyCodeRecords& records);

}  // namespace qv
