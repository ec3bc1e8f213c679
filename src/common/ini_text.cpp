#include "common/ini_text.h"

#include <algorithm>

namespace qv {
namespace {

std::u16string DecodeUtf16(std::span<const std::uint8_t> bytes) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    text += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
  return text;
}

// UTF-8; a malformed sequence becomes U+FFFD.
std::u16string DecodeUtf8(std::span<const std::uint8_t> bytes) {
  std::u16string text;
  for (std::size_t i = 0; i < bytes.size();) {
    const std::uint8_t lead = bytes[i];
    int extra = lead < 0x80             ? 0
                : (lead & 0xE0) == 0xC0 ? 1
                : (lead & 0xF0) == 0xE0 ? 2
                : (lead & 0xF8) == 0xF0 ? 3
                                        : -1;
    char32_t c = extra == 0   ? lead
                 : extra == 1 ? lead & 0x1F
                 : extra == 2 ? lead & 0x0F
                              : lead & 0x07;
    bool good = extra >= 0 && i + extra < bytes.size();
    for (int k = 1; good && k <= extra; ++k) {
      good = (bytes[i + k] & 0xC0) == 0x80;
      c = (c << 6) | (bytes[i + k] & 0x3F);
    }
    if (!good) {
      text += u'\uFFFD';
      ++i;
      continue;
    }
    i += extra + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      text += static_cast<char16_t>(0xD800 + (c >> 10));
      text += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      text += static_cast<char16_t>(c);
    }
  }
  return text;
}

std::u16string_view Trim(std::u16string_view text) {
  const auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  const auto lower = [](char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
  };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

}  // namespace

IniText::IniText(std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
    text_ = DecodeUtf16(bytes.subspan(2));
  else if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
    text_ = DecodeUtf8(bytes.subspan(3));
  else
    text_ = DecodeUtf8(bytes);
}

bool IniText::ReadString(std::u16string_view, std::u16string_view section, std::u16string_view key,
                         char16_t* value, std::size_t capacity) {
  if (capacity == 0) return true;
  value[0] = 0;
  std::u16string_view rest = text_;
  bool inSection = false;
  while (!rest.empty()) {
    const std::size_t end = rest.find(u'\n');
    const std::u16string_view line = Trim(rest.substr(0, end));
    rest = end == std::u16string_view::npos ? std::u16string_view() : rest.substr(end + 1);
    if (!line.empty() && line.front() == u'[') {
      const std::size_t close = line.find(u']');
      if (inSection) return true;  // the section ended without the key
      inSection =
          close != std::u16string_view::npos && SameName(Trim(line.substr(1, close - 1)), section);
      continue;
    }
    const std::size_t equals = line.find(u'=');
    if (!inSection || equals == std::u16string_view::npos ||
        !SameName(Trim(line.substr(0, equals)), key))
      continue;
    std::u16string_view found = Trim(line.substr(equals + 1));
    if (found.size() >= 2 && found.front() == u'"' && found.back() == u'"')
      found = found.substr(1, found.size() - 2);
    const std::size_t n = std::min(found.size(), capacity - 1);
    std::copy_n(found.begin(), n, value);
    value[n] = 0;
    return true;
  }
  return true;
}

}  // namespace qv
