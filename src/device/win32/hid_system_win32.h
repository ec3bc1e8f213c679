// The HID system of a Windows PC: device interfaces listed by the setup API, collections opened
// as files, attributes, capabilities and reports through hid.dll.
#pragma once

#include <atomic>

#include <map>
#include <mutex>

#include "common/win32/owned.h"
#include "device/hid_port.h"

namespace qv {

class Win32HidSystem : public HidSystem {
 public:
  bool EnumeratePaths(std::vector<std::u16string>& paths) override;

  // An overlapped handle gets its own event for its reads and writes, made here and closed with
  // the handle.
  HidHandle Open(std::u16string_view path, bool overlapped) override;
  void Close(HidHandle handle) override;

  bool GetAttributes(HidHandle handle, HidAttributes& attributes) override;
  bool GetCaps(HidHandle handle, HidCaps& caps) override;
  bool GetFirstValueCaps(HidHandle handle, HidReportKind kind, HidValueCaps& valueCaps) override;

  bool SetFeature(HidHandle handle, const std::uint8_t* report, std::size_t length) override;
  bool GetFeature(HidHandle handle, std::uint8_t* report, std::size_t length) override;

  // On a handle from Open(path, true) the write is overlapped and bounded by timeoutMs.
  bool WriteOutput(HidHandle handle, const std::uint8_t* report, std::size_t length,
                   std::uint32_t timeoutMs) override;

  // `handle` must come from Open(path, true): the read is overlapped so that it can time out.
  HidReadResult ReadInput(HidHandle handle, std::uint8_t* report, std::size_t length,
                          std::uint32_t timeoutMs, std::size_t& bytesRead) override;

  void AbortWaits() override;

 private:
  // Counts AbortWaits calls: a wait that sees it change ends as a time-out.
  std::atomic<std::uint32_t> abortGeneration_{0};
  // The event of an overlapped handle; null for a synchronous or unknown one. A handle is never
  // closed while a read or write on it runs (the device link serialises both), so the event
  // stays valid for the caller's operation; the map itself is guarded because opens and closes
  // of different handles come from different threads.
  HANDLE EventOf(HidHandle handle);

  std::mutex eventsMutex_;
  std::map<HidHandle, OwnedHandle> events_;
};

}  // namespace qv
