// The profile-string store over the system's INI functions.
#pragma once

#include "common/profile_store.h"

namespace qv {

class Win32ProfileStore : public ProfileStore {
 public:
  // A file that does not exist (or is a folder) reads as not opened; otherwise
  // GetPrivateProfileStringW with an empty default.
  bool ReadString(std::u16string_view path, std::u16string_view section, std::u16string_view key,
                  char16_t* value, std::size_t capacity) override;
};

}  // namespace qv
