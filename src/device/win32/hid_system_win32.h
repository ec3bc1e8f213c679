// The HID system of a Windows PC: device interfaces listed by the setup API, collections opened
// as files, attributes, capabilities and reports through hid.dll.
#pragma once

#include "device/hid_port.h"

namespace qv {

class Win32HidSystem : public HidSystem {
 public:
  bool EnumeratePaths(std::vector<std::u16string>& paths) override;

  HidHandle Open(std::u16string_view path, bool overlapped) override;
  void Close(HidHandle handle) override;

  bool GetAttributes(HidHandle handle, HidAttributes& attributes) override;
  bool GetCaps(HidHandle handle, HidCaps& caps) override;
  bool GetFirstValueCaps(HidHandle handle, HidReportKind kind, HidValueCaps& valueCaps) override;

  bool SetFeature(HidHandle handle, const std::uint8_t* report, std::size_t length) override;
  bool GetFeature(HidHandle handle, std::uint8_t* report, std::size_t length) override;

  bool WriteOutput(HidHandle handle, const std::uint8_t* report, std::size_t length) override;

  // `handle` must come from Open(path, true): the read is overlapped so that it can time out.
  HidReadResult ReadInput(HidHandle handle, std::uint8_t* report, std::size_t length,
                          std::uint32_t timeoutMs, std::size_t& bytesRead) override;
};

}  // namespace qv
