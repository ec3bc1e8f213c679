// Arbitrary UTF-16 device interface paths: ParseHex4 on any four characters, ParseBleDevicePath
// on any path, and OpenKeyPad on an emulated bus where a collection with that path reports
// all-zero attributes (as Bluetooth LE key pads may) and the key pad's report lengths. A path
// opens as a key pad exactly when its fields name the vendor and the product asked for; nothing
// stays open after counting or after the link is closed.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "device/device_context.h"
#include "device/device_link.h"
#include "emulator/emulated_hid_system.h"
#include "fuzz/fuzz_support.h"

using namespace qv;
using namespace qv::fuzz;

namespace {

// Hex digit value, or 0 for any other character.
unsigned DigitValue(char16_t c) {
  constexpr std::u16string_view kDigits = u"0123456789abcdef";
  constexpr std::u16string_view kUpper = u"0123456789ABCDEF";
  std::size_t at = kDigits.find(c);
  if (at == std::u16string_view::npos) at = kUpper.find(c);
  return at == std::u16string_view::npos ? 0 : static_cast<unsigned>(at);
}

std::uint16_t Hex4(std::u16string_view four) {
  return static_cast<std::uint16_t>(DigitValue(four[0]) * 0x1000 + DigitValue(four[1]) * 0x100 +
                                    DigitValue(four[2]) * 0x10 + DigitValue(four[3]));
}

// The ids a path names: both marks present (each in its lower-case form first, then its
// upper-case form) and the revision field complete.
bool ExpectedIds(std::u16string_view path, BlePathIds& ids) {
  auto find = [path](std::u16string_view lower, std::u16string_view upper) {
    const std::size_t at = path.find(lower);
    return at != std::u16string_view::npos ? at : path.find(upper);
  };
  if (find(kHidServiceUuidLower, kHidServiceUuidUpper) == std::u16string_view::npos) return false;
  const std::size_t marker = find(kVendorMarkerLower, kVendorMarkerUpper);
  if (marker == std::u16string_view::npos || marker + 33 > path.size()) return false;
  ids.vendorId = Hex4(path.substr(marker + 11, 4));
  ids.productId = Hex4(path.substr(marker + 20, 4));
  ids.version = Hex4(path.substr(marker + 29, 4));
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::uint16_t askedProduct = kProductIds[input.Byte() % kProductIds.size()];
  const bool askByPath = input.Bool();  // ask for the product the path names, when it names one
  const std::u16string path = input.RestAsUtf16();

  // ParseHex4 reads exactly four characters: give it a buffer of four on the heap.
  if (path.size() >= 4) {
    auto four = std::make_unique<char16_t[]>(4);
    std::copy_n(path.begin(), 4, four.get());
    Check(ParseHex4(four.get()) == Hex4(path), "ParseHex4 differs from the digit values");
  }

  BlePathIds ids{0x1111, 0x2222, 0x3333};
  BlePathIds expected = ids;
  const bool parsed = ParseBleDevicePath(path, ids);
  Check(parsed == ExpectedIds(path, expected), "path accepted against its marks and length");
  Check(ids.vendorId == expected.vendorId && ids.productId == expected.productId &&
            ids.version == expected.version,
        "ids taken from the path");

  // The bus keeps a path up to its first NUL and at most 259 characters, as the program does.
  std::u16string kept(path.substr(0, path.find(u'\0')));
  if (kept.size() >= kPathChars) kept.resize(kPathChars - 1);
  if (kept.empty()) return 0;

  EmulatedHidSystem hid(EmulatedHidSystem::ClockMode::kVirtual);
  ForeignDeviceSpec collection;
  collection.vendorId = 0;
  collection.productId = 0;
  collection.version = 0;
  collection.usagePage = kVendorUsagePage;
  collection.usage = 0x0001;
  collection.inputReportLength = kFramedReportLength;
  collection.outputReportLength = kFramedReportLength;
  collection.path = kept;
  hid.AttachForeignDevice(collection);

  BlePathIds named;
  const bool names = ExpectedIds(kept, named);
  const std::uint16_t productId =
      askByPath && names && IsKnownProductId(named.productId) ? named.productId : askedProduct;
  const bool isKeyPad = names && named.vendorId == kVendorId && named.productId == productId;

  DeviceContext context(hid);
  context.framedTimeoutMs = 0;  // the collection never answers; do not wait for it
  DeviceLink link;
  const std::uint16_t counted = OpenKeyPad(context, link, productId, nullptr, 0, true);
  Check(counted == (isKeyPad ? 1 : 0), "count of key pads on the path");
  Check(hid.OpenHandleCount() == 0, "counting left a handle open");

  std::uint16_t version = 0xDEAD;
  const std::uint16_t opened = OpenKeyPad(context, link, productId, &version, 1, false);
  Check(opened == counted, "open result differs from the count");
  if (opened == 1) {
    Check(link.framed && link.handle != kInvalidHidHandle, "opened key pad without a link");
    Check(BoundedView(link.path) == kept, "link path differs from the collection's");
    const std::uint16_t wanted =
        named.version == 0 ? BleVersionSubstitute(productId) : named.version;
    Check(version == wanted, "version of the key pad");
  } else {
    Check(version == 0xDEAD, "version written although nothing opened");
    Check(hid.OpenHandleCount() == 0, "a failed open left a handle open");
  }
  CloseLink(context, link);
  Check(hid.OpenHandleCount() == 0, "closing the link left a handle open");
  return 0;
}
