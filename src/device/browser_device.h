// What a browser's WebHID interface tells of a HID device, turned into what the HID port reports:
// the capabilities of a collection from its report descriptions, and the version number, which a
// browser does not give.
#pragma once

#include <cstdint>
#include <span>

#include "device/hid_port.h"

namespace qv {

// One report of a collection as WebHID describes it: its id and the bits its items take.
struct BrowserReport {
  std::uint8_t reportId = 0;
  std::uint32_t bits = 0;
};

// The byte lengths of HIDP_CAPS for a collection: the longest report of each kind, rounded up to
// whole bytes, with the report id byte the system puts in front (0 when the kind has no report).
HidCaps BrowserCollectionCaps(std::uint16_t usagePage, std::uint16_t usage,
                              std::span<const BrowserReport> inputReports,
                              std::span<const BrowserReport> outputReports,
                              std::span<const BrowserReport> featureReports);

// A browser gives no version number (bcdDevice). A framed Bluetooth LE key pad reports 0, which
// discovery turns into its own version; a USB key pad gets the version its product id is sold
// with (0x0100 unless the product is sold only under another one), so that the model identity
// chooses the same key table and file header as on Windows.
// `chosen`, when not 0, is the version the user named for a product sold under two (1227: 0x0100
// and 0x0200), which nothing a browser reports tells apart.
std::uint16_t BrowserVersionNumber(std::uint16_t productId, const HidCaps& caps,
                                   std::uint16_t chosen = 0);

// Whether the user must name the version of a USB key pad of this product.
bool BrowserVersionIsAmbiguous(std::uint16_t productId);

}  // namespace qv
