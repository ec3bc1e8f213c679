// The profile-string store: named strings in sections of INI-style files ("shortcut.ini",
// the soft-key caption files). A port, so the code that reads them is tested from memory; the
// Win32 implementation (common/win32/profile_store_win32.h) uses GetPrivateProfileStringW.
#pragma once

#include <cstddef>
#include <string_view>

namespace qv {

class ProfileStore {
 public:
  virtual ~ProfileStore() = default;

  // Reads the value of `key` in `section` of the file at `path` into value[0 .. capacity-1],
  // cut to capacity - 1 characters and always terminated; a missing section or key reads as
  // empty. Returns false (and leaves the value empty) when the file does not exist or cannot be
  // opened.
  virtual bool ReadString(std::u16string_view path, std::u16string_view section,
                          std::u16string_view key, char16_t* value, std::size_t capacity) = 0;
};

}  // namespace qv
