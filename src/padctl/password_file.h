// The password file of --password-file: one password per line, either alone (it serves every key
// pad without a line of its own) or after a key pad's serial number ("123456 secret"). Blank
// lines and lines starting with "#" are skipped. The file may be UTF-8 (with or without a byte
// order mark) or UTF-16LE with a byte order mark, as Notepad saves it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "padctl/secret_text.h"

namespace qv {

// The longest password file taken; a longer one is refused, never cut.
inline constexpr std::size_t kMostPasswordFileBytes = 64 * 1024;

class PasswordFile {
 public:
  PasswordFile() = default;
  PasswordFile(const PasswordFile&) = delete;
  PasswordFile& operator=(const PasswordFile&) = delete;
  ~PasswordFile();

  // Takes the passwords from the file's bytes. False when a line is malformed (more than two
  // fields, or a serial number that is not one); nothing is kept then.
  bool Parse(std::span<const std::uint8_t> bytes);
  // The key pad's own line, else the line without a serial number; false when neither exists.
  bool PasswordFor(std::uint32_t serial, SecretText& password) const;

 private:
  struct Entry {
    bool anySerial = false;
    std::uint32_t serial = 0;
    char16_t text[SecretText::kMaxChars] = {};
    std::size_t length = 0;
  };
  void Clear();

  std::vector<Entry> entries_;
};

}  // namespace qv
