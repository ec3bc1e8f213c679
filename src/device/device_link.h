// Finding the key pads among the system's HID collections, telling their models apart and
// opening one of them for commands.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/bounded_text.h"
#include "device/device_context.h"
#include "device/hid_port.h"

namespace qv {

inline constexpr std::uint16_t kVendorId = 0xEA7C;
inline constexpr std::uint16_t kVendorUsagePage = 0xFFA0;

// The thirteen product ids; no other product id is ever accepted.
inline constexpr std::uint16_t kProduct0652 = 0x0652;
inline constexpr std::uint16_t kProduct070C = 0x070C;
inline constexpr std::uint16_t kProduct074F = 0x074F;
inline constexpr std::uint16_t kProduct0750 = 0x0750;
inline constexpr std::uint16_t kProduct075F = 0x075F;
inline constexpr std::uint16_t kProduct0777 = 0x0777;
inline constexpr std::uint16_t kProduct1224 = 0x1224;
inline constexpr std::uint16_t kProduct1225 = 0x1225;
inline constexpr std::uint16_t kProduct1227 = 0x1227;
inline constexpr std::uint16_t kProduct130C = 0x130C;
inline constexpr std::uint16_t kProduct130D = 0x130D;
inline constexpr std::uint16_t kProduct142A = 0x142A;
inline constexpr std::uint16_t kProduct1865 = 0x1865;
inline constexpr std::array<std::uint16_t, 13> kProductIds = {
    kProduct0652, kProduct070C, kProduct074F, kProduct0750, kProduct075F,
    kProduct0777, kProduct1224, kProduct1225, kProduct1227, kProduct130C,
    kProduct130D, kProduct142A, kProduct1865};

// Input and output report length (report id included) of a key pad on the framed transport.
inline constexpr std::uint16_t kFramedReportLength = 17;
// Size of the message buffer; a feature report longer than this cannot be carried.
inline constexpr std::size_t kMessageBytes = 64;

// Versions given to a framed key pad whose version number reads 0.
inline constexpr std::uint16_t kBleVersion = 0xB4B4;
inline constexpr std::uint16_t kBleVersion0777 = 0xB5B5;

// Model identities the system tests.
inline constexpr std::uint32_t kModel01001224 = 0x01001224;
inline constexpr std::uint32_t kModel01001225 = 0x01001225;
inline constexpr std::uint32_t kModel01001227 = 0x01001227;
inline constexpr std::uint32_t kModel0100130C = 0x0100130C;
inline constexpr std::uint32_t kModel0100130D = 0x0100130D;
inline constexpr std::uint32_t kModel0100142A = 0x0100142A;
inline constexpr std::uint32_t kModel02001227 = 0x02001227;
inline constexpr std::uint32_t kModel02001865 = 0x02001865;
inline constexpr std::uint32_t kModelA100074F = 0xA100074F;
inline constexpr std::uint32_t kModelB4B4074F = 0xB4B4074F;
inline constexpr std::uint32_t kModelB5B50777 = 0xB5B50777;

// Marks of a Bluetooth LE HID device path, each searched in exactly these two forms.
inline constexpr std::u16string_view kHidServiceUuidLower =
    u"{00001812-0000-1000-8000-00805f9b34fb}";
inline constexpr std::u16string_view kHidServiceUuidUpper =
    u"{00001812-0000-1000-8000-00805F9B34FB}";
inline constexpr std::u16string_view kVendorMarkerLower = u"_dev_vid&";
inline constexpr std::u16string_view kVendorMarkerUpper = u"_DEV_VID&";

// One opened key pad. The link owns its handles: it closes them through the HID system they came
// from when it is closed, goes away or is assigned another link, so a link used only for a moment
// (a count, an identity read) cannot leave a handle open. Move-only.
struct DeviceLink {
  DeviceLink() = default;
  ~DeviceLink() { Close(); }
  DeviceLink(DeviceLink&& other) noexcept { TakeFrom(other); }
  DeviceLink& operator=(DeviceLink&& other) noexcept {
    if (this != &other) {
      Close();
      TakeFrom(other);
    }
    return *this;
  }
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;

  // Closes both handles (either may be invalid already). Takes no lock: a link that other threads
  // exchange on is closed with CloseLink.
  void Close();
  // Replaces the read handle with a fresh overlapped handle of `path`, closing the old one.
  void ReopenReadHandle(HidSystem& hid);

  HidHandle handle = kInvalidHidHandle;      // synchronous: feature reports
  HidHandle readHandle = kInvalidHidHandle;  // overlapped: framed input and output reports
  HidCaps caps;
  HidValueCaps valueCaps;          // its report id starts every request
  char16_t path[kPathChars] = {};  // filled for framed key pads only
  bool framed = false;             // 17-byte input and output reports, no feature report
  HidSystem* hid = nullptr;        // where both handles came from; null while none is open

 private:
  void TakeFrom(DeviceLink& other) noexcept;
};

// Closes both handles of a link (either may be invalid already). Waits for a running exchange.
void CloseLink(DeviceContext& context, DeviceLink& link);

// (version << 16) | product id.
constexpr std::uint32_t ModelIdentity(std::uint16_t version, std::uint16_t productId) {
  return (static_cast<std::uint32_t>(version) << 16) | productId;
}
constexpr std::uint16_t ProductIdOf(std::uint32_t modelIdentity) {
  return static_cast<std::uint16_t>(modelIdentity & 0xFFFF);
}
// The two framed Bluetooth LE models ("Brava").
constexpr bool IsBravaModel(std::uint32_t modelIdentity) {
  return modelIdentity == kModelB4B4074F || modelIdentity == kModelB5B50777;
}
// The 144-key models with six pages of keys.
constexpr bool IsPagedModel(std::uint32_t modelIdentity) {
  return modelIdentity == kModel01001225 || modelIdentity == kModel0100130D;
}
bool IsKnownProductId(std::uint16_t productId);

// Version given to a framed key pad whose version number is 0.
constexpr std::uint16_t BleVersionSubstitute(std::uint16_t productId) {
  return productId == kProduct0777 ? kBleVersion0777 : kBleVersion;
}

// Four characters, most significant first; a character that is not a hex digit adds nothing
// (its position still shifts).
std::uint16_t ParseHex4(const char16_t* digits);

struct BlePathIds {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint16_t version = 0;
};

// Takes vendor id, product id and version from a Bluetooth LE HID device path: the path must
// hold the HID service UUID and the vendor marker, followed by the id fields (vendor id 11,
// product id 20 and revision 29 characters after the marker's start). False when a mark is
// missing or the path ends before the last field.
bool ParseBleDevicePath(std::u16string_view path, BlePathIds& ids);

// Count-only mode: returns how many collections match productId and closes whatever it opened.
// Open mode: opens the ordinal-th matching collection (from 1, in enumeration order) into
// `link`, stores its version (after the Bluetooth LE substitution) through versionOut when
// given and returns ordinal; returns 0 with nothing open when fewer collections match.
std::uint16_t OpenKeyPad(DeviceContext& context, DeviceLink& link, std::uint16_t productId,
                         std::uint16_t* versionOut, std::uint16_t ordinal, bool countOnly);

}  // namespace qv
