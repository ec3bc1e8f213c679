// What the HID class driver and the setup API give the program: the present HID device
// interfaces, their attributes and capabilities, feature reports and input/output reports.
// The Win32 build implements it over SetupAPI and hid.dll; the key pad emulator implements it for
// tests and the demo program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// An opened HID collection. kInvalidHidHandle stands for "closed".
using HidHandle = std::intptr_t;
inline constexpr HidHandle kInvalidHidHandle = -1;

struct HidAttributes {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint16_t versionNumber = 0;
};

// The capabilities the program uses (the fields of HIDP_CAPS of the same names).
struct HidCaps {
  std::uint16_t usage = 0;
  std::uint16_t usagePage = 0;
  std::uint16_t inputReportByteLength = 0;
  std::uint16_t outputReportByteLength = 0;
  std::uint16_t featureReportByteLength = 0;
};

// The first value capability of a report kind; its report id starts every request.
struct HidValueCaps {
  std::uint16_t usagePage = 0;
  std::uint8_t reportId = 0;
};

enum class HidReportKind { kFeature, kOutput };

enum class HidReadResult { kOk, kTimeout, kError };

class HidSystem {
 public:
  virtual ~HidSystem() = default;

  // Device interface paths of the present HID collections, in the system's enumeration order.
  // False when the device list cannot be obtained.
  virtual bool EnumeratePaths(std::vector<std::u16string>& paths) = 0;

  // Opens a collection for reading and writing, shared; `overlapped` opens it for reads and
  // writes with a time-out (ReadInput, WriteOutput). Returns kInvalidHidHandle on failure.
  virtual HidHandle Open(std::u16string_view path, bool overlapped) = 0;
  // Closes a handle; kInvalidHidHandle is ignored.
  virtual void Close(HidHandle handle) = 0;

  virtual bool GetAttributes(HidHandle handle, HidAttributes& attributes) = 0;
  virtual bool GetCaps(HidHandle handle, HidCaps& caps) = 0;
  // First value capability of the feature or the output reports; false when there is none.
  virtual bool GetFirstValueCaps(HidHandle handle, HidReportKind kind, HidValueCaps& valueCaps) = 0;

  // Feature reports of `length` bytes, byte 0 the report id.
  virtual bool SetFeature(HidHandle handle, const std::uint8_t* report, std::size_t length) = 0;
  virtual bool GetFeature(HidHandle handle, std::uint8_t* report, std::size_t length) = 0;

  // Writes one output report. On an overlapped handle the write waits at most timeoutMs; one
  // that has not completed by then is cancelled and its end waited for before this returns
  // false, so `report` is never read afterwards. (A handle opened without `overlapped` writes
  // synchronously and unbounded.)
  virtual bool WriteOutput(HidHandle handle, const std::uint8_t* report, std::size_t length,
                           std::uint32_t timeoutMs) = 0;

  // Reads one input report on an overlapped handle, waiting at most timeoutMs. On a time-out the
  // pending read is cancelled and its completion waited for before this returns, so `report` is
  // never written afterwards. `bytesRead` tells how many bytes the completed read delivered.
  virtual HidReadResult ReadInput(HidHandle handle, std::uint8_t* report, std::size_t length,
                                  std::uint32_t timeoutMs, std::size_t& bytesRead) = 0;

  // Ends, as time-outs, the waits of the reads and writes that are under way on any thread now;
  // those started afterwards wait as usual. The program's end calls it so that an exchange with a
  // key pad that stopped answering does not hold the end up for its whole time-out.
  virtual void AbortWaits() {}
};

}  // namespace qv
