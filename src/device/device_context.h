// The state the device link keeps for the whole process: the HID system it talks through, the
// framed transport's reassembly state and the lock that serialises every key pad exchange.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "device/hid_port.h"

namespace qv {

// Bytes of the reassembly buffer: report id, command, length and up to 77 payload bytes.
inline constexpr std::size_t kAssemblyBytes = 80;
// Wait for each input packet of a framed reply.
inline constexpr std::uint32_t kFramedTimeoutMs = 5000;

// Reassembly state of the framed transport; one set for the whole process.
struct FramedState {
  std::uint8_t assembly[kAssemblyBytes] = {};
  std::size_t assembledLength = 0;
  std::uint8_t lastSequence = 0;
  int remainingPayload = 0;
};

// One instance per program (tests create their own). Every exchange with a key pad, over either
// transport, holds `exchangeMutex` from the request until its reply has been read, so the main
// thread and the soft keyboard threads never interleave their packets.
struct DeviceContext {
  explicit DeviceContext(HidSystem& system) : hid(system) {}
  DeviceContext(const DeviceContext&) = delete;
  DeviceContext& operator=(const DeviceContext&) = delete;

  HidSystem& hid;
  FramedState framed;
  std::mutex exchangeMutex;
  std::uint32_t framedTimeoutMs = kFramedTimeoutMs;
};

}  // namespace qv
