#include "device/device_link.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "device/device_commands.h"
#include "device/scoped_hid_handle.h"

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

// The checks of one enumerated collection, open as `handle`: whether it is the command
// collection of a key pad with `productId`. Fills attributes (with the ids a Bluetooth LE path
// gives), caps and valueCaps on the way.
bool IsCommandCollection(HidSystem& hid, HidHandle handle, std::u16string_view path,
                         std::uint16_t productId, HidAttributes& attributes, HidCaps& caps,
                         HidValueCaps& valueCaps) {
  if (!hid.GetAttributes(handle, attributes)) return false;
  if (attributes.vendorId == 0) {
    // Bluetooth LE key pads may report all-zero attributes; their ids are in the path.
    if (attributes.productId != 0 || attributes.versionNumber != 0) return false;
    BlePathIds ids;
    if (ParseBleDevicePath(path, ids)) {
      attributes.vendorId = ids.vendorId;
      attributes.productId = ids.productId;
      attributes.versionNumber = ids.version;
    }
  }
  if (attributes.vendorId != kVendorId || attributes.productId != productId) return false;

  if (!hid.GetCaps(handle, caps)) return false;
  const HidReportKind kind =
      caps.featureReportByteLength != 0 ? HidReportKind::kFeature : HidReportKind::kOutput;
  if (!hid.GetFirstValueCaps(handle, kind, valueCaps)) valueCaps = HidValueCaps{};

  // The key pad's keyboard collections and any other usage page end here; so does a feature
  // report that the 64-byte message buffer cannot hold.
  return caps.usagePage == kVendorUsagePage && caps.featureReportByteLength <= kMessageBytes;
}

bool IsFramed(const HidCaps& caps) {
  return caps.outputReportByteLength == kFramedReportLength &&
         caps.inputReportByteLength == kFramedReportLength && caps.featureReportByteLength == 0;
}

}  // namespace

void DeviceLink::Close() {
  if (hid != nullptr) {
    hid->Close(handle);
    hid->Close(readHandle);
  }
  handle = kInvalidHidHandle;
  readHandle = kInvalidHidHandle;
  hid = nullptr;
}

void DeviceLink::ReopenReadHandle(HidSystem& system) {
  if (hid != nullptr) hid->Close(readHandle);
  readHandle = kInvalidHidHandle;
  hid = &system;
  readHandle = system.Open(BoundedView(path), true);
}

void DeviceLink::TakeFrom(DeviceLink& other) noexcept {
  handle = std::exchange(other.handle, kInvalidHidHandle);
  readHandle = std::exchange(other.readHandle, kInvalidHidHandle);
  hid = std::exchange(other.hid, nullptr);
  caps = other.caps;
  valueCaps = other.valueCaps;
  std::copy(std::begin(other.path), std::end(other.path), std::begin(path));
  framed = other.framed;
}

void CloseLink(DeviceContext& context, DeviceLink& link) {
  std::lock_guard<std::mutex> lock(context.exchangeMutex);
  link.Close();
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
  link = DeviceLink{};
  std::vector<std::u16string> paths;
  if (!hid.EnumeratePaths(paths)) return 0;

  std::uint16_t count = 0;
  for (const std::u16string& enumerated : paths) {
    char16_t path[kPathChars];
    BoundedCopy(path, enumerated);
    const std::u16string_view pathView = BoundedView(path);

    // Every rejection below closes this handle as the loop goes on.
    ScopedHidHandle opened(hid, hid.Open(pathView, false));
    if (!opened) continue;
    HidAttributes attributes;
    HidCaps caps;
    HidValueCaps valueCaps;
    if (!IsCommandCollection(hid, opened.get(), pathView, productId, attributes, caps, valueCaps))
      continue;

    DeviceLink candidate;
    candidate.hid = &hid;
    candidate.handle = opened.release();
    candidate.caps = caps;
    candidate.valueCaps = valueCaps;
    if (IsFramed(caps)) {
      BoundedCopy(candidate.path, pathView);
      candidate.framed = true;
      PingLink(context, candidate);  // opens readHandle; the answer does not matter here
    }

    ++count;
    if (!countOnly && count == ordinal) {
      std::uint16_t version = attributes.versionNumber;
      if (candidate.framed && version == 0) version = BleVersionSubstitute(productId);
      if (versionOut != nullptr) *versionOut = version;
      link = std::move(candidate);  // the link takes the handles only here
      return ordinal;
    }
  }  // a candidate that was only counted closes its handles at the end of its pass
  return countOnly ? count : 0;
}

}  // namespace qv
