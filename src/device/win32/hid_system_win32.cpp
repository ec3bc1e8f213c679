#include "device/win32/hid_system_win32.h"

#include <windows.h>

#include <setupapi.h>

#include <climits>
#include <cstddef>
#include <utility>

#include "common/bounded_text.h"
#include "common/win32/owned_hid.h"

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

OwnedPreparsedData PreparsedDataOf(HANDLE handle) {
  OwnedPreparsedData data;
  if (!HidD_GetPreparsedData(handle, data.put())) data.release();
  return data;
}

enum class IoOutcome { kDone, kTimeout, kError };

// Waits for `event` at most timeoutMs, in short slices so that an AbortWaits from another thread
// ends the wait soon: WAIT_TIMEOUT then, as for a wait that ran out.
DWORD WaitBounded(HANDLE event, std::uint32_t timeoutMs,
                  const std::atomic<std::uint32_t>& abortGeneration, std::uint32_t generation) {
  constexpr DWORD kSliceMs = 50;
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
    const DWORD wait = WaitForSingleObject(event, left < kSliceMs ? left : kSliceMs);
    if (wait != WAIT_TIMEOUT) return wait;
    if (left <= kSliceMs || abortGeneration.load() != generation) return WAIT_TIMEOUT;
  }
}

// Runs one overlapped read or write, started by `start` with the OVERLAPPED block it is given,
// and waits at most timeoutMs for it. One that has not completed by then is cancelled and its end
// waited for: the caller's buffer and the OVERLAPPED block on this stack must not be touched by
// the system once this function has returned. An operation that completed while it was being
// cancelled counts as done with what it transferred. The wait also ends, as a time-out, once
// `abortGeneration` moves on (AbortWaits).
template <typename Start>
IoOutcome RunBounded(HANDLE file, HANDLE event, std::uint32_t timeoutMs,
                     const std::atomic<std::uint32_t>& abortGeneration, Start start,
                     DWORD& transferred) {
  transferred = 0;
  ResetEvent(event);
  OVERLAPPED overlapped{};
  overlapped.hEvent = event;
  const std::uint32_t generation = abortGeneration.load();
  if (!start(&overlapped)) {
    if (GetLastError() != ERROR_IO_PENDING) return IoOutcome::kError;
    const DWORD wait = WaitBounded(event, timeoutMs, abortGeneration, generation);
    if (wait != WAIT_OBJECT_0) {
      CancelIo(file);
      if (GetOverlappedResult(file, &overlapped, &transferred, TRUE) && transferred > 0)
        return IoOutcome::kDone;
      transferred = 0;
      return wait == WAIT_TIMEOUT ? IoOutcome::kTimeout : IoOutcome::kError;
    }
  }
  // Completed at once, or its event was signalled.
  if (!GetOverlappedResult(file, &overlapped, &transferred, FALSE)) {
    transferred = 0;
    return IoOutcome::kError;
  }
  return IoOutcome::kDone;
}

}  // namespace

bool Win32HidSystem::EnumeratePaths(std::vector<std::u16string>& paths) {
  paths.clear();
  GUID hidGuid;
  HidD_GetHidGuid(&hidGuid);
  const OwnedDeviceInfoList devices(
      SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (!devices) return false;

  constexpr DWORD kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof(interfaceData);
    if (!SetupDiEnumDeviceInterfaces(devices.get(), nullptr, &hidGuid, index, &interfaceData))
      break;

    // The first call only reports the size the detail needs.
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailW(devices.get(), &interfaceData, nullptr, 0, &required, nullptr);
    if (required < kPathOffset + sizeof(WCHAR)) continue;
    const OwnedHeapBlock block(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, required));
    if (!block) continue;
    auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(block.get());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!SetupDiGetDeviceInterfaceDetailW(devices.get(), &interfaceData, detail, required, nullptr,
                                          nullptr))
      continue;
    // Never read past the block the system filled, even if its text were unterminated.
    const std::size_t maxChars = (required - kPathOffset) / sizeof(WCHAR);
    const std::u16string_view devicePath =
        BoundedView(reinterpret_cast<const char16_t*>(detail->DevicePath), maxChars);
    char16_t path[kPathChars];
    BoundedCopy(path, devicePath);
    paths.emplace_back(BoundedView(path));
  }
  return true;
}

HidHandle Win32HidSystem::Open(std::u16string_view path, bool overlapped) {
  // An empty path or one with an embedded terminator would name some other file.
  if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return kInvalidHidHandle;
  char16_t terminated[kPathChars];
  BoundedCopy(terminated, path);
  OwnedFile file(CreateFileW(reinterpret_cast<const wchar_t*>(terminated),
                             GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING,
                             overlapped ? FILE_FLAG_OVERLAPPED : FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file || file.get() == nullptr) return kInvalidHidHandle;
  const auto handle = reinterpret_cast<HidHandle>(file.get());
  if (overlapped) {
    // Manual reset: each operation resets it before it starts.
    OwnedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) return kInvalidHidHandle;  // without it no read or write could time out
    std::lock_guard<std::mutex> lock(eventsMutex_);
    events_[handle] = std::move(event);
  }
  file.release();
  return handle;
}

void Win32HidSystem::Close(HidHandle handle) {
  if (!IsOpen(handle)) return;
  // The event leaves the map before the handle is closed: once closed, its value may come back
  // at once from an Open on another thread, with an event of its own.
  OwnedHandle event;
  {
    std::lock_guard<std::mutex> lock(eventsMutex_);
    auto found = events_.find(handle);
    if (found != events_.end()) {
      event = std::move(found->second);
      events_.erase(found);
    }
  }
  OwnedFile file(ToHandle(handle));
}

HANDLE Win32HidSystem::EventOf(HidHandle handle) {
  std::lock_guard<std::mutex> lock(eventsMutex_);
  auto found = events_.find(handle);
  return found == events_.end() ? nullptr : found->second.get();
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
  const OwnedPreparsedData preparsed = PreparsedDataOf(ToHandle(handle));
  if (!preparsed) return false;
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
  const OwnedPreparsedData preparsed = PreparsedDataOf(ToHandle(handle));
  if (!preparsed) return false;
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

bool Win32HidSystem::WriteOutput(HidHandle handle, const std::uint8_t* report, std::size_t length,
                                 std::uint32_t timeoutMs) {
  if (!IsOpen(handle) || !IsUsableBuffer(report, length)) return false;
  HANDLE file = ToHandle(handle);
  const DWORD size = static_cast<DWORD>(length);
  DWORD written = 0;
  HANDLE event = EventOf(handle);
  if (event == nullptr) {
    // A synchronous handle: WriteFile returns once the system is done with the report.
    return WriteFile(file, report, size, &written, nullptr) && written == length;
  }
  const IoOutcome outcome = RunBounded(
      file, event, timeoutMs, abortGeneration_,
      [&](OVERLAPPED* overlapped) { return WriteFile(file, report, size, nullptr, overlapped); },
      written);
  return outcome == IoOutcome::kDone && written == length;
}

HidReadResult Win32HidSystem::ReadInput(HidHandle handle, std::uint8_t* report, std::size_t length,
                                        std::uint32_t timeoutMs, std::size_t& bytesRead) {
  bytesRead = 0;
  if (!IsOpen(handle) || !IsUsableBuffer(report, length)) return HidReadResult::kError;
  HANDLE file = ToHandle(handle);
  HANDLE event = EventOf(handle);
  if (event == nullptr) return HidReadResult::kError;  // not opened overlapped: could not time out
  DWORD transferred = 0;
  const IoOutcome outcome = RunBounded(
      file, event, timeoutMs, abortGeneration_,
      [&](OVERLAPPED* overlapped) {
        return ReadFile(file, report, static_cast<DWORD>(length), nullptr, overlapped);
      },
      transferred);
  // A report that arrived between the time-out and the cancel is delivered, not lost.
  if (outcome == IoOutcome::kDone) {
    bytesRead = transferred;
    return HidReadResult::kOk;
  }
  return outcome == IoOutcome::kTimeout ? HidReadResult::kTimeout : HidReadResult::kError;
}

void Win32HidSystem::AbortWaits() {
  ++abortGeneration_;
}

}  // namespace qv
