// An exchange pass: one unattended run of key pad exchanges on the main thread (a connect scan, a
// rescan, a presence check). A switched-off Bluetooth LE key pad stays among the system's HID
// devices and lets every request wait out its full time-out; within one pass, once a framed key
// pad's request has timed out, its later requests fail at once, as they would have failed after
// their own time-out. The key pad is known by its device interface path, so the memory never
// passes to another key pad, and it is forgotten when the pass ends: a key pad that is switched
// on again raises a keyboard change of its own and the next pass asks it as before.
//
// While a pass is open, the memory holds for every thread's exchanges: a soft keyboard thread's
// request to the same silent key pad fails at once too (it would fail after its time-out anyway,
// and meanwhile it would hold the exchange lock and with it the main thread's pass). Requests to
// any other key pad are never refused, and outside a pass nothing is.
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "device/device_context.h"
#include "device/device_link.h"

namespace qv {

// Opens a pass for the scope's lifetime. A scope opened on the thread that owns the open pass
// joins it; the memory is cleared when the outermost scope ends. A scope opened on another thread
// while a pass is open neither joins nor ends it.
class ExchangePass {
 public:
  explicit ExchangePass(DeviceContext& context);
  ~ExchangePass();
  ExchangePass(const ExchangePass&) = delete;
  ExchangePass& operator=(const ExchangePass&) = delete;

 private:
  DeviceContext& context_;
  std::uint64_t pass_ = 0;  // the pass this scope belongs to; 0: none
};

// Puts the owner's open pass aside while the user acts inside it (the connection-time password
// prompt): the exchanges the user starts there always get the key pad's real answer, a presence
// check run from the prompt's modal loop is a pass of its own, and a time-out there is not
// remembered. When the scope ends, the pass and its memory are back. Does nothing on a thread
// that does not own the open pass.
class ExchangePassPause {
 public:
  explicit ExchangePassPause(DeviceContext& context);
  ~ExchangePassPause();
  ExchangePassPause(const ExchangePassPause&) = delete;
  ExchangePassPause& operator=(const ExchangePassPause&) = delete;

 private:
  DeviceContext& context_;
  bool paused_ = false;
  std::uint64_t pass_ = 0;
  std::thread::id owner_;
  int depth_ = 0;
  std::vector<std::u16string> silentPaths_;
};

// What Exchange learns from the open pass before a framed request.
struct PassVerdict {
  std::uint64_t pass = 0;  // the open pass, 0: none
  bool silent = false;     // it has seen this link's key pad time out: refuse the request
};

// The caller holds the exchange lock.
PassVerdict CheckExchangePass(DeviceContext& context, const DeviceLink& link);

// Remembers the link's key pad as silent, if `pass` is still the open pass (a request that began
// before a pass opened, or during a pause, leaves no memory). The caller holds the exchange lock.
void NoteTimedOut(DeviceContext& context, const DeviceLink& link, std::uint64_t pass);

}  // namespace qv
