#include "softkbd/win32/key_pad_requests_win32.h"

#include <system_error>

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
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
    requests_.clear();
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
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
  }
}

}  // namespace qv
