#include "softkbd/win32/key_pad_requests_win32.h"

#include <chrono>
#include <new>
#include <system_error>
#include <thread>

#include "device/device_commands.h"

namespace qv {

KeyPadRequests::KeyPadRequests(HWND window, DeviceContext* device, DeviceLink* link) {
  try {
    shared_ = std::make_shared<Shared>();
    shared_->window = window;
    shared_->device = device;
    shared_->link = link;
    if (!device || !link) return;
    shared_->running = true;
    std::thread(Serve, shared_).detach();
  } catch (const std::system_error&) {
    // Without the thread no question is answered: the page is not followed, no right-click menu
    // opens and a menu command ends as if the key pad did not answer.
    if (shared_) shared_->running = false;
  } catch (const std::bad_alloc&) {
    if (shared_) shared_->running = false;
  }
}

KeyPadRequests::~KeyPadRequests() {
  if (!shared_) return;
  std::unique_lock lock(shared_->mutex);
  shared_->ending = true;
  shared_->changed.notify_all();
  shared_->changed.wait_for(lock, std::chrono::milliseconds(kEndWaitMs),
                            [&] { return !shared_->running; });
}

bool KeyPadRequests::StartCommandExchange(KeyPadExchange exchange) {
  return Add({Kind::kCommand, 0, std::move(exchange)});
}

bool KeyPadRequests::Add(Request request) {
  if (!shared_) return false;
  try {
    std::lock_guard lock(shared_->mutex);
    if (shared_->ending || !shared_->running) return false;
    shared_->requests.push_back(std::move(request));
  } catch (const std::bad_alloc&) {
    return false;  // not asked: as if the key pad did not answer
  }
  shared_->changed.notify_all();
  return true;
}

void KeyPadRequests::Serve(const std::shared_ptr<Shared>& shared) {
  std::unique_lock lock(shared->mutex);
  for (;;) {
    shared->changed.wait(lock, [&] { return shared->ending || !shared->requests.empty(); });
    if (shared->requests.empty()) break;  // ending, and nothing is left
    const Request request = std::move(shared->requests.front());
    shared->requests.pop_front();
    // Once the window goes, only a command's exchanges are still done: they resume the key pad.
    if (shared->ending && request.kind != Kind::kCommand) continue;
    lock.unlock();
    Run(*shared, request);
    lock.lock();
  }
  shared->running = false;
  shared->changed.notify_all();
}

void KeyPadRequests::Run(const Shared& shared, const Request& request) {
  DeviceInfo answer{};
  switch (request.kind) {
    case Kind::kActivePage: {
      const bool read = ReadActivePage(*shared.device, *shared.link, answer);
      PostMessageW(shared.window, kActivePageAnswerMessage, read ? 1 : 0, answer[0]);
      break;
    }
    case Kind::kStatus: {
      const bool read = ReadDeviceInfo(*shared.device, *shared.link, answer);
      PostMessageW(shared.window, kStatusAnswerMessage, read ? 1 : 0, answer[0]);
      break;
    }
    case Kind::kSelectPage:
      qv::SelectPage(*shared.device, *shared.link, request.page);
      break;
    case Kind::kCommand: {
      const ExchangeAnswer result = request.exchange();
      PostMessageW(shared.window, kCommandAnswerMessage, result.answered ? 1 : 0, result.status);
      break;
    }
  }
}

}  // namespace qv
