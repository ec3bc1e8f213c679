// The key pad exchanges of one soft keyboard, done on a thread of their own: the window's thread
// asks (the active page every 200 ms, the status before a right-click menu, a page selected on a
// tab) and goes on pumping messages; each answer comes back to the window as a posted message.
// A menu command's exchanges go the same way, with the window's thread waiting for each while it
// answers what other threads send it.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "common/win32/owned.h"
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

  void AskActivePage() { Add({Kind::kActivePage, 0, nullptr}); }
  void AskStatus() { Add({Kind::kStatus, 0, nullptr}); }
  void SelectPage(int pageNumber) { Add({Kind::kSelectPage, pageNumber, nullptr}); }

  // Runs `exchange` on the requests' thread and returns its result, waiting for it while this
  // thread handles the messages other threads send it. A window closed by such a message ends
  // its requests meanwhile; the exchange then runs here, as it does without `requests` or when
  // their thread could not start.
  static bool RunExchange(KeyPadRequests* requests, const std::function<bool()>& exchange);

 private:
  enum class Kind { kActivePage, kStatus, kSelectPage, kExchange };
  // One exchange a thread waits for; shared, since the requests may end before the wait does.
  struct PendingExchange {
    const std::function<bool()>* exchange = nullptr;
    OwnedHandle done;  // set once the exchange ran or was dropped
    bool result = false;
    bool ran = false;
  };
  struct Request {
    Kind kind;
    int page;
    std::shared_ptr<PendingExchange> pending;
  };
  std::shared_ptr<PendingExchange> Submit(const std::function<bool()>& exchange);
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
