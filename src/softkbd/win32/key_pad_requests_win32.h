// The key pad exchanges of one soft keyboard, done on a thread of their own: the window's thread
// asks (the active page every 200 ms, the status before a right-click menu, a page selected on a
// tab) and goes on pumping messages; each answer comes back to the window as a posted message.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "common/window_messages.h"
#include "device/device_context.h"
#include "device/device_link.h"

namespace qv {

// The answers are posted as kActivePageAnswerMessage and kStatusAnswerMessage
// (window_messages.h).

class KeyPadRequests {
 public:
  // Exchanges on `link` through `device` and posts the answers to `window`. Both outlive this
  // object: it ends its thread before it goes.
  KeyPadRequests(HWND window, DeviceContext* device, DeviceLink* link);
  // Waits for the exchange in progress (the device's own time-out bounds it); later requests
  // are dropped.
  ~KeyPadRequests();
  KeyPadRequests(const KeyPadRequests&) = delete;
  KeyPadRequests& operator=(const KeyPadRequests&) = delete;

  void AskActivePage() { Add({Kind::kActivePage, 0}); }
  void AskStatus() { Add({Kind::kStatus, 0}); }
  void SelectPage(int pageNumber) { Add({Kind::kSelectPage, pageNumber}); }

 private:
  enum class Kind { kActivePage, kStatus, kSelectPage };
  struct Request {
    Kind kind;
    int page;
  };
  void Add(Request request);
  void Serve();
  void Run(const Request& request);

  HWND window_;
  DeviceContext* device_;
  DeviceLink* link_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Request> requests_;
  bool ending_ = false;
  std::thread thread_;
};

}  // namespace qv
