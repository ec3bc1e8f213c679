// What a caption write does first with an existing "softkey_text.ini". The profile functions
// keep a UTF-16LE file with a byte-order mark in UTF-16 and write any other in the system's
// ANSI code page, losing every character that code page lacks; so a file without a mark is
// turned into UTF-16LE before the first write. That conversion fixes for good how every caption
// in the file reads, so it is only made when the file's bytes are text in the code page used
// and nothing suggests another encoding; otherwise the file is never re-encoded and the write
// is refused, leaving every caption as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "softkey_assets/asset_names.h"

namespace qv {

// Decodes text in the system's ANSI code page; false when the bytes are not valid text there.
using AnsiDecoder = std::function<bool(std::span<const std::uint8_t>, std::u16string&)>;

enum class CaptionFileStep {
  kWriteMark,  // no file, or an empty one: it becomes a UTF-16LE file holding just the mark
  kWriteAsIs,  // a file with a byte-order mark: the profile functions keep its encoding
  kConvert,    // text in the code page without a mark: replaced by `converted` first
  kRefuse,     // not text in the code page, UTF-8 without a mark, or too large: nothing written
};

struct CaptionFilePlan {
  CaptionFileStep step = CaptionFileStep::kRefuse;
  std::vector<std::uint8_t> converted;  // for kConvert: the mark and the text as UTF-16LE
};

// The plan for a caption file whose first bytes are `bytes` (all of it when `whole`; a file
// beyond kMaxConvertedCaptionFileBytes is not read whole). A file without a mark is converted
// when it is plain ASCII (the same in every code page), or when `decode` takes it and its bytes
// beyond ASCII are not UTF-8 (text saved as UTF-8 by hand also decodes in a single-byte code
// page, into other characters).
CaptionFilePlan PlanCaptionFile(std::span<const std::uint8_t> bytes, bool whole,
                                const AnsiDecoder& decode);

// Whether the bytes hold any beyond ASCII and are well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF).
bool LooksLikeUtf8(std::span<const std::uint8_t> bytes);

// The mark and `text` as UTF-16LE bytes.
std::vector<std::uint8_t> Utf16LeFile(std::u16string_view text);

}  // namespace qv
