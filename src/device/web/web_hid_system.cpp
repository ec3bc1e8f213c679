#include "device/web/web_hid_system.h"

#include <emscripten.h>

#include <array>
#include <string>

#include "device/browser_device.h"

// The script side: Module.webHid (webhid_port.js). Handles and collection numbers are small
// integers; -1 stands for a failure.
// clang-format off
EM_JS(int, WebHidCollectionCount, (int device), { return Module.webHid.collectionCount(device); });
EM_JS(int, WebHidDeviceCount, (), { return Module.webHid.deviceCount(); });
EM_ASYNC_JS(int, WebHidOpen, (int device, int collection, int overlapped), {
  return await Module.webHid.open(device, collection, overlapped != 0);
});
EM_JS(void, WebHidClose, (int handle), { Module.webHid.close(handle); });
// [vendorId, productId, usagePage, usage, the version the user chose for the product or 0]
EM_JS(int, WebHidIds, (int handle, int* ids), {
  return Module.webHid.ids(handle, HEAP32, ids >> 2) ? 1 : 0;
});
EM_JS(int, WebHidReports, (int handle, int kind, int* out, int capacity), {
  return Module.webHid.reports(handle, kind, HEAP32, out >> 2, capacity);
});
EM_ASYNC_JS(int, WebHidSendFeature, (int handle, const unsigned char* report, int length), {
  return await Module.webHid.sendFeature(handle, HEAPU8.slice(report, report + length)) ? 1 : 0;
});
EM_ASYNC_JS(int, WebHidReceiveFeature, (int handle, int reportId, unsigned char* report, int length), {
  const bytes = await Module.webHid.receiveFeature(handle, reportId);
  if (!bytes) return -1;
  const n = Math.min(bytes.length, length);
  HEAPU8.set(bytes.subarray(0, n), report);
  return n;
});
EM_ASYNC_JS(int, WebHidSendOutput, (int handle, const unsigned char* report, int length, int timeoutMs), {
  return await Module.webHid.sendOutput(handle, HEAPU8.slice(report, report + length), timeoutMs) ? 1 : 0;
});
// Returns the bytes read, -1 when the wait ran out, -2 when the read failed.
EM_ASYNC_JS(int, WebHidReadInput, (int handle, unsigned char* report, int length, int timeoutMs), {
  const bytes = await Module.webHid.readInput(handle, timeoutMs);
  if (bytes === null) return -1;
  if (bytes === undefined) return -2;
  const n = Math.min(bytes.length, length);
  HEAPU8.set(bytes.subarray(0, n), report);
  return n;
});
// clang-format on

namespace qv {
namespace {

constexpr std::u16string_view kPathPrefix = u"webhid:";
constexpr int kMaxReports = 32;
// The report kinds as webhid_port.js numbers them.
constexpr int kInputKind = 0;
constexpr int kOutputKind = 1;
constexpr int kFeatureKind = 2;

std::u16string Decimal(int value) {
  std::u16string text;
  do {
    text.insert(text.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value > 0);
  return text;
}

// "webhid:D/C" into D and C; false for any other path.
bool ParsePath(std::u16string_view path, int& device, int& collection) {
  if (path.substr(0, kPathPrefix.size()) != kPathPrefix) return false;
  path.remove_prefix(kPathPrefix.size());
  int* field = &device;
  device = collection = -1;
  int value = -1;
  for (char16_t c : path) {
    if (c == u'/' && field == &device && value >= 0) {
      device = value;
      field = &collection;
      value = -1;
    } else if (c >= u'0' && c <= u'9' && value < 100000) {
      value = (value < 0 ? 0 : value * 10) + (c - u'0');
    } else {
      return false;
    }
  }
  collection = value;
  return field == &collection && device >= 0 && collection >= 0;
}

std::vector<BrowserReport> ReportsOf(HidHandle handle, int kind) {
  std::array<int, kMaxReports * 2> raw{};
  const int count = WebHidReports(static_cast<int>(handle), kind, raw.data(), kMaxReports);
  std::vector<BrowserReport> reports;
  for (int i = 0; i < count && i < kMaxReports; ++i)
    reports.push_back(BrowserReport{static_cast<std::uint8_t>(raw[2 * i]),
                                    static_cast<std::uint32_t>(raw[2 * i + 1])});
  return reports;
}

}  // namespace

bool WebHidSystem::EnumeratePaths(std::vector<std::u16string>& paths) {
  paths.clear();
  const int devices = WebHidDeviceCount();
  for (int device = 0; device < devices; ++device) {
    const int collections = WebHidCollectionCount(device);
    for (int collection = 0; collection < collections; ++collection)
      paths.push_back(std::u16string(kPathPrefix) + Decimal(device) + u"/" + Decimal(collection));
  }
  return true;
}

HidHandle WebHidSystem::Open(std::u16string_view path, bool overlapped) {
  int device = 0, collection = 0;
  if (!ParsePath(path, device, collection)) return kInvalidHidHandle;
  const int handle = WebHidOpen(device, collection, overlapped ? 1 : 0);
  return handle < 0 ? kInvalidHidHandle : handle;
}

void WebHidSystem::Close(HidHandle handle) {
  if (handle != kInvalidHidHandle) WebHidClose(static_cast<int>(handle));
}

bool WebHidSystem::GetAttributes(HidHandle handle, HidAttributes& attributes) {
  int ids[5] = {};
  HidCaps caps;
  if (!WebHidIds(static_cast<int>(handle), ids) || !GetCaps(handle, caps)) return false;
  attributes.vendorId = static_cast<std::uint16_t>(ids[0]);
  attributes.productId = static_cast<std::uint16_t>(ids[1]);
  attributes.versionNumber =
      BrowserVersionNumber(attributes.productId, caps, static_cast<std::uint16_t>(ids[4]));
  return true;
}

bool WebHidSystem::GetCaps(HidHandle handle, HidCaps& caps) {
  int ids[5] = {};
  if (!WebHidIds(static_cast<int>(handle), ids)) return false;
  const std::vector<BrowserReport> input = ReportsOf(handle, kInputKind);
  const std::vector<BrowserReport> output = ReportsOf(handle, kOutputKind);
  const std::vector<BrowserReport> feature = ReportsOf(handle, kFeatureKind);
  caps = BrowserCollectionCaps(static_cast<std::uint16_t>(ids[2]),
                               static_cast<std::uint16_t>(ids[3]), input, output, feature);
  return true;
}

bool WebHidSystem::GetFirstValueCaps(HidHandle handle, HidReportKind kind,
                                     HidValueCaps& valueCaps) {
  int ids[5] = {};
  if (!WebHidIds(static_cast<int>(handle), ids)) return false;
  const std::vector<BrowserReport> reports =
      ReportsOf(handle, kind == HidReportKind::kFeature ? kFeatureKind : kOutputKind);
  if (reports.empty()) return false;
  valueCaps.usagePage = static_cast<std::uint16_t>(ids[2]);
  valueCaps.reportId = reports.front().reportId;
  return true;
}

// WebHID takes the report id apart from the data: byte 0 of `report` is the id.
bool WebHidSystem::SetFeature(HidHandle handle, const std::uint8_t* report, std::size_t length) {
  if (length == 0) return false;
  return WebHidSendFeature(static_cast<int>(handle), report, static_cast<int>(length)) == 1;
}

bool WebHidSystem::GetFeature(HidHandle handle, std::uint8_t* report, std::size_t length) {
  if (length == 0) return false;
  const int read =
      WebHidReceiveFeature(static_cast<int>(handle), report[0], report, static_cast<int>(length));
  return read > 0;
}

bool WebHidSystem::WriteOutput(HidHandle handle, const std::uint8_t* report, std::size_t length,
                               std::uint32_t timeoutMs) {
  if (length == 0) return false;
  return WebHidSendOutput(static_cast<int>(handle), report, static_cast<int>(length),
                          static_cast<int>(timeoutMs)) == 1;
}

HidReadResult WebHidSystem::ReadInput(HidHandle handle, std::uint8_t* report, std::size_t length,
                                      std::uint32_t timeoutMs, std::size_t& bytesRead) {
  bytesRead = 0;
  const int read = WebHidReadInput(static_cast<int>(handle), report, static_cast<int>(length),
                                   static_cast<int>(timeoutMs));
  if (read == -1) return HidReadResult::kTimeout;
  if (read < 0) return HidReadResult::kError;
  bytesRead = static_cast<std::size_t>(read);
  return HidReadResult::kOk;
}

}  // namespace qv
