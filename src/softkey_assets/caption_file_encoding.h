// What a caption write does first with an existing "softkey_text.ini". The profile functions
// keep a UTF-16LE file with a byte-order mark in UTF-16 and write any other in the system's
// ANSI code page, losing every character that code page lacks (and a UTF-8 or UTF-16BE file
// then holds two encodings, its mark hiding the section on line 1); so every other file is
// turned into UTF-16LE before the first write. That conversion fixes for good how every caption
// in the file reads, so it is only made when it keeps every character: a file with a UTF-8 or
// UTF-16BE mark when its text is well-formed in that encoding, a file without a mark when its
// bytes are text in the code page used and nothing suggests another encoding. Otherwise the file
// is never re-encoded and the write is refused, leaving every caption as it was.
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
  kWriteAsIs,  // a UTF-16LE file with its mark: the profile functions keep its encoding
  kConvert,    // any other text that converts losslessly: replaced by `converted` first
  kRefuse,     // not text in its encoding, UTF-8 without a mark, or too large: nothing written
};

struct CaptionFilePlan {
  CaptionFileStep step = CaptionFileStep::kRefuse;
  std::vector<std::uint8_t> converted;  // for kConvert: the mark and the text as UTF-16LE
};

// The plan for a caption file whose first bytes are `bytes` (all of it when `whole`; a file
// beyond kMaxConvertedCaptionFileBytes is not read whole). A file with a UTF-8 mark is converted
// when the rest is well-formed UTF-8, one with a UTF-16BE mark when the rest is whole units
// (each kept as it is, unpaired surrogates too). A file without a mark is converted
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
