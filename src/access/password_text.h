// Password texts as the key pad receives them, and the rules a new password must meet.
#pragma once

#include <cstddef>
#include <string_view>

namespace qv {

// A password travels as at most 40 bytes and a terminating zero.
inline constexpr std::size_t kPasswordByteLimit = 40;
inline constexpr std::size_t kPasswordBufferBytes = kPasswordByteLimit + 1;
// Characters read from the prompt's password field and from each registration field.
inline constexpr std::size_t kPromptPasswordChars = 39;
inline constexpr std::size_t kRegistrationPasswordChars = 63;
// Longest password the registration accepts.
inline constexpr std::size_t kRegistrationMaxChars = 20;

// The bytes of a typed password: the low byte of each UTF-16 unit, the full-width digits
// U+FF10..U+FF19 as ASCII digits, at most 40 bytes, zero-filled. The buffer is wiped when the
// object goes away, so a typed password does not linger in memory after it was sent.
class PasswordBytes {
 public:
  PasswordBytes() = default;
  explicit PasswordBytes(std::u16string_view text) { Assign(text); }
  PasswordBytes(const PasswordBytes&) = delete;
  PasswordBytes& operator=(const PasswordBytes&) = delete;
  ~PasswordBytes() { Wipe(); }

  void Assign(std::u16string_view text);
  void Wipe();
  std::size_t size() const { return length_; }
  bool empty() const { return length_ == 0; }
  // The bytes without the terminator, as the password commands take them.
  std::string_view view() const { return std::string_view(bytes_, length_); }

 private:
  char bytes_[kPasswordBufferBytes] = {};
  std::size_t length_ = 0;
};

// A full-width digit as its ASCII digit; any other unit unchanged.
constexpr char16_t NarrowDigit(char16_t unit) {
  return unit >= u'\uFF10' && unit <= u'\uFF19' ? static_cast<char16_t>(u'0' + (unit - u'\uFF10'))
                                                : unit;
}

// Why a new password is refused, in the order the registration checks it.
enum class RegistrationCheck {
  kAccepted,
  kMismatch,      // the two entries differ (after the full-width digits were narrowed)
  kTooLong,       // more than 20 characters
  kBadCharacter,  // a character other than 0-9, A-Z, a-z
};

// Checks the two entries of the registration, each cut to 63 characters and with its full-width
// digits narrowed first.
RegistrationCheck CheckNewPassword(std::u16string_view entry, std::u16string_view confirmation);

}  // namespace qv
