// The state the device link keeps for the whole process: the HID system it talks through, the
// framed transport's reassembly state and the lock that serialises every key pad exchange.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

// The exchange pass that is open (exchange_pass.h): which thread opened it and the device
// interface paths of the framed key pads whose request timed out in it. Guarded by its own mutex,
// which an exchange takes while it holds exchangeMutex, and which is never held around an
// exchange: opening or closing a pass does not wait for another thread's exchange.
struct ExchangePassState {
  std::mutex mutex;
  std::uint64_t openPass = 0;  // 0: no pass is open
  std::uint64_t lastPass = 0;  // the last pass number given out
  std::thread::id owner;
  int depth = 0;  // the owner's scopes open in this pass
  std::vector<std::u16string> silentPaths;
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
  // Shortened by the main thread at the end of the session while other threads' exchanges read it.
  std::atomic<std::uint32_t> framedTimeoutMs{kFramedTimeoutMs};
  ExchangePassState pass;
};

}  // namespace qv
