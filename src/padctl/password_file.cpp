#include "padctl/password_file.h"

#include <algorithm>
#include <string>

namespace qv {
namespace {

// The file's text as UTF-16. UTF-8 sequences are decoded; anything else keeps its byte, which
// no registered password (letters and digits only) contains anyway.
void DecodeText(std::span<const std::uint8_t> bytes, std::u16string& text) {
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
      text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return;
  }
  std::size_t i = 0;
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) i = 3;
  while (i < bytes.size()) {
    const std::uint8_t lead = bytes[i];
    if (lead >= 0xE0 && lead < 0xF0 && i + 2 < bytes.size()) {
      text.push_back(static_cast<char16_t>(((lead & 0x0F) << 12) | ((bytes[i + 1] & 0x3F) << 6) |
                                           (bytes[i + 2] & 0x3F)));
      i += 3;
    } else if (lead >= 0xC0 && lead < 0xE0 && i + 1 < bytes.size()) {
      text.push_back(static_cast<char16_t>(((lead & 0x1F) << 6) | (bytes[i + 1] & 0x3F)));
      i += 2;
    } else {
      text.push_back(lead);
      ++i;
    }
  }
}

bool IsSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\u3000';
}

// The whitespace-separated fields of a line.
std::vector<std::u16string_view> FieldsOf(std::u16string_view line) {
  std::vector<std::u16string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsSpace(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !IsSpace(line[i])) ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

bool SerialOf(std::u16string_view text, std::uint32_t& serial) {
  if (text.empty() || text.size() > 6) return false;
  std::uint32_t value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
    value = value * 10 + static_cast<std::uint32_t>(c - u'0');
  }
  serial = value;
  return true;
}

}  // namespace

PasswordFile::~PasswordFile() {
  Clear();
}

void PasswordFile::Clear() {
  for (Entry& entry : entries_) SecureZero(&entry, sizeof entry);
  entries_.clear();
}

bool PasswordFile::Parse(std::span<const std::uint8_t> bytes) {
  Clear();
  std::u16string text;
  text.reserve(bytes.size());
  DecodeText(bytes, text);
  // Room for every line up front: a vector that grew would leave copies of passwords behind in
  // the memory it gave back.
  entries_.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), u'\n')) + 1);
  bool good = true;
  std::size_t start = 0;
  while (good && start <= text.size()) {
    std::size_t end = text.find(u'\n', start);
    if (end == std::u16string::npos) end = text.size();
    const std::vector<std::u16string_view> fields =
        FieldsOf(std::u16string_view(text).substr(start, end - start));
    start = end + 1;
    if (fields.empty() || fields[0].starts_with(u'#')) continue;
    Entry entry;
    std::u16string_view password = fields[0];
    if (fields.size() == 2) {
      if (!SerialOf(fields[0], entry.serial)) good = false;
      password = fields[1];
    } else if (fields.size() == 1) {
      entry.anySerial = true;
    } else {
      good = false;
    }
    if (!good || password.size() > SecretText::kMaxChars) {
      good = false;
      break;
    }
    entry.length = password.size();
    std::copy(password.begin(), password.end(), entry.text);
    entries_.push_back(entry);
    SecureZero(&entry, sizeof entry);
  }
  SecureZero(text.data(), text.size() * sizeof(char16_t));
  if (!good) Clear();
  return good;
}

bool PasswordFile::PasswordFor(std::uint32_t serial, SecretText& password) const {
  const Entry* fallback = nullptr;
  for (const Entry& entry : entries_) {
    if (!entry.anySerial && entry.serial == serial) {
      password.Assign(std::u16string_view(entry.text, entry.length));
      return true;
    }
    if (entry.anySerial && !fallback) fallback = &entry;
  }
  if (!fallback) return false;
  password.Assign(std::u16string_view(fallback->text, fallback->length));
  return true;
}

}  // namespace qv
