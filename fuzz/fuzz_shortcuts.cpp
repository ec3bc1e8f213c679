// shortcut.ini from the fuzzer's bytes: single key texts turned into key codes under both key
// tables, and whole lists read from a profile in memory. Each record is checked against a model
// written from the file format (words split at blanks, tabs and plus signs, at most 20 from the
// first 127 characters, up to the first without a key; presses, then releases in reverse), and
// each list against the sections it was given (ends at the first empty or missing key, at most
// 100 entries, texts cut to 255 characters).
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/bounded_text.h"
#include "fuzz/fuzz_support.h"
#include "keycode/shortcuts.h"

using namespace qv;
using namespace qv::fuzz;

namespace {

std::vector<std::uint8_t> ExpectedKeys(std::u16string_view text, const KeyTable& table) {
  text = text.substr(0, text.find(u'\0'));
  if (text.size() > 127) text = text.substr(0, 127);
  std::vector<std::u16string> words;
  std::u16string word;
  for (char16_t c : text) {
    if (c == u' ' || c == u'\t' || c == u'+') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word.push_back(c);
    }
  }
  if (!word.empty()) words.push_back(word);
  std::vector<std::uint8_t> keys;
  for (std::size_t i = 0; i < words.size() && i < 20; ++i) {
    const std::uint16_t vk = ShortcutWordVk(words[i]);
    if (words[i].size() == 1 && vk != 0) {
      const char16_t c = words[i][0];
      Check((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z'), "single character rule");
      Check(vk == c, "a single character stands for its own code");
    }
    const std::uint8_t key = vk == 0 ? 0 : KeyNumberFromVk(vk, table);
    if (key == 0) break;
    keys.push_back(key);
  }
  return keys;
}

void CheckRecord(const KeyCodeRecord& record, std::u16string_view text, const KeyTable& table) {
  const std::vector<std::uint8_t> keys = ExpectedKeys(text, table);
  const int length = record.bytes[0];
  Check(length >= 1 && length <= 41 && length % 2 == 1, "record length within 1..41, odd");
  Check(static_cast<std::size_t>(length) == 2 * keys.size() + 1, "record length from the words");
  const std::size_t n = keys.size();
  for (std::size_t i = 0; i < n; ++i) {
    Check(record.bytes[1 + i] == keys[i], "presses in word order");
    Check(record.bytes[2 * n - i] == (keys[i] | 0x80), "releases in reverse order");
  }
  for (std::size_t i = 2 * n + 1; i < record.bytes.size(); ++i)
    Check(record.bytes[i] == 0, "bytes after the strokes stay zero");
}

class MemoryProfiles : public ProfileStore {
 public:
  bool ReadString(std::u16string_view, std::u16string_view section, std::u16string_view key,
                  char16_t* value, std::size_t capacity) override {
    BoundedCopy(value, capacity, u"");
    if (!exists) return false;
    auto it = values.find({std::u16string(section), std::u16string(key)});
    if (it != values.end()) BoundedCopy(value, capacity, it->second);
    return true;
  }
  bool exists = true;
  std::map<std::pair<std::u16string, std::u16string>, std::u16string> values;
};

std::u16string Text(FuzzInput& input) {
  const std::size_t size = input.Byte();
  std::u16string text;
  for (std::size_t i = 0; i < size && !input.empty(); ++i) {
    const std::uint8_t b = input.Byte();
    // Mostly the characters of key words and separators, sometimes any code unit.
    constexpr char16_t kCommon[] = u"CTRL+ALTSHIFWNDE F1234567890 \tabcz";
    text.push_back(b < 0xE0 ? kCommon[b % (std::size(kCommon) - 1)]
                            : static_cast<char16_t>(b | (input.Byte() << 8)));
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  if (input.Bool()) {
    const std::u16string text = input.RestAsUtf16();
    for (bool other : {false, true})
      CheckRecord(BuildShortcutRecord(text, KeyTableFor(other)), text, KeyTableFor(other));
    return 0;
  }

  MemoryProfiles profiles;
  profiles.exists = (input.Byte() & 0x0F) != 0;
  const int sections = input.Byte() % 110;
  for (int i = 0; i < sections && !input.empty(); ++i) {
    char16_t section[16];
    BoundedFormat(section, u"shortcut_%02u", {static_cast<unsigned>(i)});
    const std::uint8_t what = input.Byte();
    if (what % 16 == 0) continue;  // a missing section
    std::u16string key = Text(input);
    if (what % 16 == 1) key = std::u16string(300, u'+') + key;  // past 255 characters
    profiles.values[{section, u"key"}] = key;
    if (what & 0x80) profiles.values[{section, u"description"}] = Text(input);
  }

  ShortcutList list;
  list.entries.resize(3);  // loading starts from an empty list
  const int count = LoadShortcuts(profiles, u"shortcut.ini", list);
  Check(count == static_cast<int>(list.entries.size()), "count returned");

  int expected = 0;
  if (profiles.exists) {
    for (; expected < 100; ++expected) {
      char16_t section[16];
      BoundedFormat(section, u"shortcut_%02u", {static_cast<unsigned>(expected)});
      auto it = profiles.values.find({section, u"key"});
      if (it == profiles.values.end() || it->second.empty()) break;
    }
  }
  Check(count == expected, "the list ends at the first empty or missing key");
  for (int i = 0; i < count; ++i) {
    const Shortcut& entry = list.entries[static_cast<std::size_t>(i)];
    char16_t section[16];
    BoundedFormat(section, u"shortcut_%02u", {static_cast<unsigned>(i)});
    const std::u16string& stored = profiles.values[{section, u"key"}];
    const std::u16string_view keyText = BoundedView(entry.keyText);
    Check(keyText == std::u16string_view(stored).substr(0, 255),
          "key text as stored, at most 255 characters");
    Check(BoundedLength(entry.description, kShortcutTextChars) <= 255, "description cut");
    for (bool other : {false, true}) {
      CheckRecord(entry.RecordFor(other), keyText, KeyTableFor(other));
      Check(FindShortcutRecord(list, &entry.RecordFor(other)) == &entry, "own record found");
    }
  }
  return 0;
}
