#include "device/device_link.h"

#include <algorithm>
#include <string>
#include <vector>

#include "device/device_commands.h"

namespace qv {
namespace {

// Offsets of the id fields from the start of the vendor marker, and the characters the last
// field needs.
constexpr std::size_t kVendorFieldOffset = 11;
constexpr std::size_t kProductFieldOffset = 20;
constexpr std::size_t kRevisionFieldOffset = 29;
constexpr std::size_t kBlePathFieldsEnd = kRevisionFieldOffset + 4;

std::size_t FindEither(std::u16string_view path, std::u16string_view a, std::u16string_view b) {
  std::size_t at = path.find(a);
  if (at == std::u16string_view::npos) at = path.find(b);
  return at;
}

void CloseHandles(HidSystem& hid, DeviceLink& link) {
  hid.Close(link.handle);
  hid.Close(link.readHandle);
  link.handle = kInvalidHidHandle;
  link.readHandle = kInvalidHidHandle;
}

}  // namespace

void CloseLink(DeviceContext& context, DeviceLink& link) {
  std::lock_guard<std::mutex> lock(context.exchangeMutex);
  CloseHandles(context.hid, link);
}

bool IsKnownProductId(std::uint16_t productId) {
  return std::find(kProductIds.begin(), kProductIds.end(), productId) != kProductIds.end();
}

std::uint16_t ParseHex4(const char16_t* digits) {
  unsigned value = 0;
  for (int i = 0; i < 4; ++i) {
    char16_t c = digits[i];
    value <<= 4;
    if (c >= u'0' && c <= u'9')
      value += c - u'0';
    else if (c >= u'a' && c <= u'f')
      value += c - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
      value += c - u'A' + 10;
  }
  return static_cast<std::uint16_t>(value);
}

bool ParseBleDevicePath(std::u16string_view path, BlePathIds& ids) {
  if (FindEither(path, kHidServiceUuidLower, kHidServiceUuidUpper) == std::u16string_view::npos)
    return false;
  std::size_t marker = FindEither(path, kVendorMarkerLower, kVendorMarkerUpper);
  if (marker == std::u16string_view::npos) return false;
  // A path cut short after the marker has no fields to read.
  if (path.size() - marker < kBlePathFieldsEnd) return false;
  const char16_t* fields = path.data() + marker;
  ids.vendorId = ParseHex4(fields + kVendorFieldOffset);
  ids.productId = ParseHex4(fields + kProductFieldOffset);
  ids.version = ParseHex4(fields + kRevisionFieldOffset);
  return true;
}

std::uint16_t OpenKeyPad(DeviceContext& context, DeviceLink& link, std::uint16_t productId,
                         std::uint16_t* versionOut, std::uint16_t ordinal, bool countOnly) {
  HidSystem& hid = context.hid;
  link.handle = kInvalidHidHandle;
  link.readHandle = kInvalidHidHandle;
  std::vector<std::u16string> paths;
  if (!hid.EnumeratePaths(paths)) return 0;

  std::uint16_t count = 0;
  for (const std::u16string& enumerated : paths) {
    char16_t path[kPathChars];
    BoundedCopy(path, enumerated);
    std::u16string_view pathView = BoundedView(path);

    link.handle = hid.Open(pathView, false);
    link.readHandle = kInvalidHidHandle;
    link.framed = false;
    link.path[0] = 0;
    if (link.handle == kInvalidHidHandle) continue;

    HidAttributes attributes;
    if (!hid.GetAttributes(link.handle, attributes)) {
      CloseHandles(hid, link);
      continue;
    }
    if (attributes.vendorId == 0) {
      // Bluetooth LE key pads may report all-zero attributes; their ids are in the path.
      if (attributes.productId != 0 || attributes.versionNumber != 0) {
        CloseHandles(hid, link);
        continue;
      }
      BlePathIds ids;
      if (ParseBleDevicePath(pathView, ids)) {
        attributes.vendorId = ids.vendorId;
        attributes.productId = ids.productId;
        attributes.versionNumber = ids.version;
      }
    }
    if (attributes.vendorId != kVendorId || attributes.productId != productId) {
      CloseHandles(hid, link);
      continue;
    }

    link.caps = HidCaps{};
    link.valueCaps = HidValueCaps{};
    if (!hid.GetCaps(link.handle, link.caps)) {
      CloseHandles(hid, link);
      continue;
    }
    HidReportKind kind =
        link.caps.featureReportByteLength != 0 ? HidReportKind::kFeature : HidReportKind::kOutput;
    if (!hid.GetFirstValueCaps(link.handle, kind, link.valueCaps)) link.valueCaps = HidValueCaps{};

    // The key pad's keyboard collections and any other usage page end here; so does a feature
    // report that the 64-byte message buffer cannot hold.
    if (link.caps.usagePage != kVendorUsagePage ||
        link.caps.featureReportByteLength > kMessageBytes) {
      CloseHandles(hid, link);
      continue;
    }

    if (link.caps.outputReportByteLength == kFramedReportLength &&
        link.caps.inputReportByteLength == kFramedReportLength &&
        link.caps.featureReportByteLength == 0) {
      BoundedCopy(link.path, pathView);
      link.framed = true;
      PingLink(context, link);  // opens readHandle; the answer does not matter here
    }

    ++count;
    if (!countOnly && count == ordinal) {
      std::uint16_t version = attributes.versionNumber;
      if (link.framed && version == 0) version = BleVersionSubstitute(productId);
      if (versionOut != nullptr) *versionOut = version;
      return ordinal;
    }
    CloseHandles(hid, link);
  }
  link.framed = false;
  link.path[0] = 0;
  return countOnly ? count : 0;
}

std::uint16_t CountKeyPads(DeviceContext& context) {
  DeviceLink scratch;
  unsigned total = 0;
  for (std::uint16_t productId : kProductIds)
    total += OpenKeyPad(context, scratch, productId, nullptr, 0, true);
  return static_cast<std::uint16_t>(total);
}

}  // namespace qv
