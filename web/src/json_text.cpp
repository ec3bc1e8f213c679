#include "json_text.h"

namespace qv {
namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendEscaped(std::string& out, char32_t c) {
  static const char kHex[] = "0123456789abcdef";
  if (c == u'"' || c == u'\\') {
    out += '\\';
    out += static_cast<char>(c);
  } else if (c == u'\n') {
    out += "\\n";
  } else if (c < 0x20) {
    out += "\\u00";
    out += kHex[c >> 4];
    out += kHex[c & 15];
  } else {
    AppendUtf8(out, c);
  }
}

}  // namespace

std::string JsonString(std::u16string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;  // a lone surrogate
    }
    AppendEscaped(out, c);
  }
  return out + "\"";
}

std::string JsonString(std::string_view ascii) {
  std::string out = "\"";
  for (char c : ascii) AppendEscaped(out, static_cast<unsigned char>(c) & 0x7F);
  return out + "\"";
}

std::string JsonHex(std::span<const std::uint8_t> bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (std::uint8_t b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out + "\"";
}

}  // namespace qv
