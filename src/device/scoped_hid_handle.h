// One opened HID handle with its owner: the handle is closed through the HID system it came from
// when the owner goes away, unless it was handed on with release().
#pragma once

#include <utility>

#include "device/hid_port.h"

namespace qv {

class ScopedHidHandle {
 public:
  ScopedHidHandle(HidSystem& system, HidHandle handle) : system_(&system), handle_(handle) {}
  ~ScopedHidHandle() { reset(); }
  ScopedHidHandle(ScopedHidHandle&& other) noexcept
      : system_(other.system_), handle_(other.release()) {}
  ScopedHidHandle& operator=(ScopedHidHandle&& other) noexcept {
    if (this != &other) {
      reset();
      system_ = other.system_;
      handle_ = other.release();
    }
    return *this;
  }
  ScopedHidHandle(const ScopedHidHandle&) = delete;
  ScopedHidHandle& operator=(const ScopedHidHandle&) = delete;

  HidHandle get() const { return handle_; }
  HidSystem& system() const { return *system_; }
  explicit operator bool() const { return handle_ != kInvalidHidHandle; }
  // Gives the handle up without closing it.
  HidHandle release() { return std::exchange(handle_, kInvalidHidHandle); }
  void reset() {
    const HidHandle old = release();
    if (old != kInvalidHidHandle) system_->Close(old);
  }

 private:
  HidSystem* system_;
  HidHandle handle_;
};

}  // namespace qv
