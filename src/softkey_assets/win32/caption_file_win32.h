// The caption file through the system's profile-string functions.
#pragma once

#include <string_view>

#include "softkey_assets/soft_key_assets.h"

namespace qv {

// Reads and writes captions with GetPrivateProfileStringW and WritePrivateProfileStringW. A
// file the profile functions create themselves is in the system's ANSI code page, which loses
// every character that code page lacks (Japanese captions under a Western locale become "?").
// So before a write the file is made UTF-16LE with a byte-order mark (PrepareUtf16ProfileFile);
// the profile functions then keep it in UTF-16. Files are read as they are, in the ANSI code
// page or in UTF-16.
class Win32CaptionFile final : public CaptionFile {
 public:
  void ReadCaption(std::u16string_view file, std::u16string_view key, char16_t* value,
                   std::size_t capacity) override;
  bool WriteCaption(std::u16string_view file, std::u16string_view key,
                    std::u16string_view value) override;
};

// Makes `path` a UTF-16LE profile file with a byte-order mark before it is written: a missing or
// empty file becomes just the mark; a file without a mark is converted only as PlanCaptionFile
// allows, with its text decoded as the profile functions decode it. Files with a mark are left
// alone. Each change is written beside the file, flushed and moved into place, so the file is
// either the old one or the whole new one. True when the file may be written now; false leaves
// it as it was (a file that is not text in the code page is never re-encoded).
bool PrepareUtf16ProfileFile(std::u16string_view path);

}  // namespace qv
