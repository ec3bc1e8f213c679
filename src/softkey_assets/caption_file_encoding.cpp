#include "softkey_assets/caption_file_encoding.h"

#include <algorithm>

namespace qv {
namespace {

bool IsAscii(std::span<const std::uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t byte) { return byte < 0x80; });
}

// The length of the UTF-8 sequence at `at`, 0 when it is not well-formed.
std::size_t Utf8SequenceAt(std::span<const std::uint8_t> bytes, std::size_t at) {
  const std::uint8_t lead = bytes[at];
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint32_t lowest = 0;
  std::uint32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    lowest = 0x80;
    value = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    lowest = 0x800;
    value = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    lowest = 0x10000;
    value = lead & 0x07u;
  } else {
    return 0;
  }
  if (at + length > bytes.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const std::uint8_t next = bytes[at + i];
    if ((next & 0xC0) != 0x80) return 0;
    value = value << 6 | (next & 0x3Fu);
  }
  if (value < lowest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  return length;
}

// Well-formed UTF-8 (ASCII included) as UTF-16; false for any byte sequence that is not, which
// no conversion could keep.
bool DecodeUtf8(std::span<const std::uint8_t> bytes, std::u16string& text) {
  text.clear();
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t length = Utf8SequenceAt(bytes, at);
    if (length == 0) return false;
    std::uint32_t value = length == 1   ? bytes[at]
                          : length == 2 ? bytes[at] & 0x1Fu
                          : length == 3 ? bytes[at] & 0x0Fu
                                        : bytes[at] & 0x07u;
    for (std::size_t i = 1; i < length; ++i) value = value << 6 | (bytes[at + i] & 0x3Fu);
    if (value >= 0x10000) {
      value -= 0x10000;
      text.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
    } else {
      text.push_back(static_cast<char16_t>(value));
    }
    at += length;
  }
  return true;
}

// UTF-16BE as its units, unit for unit; false for an odd byte count.
bool DecodeUtf16Be(std::span<const std::uint8_t> bytes, std::u16string& text) {
  text.clear();
  if (bytes.size() % 2 != 0) return false;
  for (std::size_t at = 0; at < bytes.size(); at += 2)
    text.push_back(static_cast<char16_t>(bytes[at] << 8 | bytes[at + 1]));
  return true;
}

}  // namespace

bool LooksLikeUtf8(std::span<const std::uint8_t> bytes) {
  bool beyondAscii = false;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t length = Utf8SequenceAt(bytes, at);
    if (length == 0) return false;
    if (length > 1) beyondAscii = true;
    at += length;
  }
  return beyondAscii;
}

std::vector<std::uint8_t> Utf16LeFile(std::u16string_view text) {
  std::vector<std::uint8_t> file = {0xFF, 0xFE};
  file.reserve(2 + text.size() * 2);
  for (const char16_t unit : text) {
    file.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    file.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return file;
}

CaptionFilePlan PlanCaptionFile(std::span<const std::uint8_t> bytes, bool whole,
                                const AnsiDecoder& decode) {
  CaptionFilePlan plan;
  const ProfileEncoding encoding = DetectProfileEncoding(bytes.data(), bytes.size());
  switch (encoding) {
    case ProfileEncoding::kEmpty:
      plan.step = whole ? CaptionFileStep::kWriteMark : CaptionFileStep::kRefuse;
      return plan;
    case ProfileEncoding::kUtf16Le:
      plan.step = CaptionFileStep::kWriteAsIs;
      return plan;
    case ProfileEncoding::kUtf16Be:
    case ProfileEncoding::kUtf8:
    case ProfileEncoding::kAnsi:
      break;
  }
  if (!whole || bytes.size() > kMaxConvertedCaptionFileBytes) return plan;
  std::u16string text;
  if (encoding == ProfileEncoding::kUtf8) {
    if (!DecodeUtf8(bytes.subspan(3), text)) return plan;
  } else if (encoding == ProfileEncoding::kUtf16Be) {
    if (!DecodeUtf16Be(bytes.subspan(2), text)) return plan;
  } else if (IsAscii(bytes)) {
    text.assign(bytes.begin(), bytes.end());
  } else if (LooksLikeUtf8(bytes) || !decode || !decode(bytes, text)) {
    return plan;
  }
  plan.step = CaptionFileStep::kConvert;
  plan.converted = Utf16LeFile(text);
  return plan;
}

}  // namespace qv
