// A password held by the tool: a fixed buffer that is wiped when it is replaced or goes away, so
// a password read from a file or typed on the console does not linger in memory after use.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "common/secure_zero.h"

namespace qv {

class SecretText {
 public:
  // Longest text kept; the password prompt uses at most 39 characters of what was typed.
  static constexpr std::size_t kMaxChars = 63;

  SecretText() = default;
  SecretText(const SecretText&) = delete;
  SecretText& operator=(const SecretText&) = delete;
  ~SecretText() { Wipe(); }

  void Assign(std::u16string_view text) {
    Wipe();
    length_ = std::min(text.size(), kMaxChars);
    std::copy_n(text.begin(), length_, text_);
  }
  void Wipe() {
    SecureZero(text_, sizeof text_);
    length_ = 0;
  }
  // Where a console reads into directly; SetLength tells how much it wrote.
  char16_t* buffer() { return text_; }
  static constexpr std::size_t capacity() { return kMaxChars; }
  void SetLength(std::size_t length) { length_ = std::min(length, kMaxChars); }

  bool empty() const { return length_ == 0; }
  std::u16string_view view() const { return std::u16string_view(text_, length_); }

 private:
  char16_t text_[kMaxChars + 1] = {};
  std::size_t length_ = 0;
};

}  // namespace qv
