// The HID port over a browser's WebHID interface. Every collection of every device the user has
// granted the page is one path, "webhid:D/C" (device D, collection C), as the system gives one
// device interface per collection. The calls that wait for the device (open, feature reports,
// output reports, input reports) suspend the WebAssembly code until the browser's promise settles
// (Asyncify), bounded by the same time-outs as the program's overlapped calls; the page's script
// (webhid_port.js, reached as Module.webHid) does the WebHID calls.
#pragma once

#include "device/hid_port.h"

namespace qv {

class WebHidSystem : public HidSystem {
 public:
  bool EnumeratePaths(std::vector<std::u16string>& paths) override;
  HidHandle Open(std::u16string_view path, bool overlapped) override;
  void Close(HidHandle handle) override;
  bool GetAttributes(HidHandle handle, HidAttributes& attributes) override;
  bool GetCaps(HidHandle handle, HidCaps& caps) override;
  bool GetFirstValueCaps(HidHandle handle, HidReportKind kind, HidValueCaps& valueCaps) override;
  bool SetFeature(HidHandle handle, const std::uint8_t* report, std::size_t length) override;
  bool GetFeature(HidHandle handle, std::uint8_t* report, std::size_t length) override;
  bool WriteOutput(HidHandle handle, const std::uint8_t* report, std::size_t length,
                   std::uint32_t timeoutMs) override;
  HidReadResult ReadInput(HidHandle handle, std::uint8_t* report, std::size_t length,
                          std::uint32_t timeoutMs, std::size_t& bytesRead) override;
};

}  // namespace qv
