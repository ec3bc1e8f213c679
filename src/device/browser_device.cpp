#include "device/browser_device.h"

#include <algorithm>

#include "device/device_link.h"

namespace qv {
namespace {

std::uint16_t ReportByteLength(std::span<const BrowserReport> reports) {
  std::uint32_t longest = 0;
  for (const BrowserReport& report : reports) longest = std::max(longest, report.bits);
  if (reports.empty()) return 0;
  const std::uint32_t bytes = (longest + 7) / 8 + 1;
  return static_cast<std::uint16_t>(std::min<std::uint32_t>(bytes, 0xFFFF));
}

}  // namespace

HidCaps BrowserCollectionCaps(std::uint16_t usagePage, std::uint16_t usage,
                              std::span<const BrowserReport> inputReports,
                              std::span<const BrowserReport> outputReports,
                              std::span<const BrowserReport> featureReports) {
  HidCaps caps;
  caps.usagePage = usagePage;
  caps.usage = usage;
  caps.inputReportByteLength = ReportByteLength(inputReports);
  caps.outputReportByteLength = ReportByteLength(outputReports);
  caps.featureReportByteLength = ReportByteLength(featureReports);
  return caps;
}

bool BrowserVersionIsAmbiguous(std::uint16_t productId) {
  return productId == kProduct1227;
}

std::uint16_t BrowserVersionNumber(std::uint16_t productId, const HidCaps& caps,
                                   std::uint16_t chosen) {
  const bool framed = caps.featureReportByteLength == 0 &&
                      caps.inputReportByteLength == kFramedReportLength &&
                      caps.outputReportByteLength == kFramedReportLength;
  if (framed) return 0;
  if (BrowserVersionIsAmbiguous(productId) && (chosen == 0x0100 || chosen == 0x0200)) return chosen;
  switch (productId) {
    case kProduct074F:
      return 0xA100;
    case kProduct1865:
      return 0x0200;
    default:
      return 0x0100;
  }
}

}  // namespace qv
