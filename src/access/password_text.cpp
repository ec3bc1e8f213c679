#include "access/password_text.h"

#include "common/secure_zero.h"

namespace qv {
namespace {

bool IsAsciiAlphanumeric(char16_t unit) {
  return (unit >= u'0' && unit <= u'9') || (unit >= u'A' && unit <= u'Z') ||
         (unit >= u'a' && unit <= u'z');
}

std::u16string_view CutTo(std::u16string_view text, std::size_t limit) {
  return text.size() > limit ? text.substr(0, limit) : text;
}

}  // namespace

void PasswordBytes::Assign(std::u16string_view text) {
  Wipe();
  const std::u16string_view kept = CutTo(text, kPasswordByteLimit);
  for (std::size_t i = 0; i < kept.size(); ++i)
    bytes_[i] = static_cast<char>(NarrowDigit(kept[i]) & 0xFF);
  length_ = kept.size();
}

void PasswordBytes::Wipe() {
  SecureZero(bytes_, sizeof bytes_);
  length_ = 0;
}

RegistrationCheck CheckNewPassword(std::u16string_view entry, std::u16string_view confirmation) {
  entry = CutTo(entry, kRegistrationPasswordChars);
  confirmation = CutTo(confirmation, kRegistrationPasswordChars);
  // Compared unit by unit with the digits narrowed, so no narrowed copy of a password is made.
  if (entry.size() != confirmation.size()) return RegistrationCheck::kMismatch;
  for (std::size_t i = 0; i < entry.size(); ++i)
    if (NarrowDigit(entry[i]) != NarrowDigit(confirmation[i])) return RegistrationCheck::kMismatch;
  if (entry.size() > kRegistrationMaxChars) return RegistrationCheck::kTooLong;
  for (char16_t unit : entry)
    if (!IsAsciiAlphanumeric(NarrowDigit(unit))) return RegistrationCheck::kBadCharacter;
  return RegistrationCheck::kAccepted;
}

}  // namespace qv
