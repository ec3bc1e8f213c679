// The caption file through the system's profile-string functions.
#pragma once

#include <string_view>

#include "softkey_assets/soft_key_assets.h"

namespace qv {

// Reads and writes captions with GetPrivateProfileStringW and WritePrivateProfileStringW. A
// file the profile functions create themselves is in the system's ANSI code page, which loses
// every character that code page lacks (Japanese captions under a Western locale become "?").
// So before the first write a missing file is created holding only the UTF-16LE byte-order
// mark; the profile functions then keep it in UTF-16. Existing files are read as they are, in
// the ANSI code page or in UTF-16.
class Win32CaptionFile final : public CaptionFile {
 public:
  void ReadCaption(std::u16string_view file, std::u16string_view key, char16_t* value,
                   std::size_t capacity) override;
  bool WriteCaption(std::u16string_view file, std::u16string_view key,
                    std::u16string_view value) override;
};

// Creates `path` holding only the UTF-16LE byte-order mark, unless a file of that name exists
// (which is left as it is). The mark is written beside it first and moved into place, so no
// half-written file can appear. True when the file exists afterwards.
bool CreateUtf16ProfileFile(std::u16string_view path);

}  // namespace qv
