#include "softkbd/win32/key_pad_requests_win32.h"

#include <system_error>

#include "common/win32/sent_message_wait.h"
#include "device/device_commands.h"

namespace qv {

KeyPadRequests::KeyPadRequests(HWND window, DeviceContext* device, DeviceLink* link)
    : window_(window), device_(device), link_(link) {
  if (!device_ || !link_) return;
  try {
    thread_ = std::thread(&KeyPadRequests::Serve, this);
  } catch (const std::system_error&) {
    // Without the thread no question is answered: the page is not followed and no right-click
    // menu opens, as when the key pad does not answer.
  }
}

KeyPadRequests::~KeyPadRequests() {
  std::deque<Request> dropped;
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
    dropped.swap(requests_);
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  // A thread waiting for a dropped exchange runs it itself.
  for (const Request& request : dropped) {
    if (request.pending) SetEvent(request.pending->done.get());
  }
}

std::shared_ptr<KeyPadRequests::PendingExchange> KeyPadRequests::Submit(
    const std::function<bool()>& exchange) {
  auto pending = std::make_shared<PendingExchange>();
  pending->exchange = &exchange;
  pending->done.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!pending->done) return nullptr;
  std::lock_guard lock(mutex_);
  if (ending_ || !thread_.joinable()) return nullptr;
  requests_.push_back({Kind::kExchange, 0, pending});
  changed_.notify_all();
  return pending;
}

bool KeyPadRequests::RunExchange(KeyPadRequests* requests, const std::function<bool()>& exchange) {
  const std::shared_ptr<PendingExchange> pending = requests ? requests->Submit(exchange) : nullptr;
  if (!pending) return exchange();
  const HANDLE done = pending->done.get();
  WaitHandlingSentMessages(&done, 1, INFINITE);
  // The event is set after the requests' thread wrote the result, or by the requests' end.
  return pending->ran ? pending->result : exchange();
}

void KeyPadRequests::Add(Request request) {
  {
    std::lock_guard lock(mutex_);
    if (ending_ || !thread_.joinable()) return;
    requests_.push_back(request);
  }
  changed_.notify_all();
}

void KeyPadRequests::Serve() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return ending_ || !requests_.empty(); });
    if (ending_) return;
    const Request request = requests_.front();
    requests_.pop_front();
    lock.unlock();
    Run(request);
    lock.lock();
  }
}

void KeyPadRequests::Run(const Request& request) {
  DeviceInfo answer{};
  switch (request.kind) {
    case Kind::kActivePage: {
      const bool read = ReadActivePage(*device_, *link_, answer);
      PostMessageW(window_, kActivePageAnswerMessage, read ? 1 : 0, answer[0]);
      break;
    }
    case Kind::kStatus: {
      const bool read = ReadDeviceInfo(*device_, *link_, answer);
      PostMessageW(window_, kStatusAnswerMessage, read ? 1 : 0, answer[0]);
      break;
    }
    case Kind::kSelectPage:
      qv::SelectPage(*device_, *link_, request.page);
      break;
    case Kind::kExchange:
      request.pending->result = (*request.pending->exchange)();
      request.pending->ran = true;
      SetEvent(request.pending->done.get());
      break;
  }
}

}  // namespace qv
