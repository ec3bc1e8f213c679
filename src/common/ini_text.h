// A profile-string file held in memory: the bytes of an INI file the user handed over (the
// browser editor's shortcut.ini), read as GetPrivateProfileStringW reads a file: UTF-16LE after a
// byte-order mark, else UTF-8 (with or without its mark); section and key names compared without
// regard to case; blanks around names and values dropped; a value in matching double quotes
// without them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/profile_store.h"

namespace qv {

class IniText : public ProfileStore {
 public:
  explicit IniText(std::span<const std::uint8_t> bytes);

  // Any path reads the one file.
  bool ReadString(std::u16string_view path, std::u16string_view section, std::u16string_view key,
                  char16_t* value, std::size_t capacity) override;

 private:
  std::u16string text_;
};

}  // namespace qv
