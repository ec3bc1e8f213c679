#include "device/win32/hid_system_win32.h"

#include <windows.h>

#include <setupapi.h>

#include <climits>
#include <cstddef>

// hidsdi.h defines the types hidpi.h needs, so it comes first.
extern "C" {
#include <hidsdi.h>

#include <hidpi.h>
}

#include "common/bounded_text.h"

namespace qv {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide text is UTF-16");

HANDLE ToHandle(HidHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

bool IsOpen(HidHandle handle) {
  return handle != kInvalidHidHandle && handle != 0;
}

// hid.dll and the file functions take lengths as 32-bit values.
bool IsUsableBuffer(const void* report, std::size_t length) {
  return report != nullptr && length > 0 && length <= ULONG_MAX;
}

// The preparsed data of an open collection, released when it goes out of scope.
class PreparsedData {
 public:
  explicit PreparsedData(HANDLE handle) {
    if (!HidD_GetPreparsedData(handle, &data_)) data_ = nullptr;
  }
  ~PreparsedData() {
    if (data_ != nullptr) HidD_FreePreparsedData(data_);
  }
  PreparsedData(const PreparsedData&) = delete;
  PreparsedData& operator=(const PreparsedData&) = delete;

  PHIDP_PREPARSED_DATA get() const { return data_; }

 private:
  PHIDP_PREPARSED_DATA data_ = nullptr;
};

}  // namespace

bool Win32HidSystem::EnumeratePaths(std::vector<std::u16string>& paths) {
  paths.clear();
  GUID hidGuid;
  HidD_GetHidGuid(&hidGuid);
  HDEVINFO devices =
      SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (devices == INVALID_HANDLE_VALUE) return false;

  HANDLE heap = GetProcessHeap();
  constexpr DWORD kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof(interfaceData);
    if (!SetupDiEnumDeviceInterfaces(devices, nullptr, &hidGuid, index, &interfaceData)) break;

    // The first call only reports the size the detail needs.
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailW(devices, &interfaceData, nullptr, 0, &required, nullptr);
    if (required < kPathOffset + sizeof(WCHAR)) continue;
    auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(
        HeapAlloc(heap, HEAP_ZERO_MEMORY, required));
    if (detail == nullptr) continue;
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (SetupDiGetDeviceInterfaceDetailW(devices, &interfaceData, detail, required, nullptr,
                                         nullptr)) {
      // Never read past the block the system filled, even if its text were unterminated.
      const std::size_t maxChars = (required - kPathOffset) / sizeof(WCHAR);
      const std::u16string_view devicePath =
          BoundedView(reinterpret_cast<const char16_t*>(detail->DevicePath), maxChars);
      char16_t path[kPathChars];
      BoundedCopy(path, devicePath);
      paths.emplace_back(BoundedView(path));
    }
    HeapFree(heap, 0, detail);
  }
  SetupDiDestroyDeviceInfoList(devices);
  return true;
}

HidHandle Win32HidSystem::Open(std::u16string_view path, bool overlapped) {
  // An empty path or one with an embedded terminator would name some other file.
  if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return kInvalidHidHandle;
  char16_t terminated[kPathChars];
  BoundedCopy(terminated, path);
  HANDLE handle =
      CreateFileW(reinterpret_cast<const wchar_t*>(terminated), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                  overlapped ? FILE_FLAG_OVERLAPPED : FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return kInvalidHidHandle;
  return reinterpret_cast<HidHandle>(handle);
}

void Win32HidSystem::Close(HidHandle handle) {
  if (IsOpen(handle)) CloseHandle(ToHandle(handle));
}

bool Win32HidSystem::GetAttributes(HidHandle handle, HidAttributes& attributes) {
  if (!IsOpen(handle)) return false;
  HIDD_ATTRIBUTES system{};
  system.Size = sizeof(system);
  if (!HidD_GetAttributes(ToHandle(handle), &system)) return false;
  attributes.vendorId = system.VendorID;
  attributes.productId = system.ProductID;
  attributes.versionNumber = system.VersionNumber;
  return true;
}

bool Win32HidSystem::GetCaps(HidHandle handle, HidCaps& caps) {
  if (!IsOpen(handle)) return false;
  PreparsedData preparsed(ToHandle(handle));
  if (preparsed.get() == nullptr) return false;
  HIDP_CAPS system{};
  if (HidP_GetCaps(preparsed.get(), &system) != HIDP_STATUS_SUCCESS) return false;
  caps.usage = system.Usage;
  caps.usagePage = system.UsagePage;
  caps.inputReportByteLength = system.InputReportByteLength;
  caps.outputReportByteLength = system.OutputReportByteLength;
  caps.featureReportByteLength = system.FeatureReportByteLength;
  return true;
}

bool Win32HidSystem::GetFirstValueCaps(HidHandle handle, HidReportKind kind,
                                       HidValueCaps& valueCaps) {
  if (!IsOpen(handle)) return false;
  PreparsedData preparsed(ToHandle(handle));
  if (preparsed.get() == nullptr) return false;
  // Room for one entry: the first value capability is the one whose report id the key pad uses.
  // With more capabilities than room the call reports a short buffer but still fills the entry.
  HIDP_VALUE_CAPS first{};
  USHORT count = 1;
  const NTSTATUS status =
      HidP_GetValueCaps(kind == HidReportKind::kFeature ? HidP_Feature : HidP_Output, &first,
                        &count, preparsed.get());
  if (status != HIDP_STATUS_SUCCESS && status != HIDP_STATUS_BUFFER_TOO_SMALL) return false;
  if (count == 0) return false;
  valueCaps.usagePage = first.UsagePage;
  valueCaps.reportId = first.ReportID;
  return true;
}

bool Win32HidSystem::SetFeature(HidHandle handle, const std::uint8_t* report, std::size_t length) {
  if (!IsOpen(handle) || !IsUsableBuffer(report, length)) return false;
  // HidD_SetFeature only reads the buffer; its parameter is not declared const.
  return HidD_SetFeature(ToHandle(handle), const_cast<std::uint8_t*>(report),
                         static_cast<ULONG>(length)) != FALSE;
}

bool Win32HidSystem::GetFeature(HidHandle handle, std::uint8_t* report, std::size_t length) {
  if (!IsOpen(handle) || !IsUsableBuffer(report, length)) return false;
  return HidD_GetFeature(ToHandle(handle), report, static_cast<ULONG>(length)) != FALSE;
}

bool Win32HidSystem::WriteOutput(HidHandle handle, const std::uint8_t* report, std::size_t length) {
  if (!IsOpen(handle) || !IsUsableBuffer(report, length)) return false;
  DWORD written = 0;
  if (!WriteFile(ToHandle(handle), report, static_cast<DWORD>(length), &written, nullptr)) {
    return false;
  }
  return written == length;
}

HidReadResult Win32HidSystem::ReadInput(HidHandle handle, std::uint8_t* report, std::size_t length,
                                        std::uint32_t timeoutMs, std::size_t& bytesRead) {
  bytesRead = 0;
  if (!IsOpen(handle) || !IsUsableBuffer(report, length)) return HidReadResult::kError;
  HANDLE file = ToHandle(handle);
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) return HidReadResult::kError;

  OVERLAPPED overlapped{};
  overlapped.hEvent = event;
  DWORD transferred = 0;
  HidReadResult result = HidReadResult::kError;
  if (ReadFile(file, report, static_cast<DWORD>(length), nullptr, &overlapped)) {
    // Completed at once (an input report was already queued).
    if (GetOverlappedResult(file, &overlapped, &transferred, FALSE)) result = HidReadResult::kOk;
  } else if (GetLastError() == ERROR_IO_PENDING) {
    const DWORD wait = WaitForSingleObject(event, timeoutMs);
    if (wait == WAIT_OBJECT_0) {
      if (GetOverlappedResult(file, &overlapped, &transferred, FALSE)) {
        result = HidReadResult::kOk;
      }
    } else {
      // Cancel the read and wait until the system is done with it: the caller's buffer and the
      // OVERLAPPED block on this stack must not be written once this function has returned. A
      // report that arrived between the time-out and the cancel is delivered, not lost.
      CancelIo(file);
      if (GetOverlappedResult(file, &overlapped, &transferred, TRUE) && transferred > 0) {
        result = HidReadResult::kOk;
      } else {
        transferred = 0;
        result = wait == WAIT_TIMEOUT ? HidReadResult::kTimeout : HidReadResult::kError;
      }
    }
  }
  CloseHandle(event);
  if (result == HidReadResult::kOk) bytesRead = transferred;
  return result;
}

}  // namespace qv
