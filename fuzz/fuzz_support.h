// Shared by the fuzz targets: a reader over the fuzzer's bytes, a HID system whose key pad
// answers with whatever those bytes say, and an independent model of framed reply reassembly
// that the targets compare the program's results with.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_link.h"
#include "device/hid_port.h"
#include "device/report_transport.h"

namespace qv::fuzz {

// Stops the run with a message; libFuzzer records the input as a crash.
[[noreturn]] inline void Fault(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

inline void Check(bool condition, const char* what) {
  if (!condition) Fault(what);
}

// Consumes the fuzzer's bytes front to back; reads past the end give zeros.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool empty() const { return position_ >= size_; }
  std::uint8_t Byte() { return empty() ? 0 : data_[position_++]; }
  bool Bool() { return (Byte() & 1) != 0; }
  void Fill(std::uint8_t* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out[i] = Byte();
  }
  // What is left, as UTF-16 code units (little-endian pairs).
  std::u16string RestAsUtf16() {
    std::u16string text;
    while (position_ + 1 < size_) {
      text.push_back(static_cast<char16_t>(data_[position_] | (data_[position_ + 1] << 8)));
      position_ += 2;
    }
    position_ = size_;
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

constexpr std::size_t kPacketBytes = kFramedReportLength;
using Packet = std::array<std::uint8_t, kPacketBytes>;

// One ReadInput as the key pad side answered it.
struct InputRead {
  HidReadResult result = HidReadResult::kTimeout;
  std::size_t bytesRead = 0;
  Packet packet{};
};

// A HID system with one key pad collection (path u"\\\\?\\hid#scripted") whose every answer comes
// from the fuzzer's bytes: whether a report call succeeds, the feature reply, and each input
// packet (or a time-out, an error, a short read). Out of bytes, reads time out. It checks what
// the program hands it: report lengths, open handles, reads only on open overlapped handles.
class ScriptedHidSystem : public HidSystem {
 public:
  static constexpr char16_t kPath[] = u"\\\\?\\hid#scripted";

  ScriptedHidSystem(FuzzInput& input, HidCaps caps, HidAttributes attributes)
      : input_(input), caps_(caps), attributes_(attributes) {}

  // Every input read since the last output report or feature request, in order.
  std::vector<InputRead> reads;
  // The feature reply of the last GetFeature (its bytes as written to the caller), if any.
  std::vector<std::uint8_t> lastFeatureReply;
  std::vector<std::vector<std::uint8_t>> outputReports;
  std::vector<std::vector<std::uint8_t>> featureRequests;
  bool lastSetFeatureOk = false;
  bool writeFailed = false;  // an output report was refused since the last ClearLogs

  std::size_t OpenCount() const { return open_.size(); }
  void ClearLogs() {
    reads.clear();
    lastFeatureReply.clear();
    outputReports.clear();
    featureRequests.clear();
    lastSetFeatureOk = false;
    writeFailed = false;
  }

  bool EnumeratePaths(std::vector<std::u16string>& paths) override {
    paths.assign(1, std::u16string(kPath));
    return true;
  }
  HidHandle Open(std::u16string_view path, bool overlapped) override {
    if (path != kPath) return kInvalidHidHandle;
    const HidHandle handle = next_++;
    open_.insert(handle);
    if (overlapped) overlapped_.insert(handle);
    return handle;
  }
  void Close(HidHandle handle) override {
    if (handle == kInvalidHidHandle) return;
    Check(open_.erase(handle) == 1, "a handle was closed twice or never opened");
    overlapped_.erase(handle);
  }
  bool GetAttributes(HidHandle handle, HidAttributes& attributes) override {
    Check(open_.count(handle) == 1, "attributes of a closed handle");
    attributes = attributes_;
    return true;
  }
  bool GetCaps(HidHandle handle, HidCaps& caps) override {
    Check(open_.count(handle) == 1, "capabilities of a closed handle");
    caps = caps_;
    return true;
  }
  bool GetFirstValueCaps(HidHandle, HidReportKind kind, HidValueCaps& valueCaps) override {
    const bool present = kind == HidReportKind::kFeature ? caps_.featureReportByteLength != 0
                                                         : caps_.outputReportByteLength != 0;
    if (present) valueCaps = HidValueCaps{caps_.usagePage, reportId};
    return present;
  }
  bool SetFeature(HidHandle handle, const std::uint8_t* report, std::size_t length) override {
    Check(open_.count(handle) == 1 && overlapped_.count(handle) == 0,
          "feature report on a handle that is not the open command handle");
    Check(length == caps_.featureReportByteLength, "feature report of the wrong length");
    reads.clear();
    lastFeatureReply.clear();
    featureRequests.emplace_back(report, report + length);
    lastSetFeatureOk = (input_.Byte() & 0x0F) != 0;
    return lastSetFeatureOk;
  }
  bool GetFeature(HidHandle handle, std::uint8_t* report, std::size_t length) override {
    Check(open_.count(handle) == 1, "feature reply on a closed handle");
    Check(length == caps_.featureReportByteLength, "feature reply of the wrong length");
    if ((input_.Byte() & 0x0F) == 0) return false;
    input_.Fill(report, length);
    lastFeatureReply.assign(report, report + length);
    return true;
  }
  bool WriteOutput(HidHandle handle, const std::uint8_t* report, std::size_t length,
                   std::uint32_t timeoutMs) override {
    // Framed requests go out on the overlapped handle, where the write can be bounded.
    Check(overlapped_.count(handle) == 1,
          "output report on a handle not open for overlapped writes");
    Check(timeoutMs != 0, "output report without time to complete");
    Check(length == kPacketBytes, "output report that is not 17 bytes");
    reads.clear();
    outputReports.emplace_back(report, report + length);
    const bool written = (input_.Byte() & 0x1F) != 0;
    if (!written) writeFailed = true;
    return written;
  }
  HidReadResult ReadInput(HidHandle handle, std::uint8_t* report, std::size_t length, std::uint32_t,
                          std::size_t& bytesRead) override {
    Check(overlapped_.count(handle) == 1, "input read on a handle not open for overlapped reads");
    bytesRead = 0;
    InputRead read;
    // Out of bytes, every read times out.
    const std::uint8_t mode = input_.empty() ? 0 : input_.Byte() % 16;
    switch (mode) {
      case 0:
        read.result = HidReadResult::kTimeout;
        break;
      case 1:
        read.result = HidReadResult::kError;
        break;
      case 2:  // a read that completed short
        read.result = HidReadResult::kOk;
        read.bytesRead = std::min<std::size_t>(input_.Byte() % kPacketBytes, length);
        input_.Fill(read.packet.data(), read.bytesRead);
        break;
      case 3:
      case 4:
      case 5:
      case 6:  // the next packet of a sequence: only the sequence number is not the fuzzer's
        read.result = HidReadResult::kOk;
        read.bytesRead = std::min(kPacketBytes, length);
        input_.Fill(read.packet.data(), kPacketBytes);
        read.packet[2] = static_cast<std::uint8_t>(lastSequence_ + 1);
        break;
      default:  // any 17 bytes
        read.result = HidReadResult::kOk;
        read.bytesRead = std::min(kPacketBytes, length);
        input_.Fill(read.packet.data(), kPacketBytes);
        break;
    }
    if (read.result == HidReadResult::kOk) {
      std::memcpy(report, read.packet.data(), read.bytesRead);
      if (read.bytesRead >= 3) lastSequence_ = read.packet[2];
      bytesRead = read.bytesRead;
    }
    reads.push_back(read);
    return read.result;
  }

  std::uint8_t reportId = 0;

 private:
  FuzzInput& input_;
  HidCaps caps_;
  HidAttributes attributes_;
  HidHandle next_ = 0x10;
  std::set<HidHandle> open_;
  std::set<HidHandle> overlapped_;
  std::uint8_t lastSequence_ = 0;
};

// What ReceiveFramed must make of a series of input reads: the result, the reply bytes 0..43
// (report id, command, L, payload) and how many reads it takes. Written from the packet format:
// a first packet (bit 7 of byte 1) carries N = byte 1 & 0x7F, the command, L and 12 payload
// bytes; each further packet has byte 2 = previous + 1, byte 1 = packets still to come including
// itself, and 14 payload bytes. A reply ends at a packet whose count is 0 or 1, and takes no more
// packets than its first one announced, and never more than six.
struct ExpectedReply {
  std::uint8_t result = kFramedTimeout;
  std::array<std::uint8_t, kFramedMessageLimit> bytes{};
  std::size_t readsTaken = 0;
};

inline ExpectedReply ExpectReply(const std::vector<InputRead>& reads) {
  ExpectedReply expected;
  std::vector<std::uint8_t> message;  // report id, command, L, payload as far as it goes
  std::size_t payloadWanted = 0;
  std::size_t announced = 0;
  int sequence = -1;
  for (const InputRead& read : reads) {
    ++expected.readsTaken;
    if (read.result != HidReadResult::kOk || read.bytesRead != kPacketBytes) {
      expected.result = kFramedTimeout;
      return expected;
    }
    const Packet& p = read.packet;
    std::size_t from;
    int count;
    if (p[1] & 0x80) {
      if (sequence >= 0) {
        expected.result = kFramedSequenceError;
        return expected;
      }
      message = {p[0], p[3], p[4]};
      payloadWanted = p[4];
      // No reply fills more than the six packets the assembly buffer holds.
      announced = std::clamp<std::size_t>(p[1] & 0x7F, 1, 6);
      count = p[1] & 0x7F;
      from = 5;
    } else {
      if (sequence < 0 || p[2] != sequence + 1) {
        expected.result = kFramedSequenceError;
        return expected;
      }
      count = p[1];
      from = 3;
    }
    sequence = p[2];
    for (std::size_t i = from; i < kPacketBytes && payloadWanted > 0; ++i, --payloadWanted)
      message.push_back(p[i]);
    if (count <= 1) {
      expected.result = kFramedReceived;
      std::copy_n(message.begin(), std::min(message.size(), expected.bytes.size()),
                  expected.bytes.begin());
      return expected;
    }
    if (expected.readsTaken == announced) {
      expected.result = kFramedSequenceError;
      return expected;
    }
  }
  // The program stopped reading before the reply was decided.
  expected.readsTaken = reads.size() + 1;
  return expected;
}

}  // namespace qv::fuzz
