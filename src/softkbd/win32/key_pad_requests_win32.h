// The key pad exchanges of one soft keyboard, done on a thread of their own: the window's thread
// asks (the active page every 200 ms, the status before a right-click menu, a page selected on a
// tab, the exchanges of a menu command) and goes on pumping messages; each answer comes back to
// the window as a posted message. The window's thread never waits for a key pad.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "common/window_messages.h"
#include "device/device_context.h"
#include "device/device_link.h"
#include "softkbd/soft_key_commands.h"

namespace qv {

// The answers are posted as kActivePageAnswerMessage, kStatusAnswerMessage and
// kCommandAnswerMessage (window_messages.h).

class KeyPadRequests {
 public:
  // How long the end waits for the exchange in progress and a command's exchanges still queued.
  static constexpr DWORD kEndWaitMs = 3000;

  // Exchanges on `link` through `device` and posts the answers to `window`. The device and the
  // link outlive every soft keyboard.
  KeyPadRequests(HWND window, DeviceContext* device, DeviceLink* link);
  // Drops the questions still queued, lets the exchange in progress and a command's queued
  // exchanges (a resume of the key pad) finish, and waits for that at most kEndWaitMs. A thread
  // that has not ended by then finishes them by itself: it keeps its own share of what it works
  // with, and its answers go to a window that no longer exists.
  ~KeyPadRequests();
  KeyPadRequests(const KeyPadRequests&) = delete;
  KeyPadRequests& operator=(const KeyPadRequests&) = delete;

  void AskActivePage() { Add({Kind::kActivePage, 0, nullptr}); }
  void AskStatus() { Add({Kind::kStatus, 0, nullptr}); }
  void SelectPage(int pageNumber) { Add({Kind::kSelectPage, pageNumber, nullptr}); }
  // Queues one exchange of a menu command; its answer comes as kCommandAnswerMessage (wParam:
  // answered, lParam: the status byte). False when it could not be queued: no thread, or the
  // requests are ending.
  bool StartCommandExchange(KeyPadExchange exchange);

 private:
  enum class Kind { kActivePage, kStatus, kSelectPage, kCommand };
  struct Request {
    Kind kind;
    int page;
    KeyPadExchange exchange;
  };
  // What the thread works with; shared, since the thread may outlive this object.
  struct Shared {
    HWND window = nullptr;
    DeviceContext* device = nullptr;
    DeviceLink* link = nullptr;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Request> requests;
    bool running = false;  // the thread was started and has not finished
    bool ending = false;
  };
  bool Add(Request request);
  static void Serve(const std::shared_ptr<Shared>& shared);
  static void Run(const Shared& shared, const Request& request);

  std::shared_ptr<Shared> shared_;
};

}  // namespace qv
