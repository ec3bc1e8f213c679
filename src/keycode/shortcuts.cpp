#include "keycode/shortcuts.h"

#include "common/bounded_text.h"

namespace qv {
namespace {

struct KeyWord {
  std::u16string_view word;
  std::uint16_t vk;
};

// The 47 key words of shortcut.ini.
constexpr KeyWord kKeyWords[] = {
    {u"TAB", 0x09},        {u"CTRL", 0xA2},     {u"CTRLL", 0xA2},  {u"CTRLR", 0xA3},
    {u"SHIFT", 0xA0},      {u"SHIFTL", 0xA0},   {u"SHIFTR", 0xA1}, {u"WINDOWS", 0x5B},
    {u"WINDOWSL", 0x5B},   {u"WINDOWSR", 0x5C}, {u"WIN", 0x5B},    {u"WINL", 0x5B},
    {u"WINR", 0x5C},       {u"ALT", 0xA4},      {u"ALTL", 0xA4},   {u"ALTR", 0xA5},
    {u"APR", 0x5D},        {u"SPACE", 0x20},    {u"INSERT", 0x2D}, {u"DELETE", 0x2E},
    {u"BACKSPACE", 0x08},  {u"HOME", 0x24},     {u"END", 0x23},    {u"PAGEUP", 0x21},
    {u"PAGEDOWN", 0x22},   {u"LEFT", 0x25},     {u"RIGHT", 0x27},  {u"UP", 0x26},
    {u"DOWN", 0x28},       {u"ESC", 0x1B},      {u"ENTER", 0x0D},  {u"PRINTSCREEN", 0x2C},
    {u"SCROLLLOCK", 0x91}, {u"PAUSE", 0x13},    {u"BREAK", 0x13},  {u"F1", 0x70},
    {u"F2", 0x71},         {u"F3", 0x72},       {u"F4", 0x73},     {u"F5", 0x74},
    {u"F6", 0x75},         {u"F7", 0x76},       {u"F8", 0x77},     {u"F9", 0x78},
    {u"F10", 0x79},        {u"F11", 0x7A},      {u"F12", 0x7B},
};
static_assert(std::size(kKeyWords) == 47);

constexpr std::u16string_view kSeparators = u" \t+";

bool IsSeparator(char16_t c) {
  return kSeparators.find(c) != std::u16string_view::npos;
}

}  // namespace

std::uint16_t ShortcutWordVk(std::u16string_view word) {
  for (const KeyWord& keyWord : kKeyWords)
    if (EqualsIgnoreAsciiCase(word, keyWord.word)) return keyWord.vk;
  if (word.size() == 1) {
    const char16_t c = word[0];
    if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z')) return c;
  }
  return 0;
}

KeyCodeRecord BuildShortcutRecord(std::u16string_view keyText, const KeyTable& table) {
  std::u16string_view text = CutTo(keyText, kShortcutKeyTextLimit);
  text = text.substr(
      0, text.find(u'\0') == std::u16string_view::npos ? text.size() : text.find(u'\0'));
  std::array<std::uint8_t, kMaxShortcutWords> keys{};
  int accepted = 0;
  int words = 0;
  std::size_t at = 0;
  while (words < kMaxShortcutWords) {
    while (at < text.size() && IsSeparator(text[at])) ++at;
    if (at >= text.size()) break;
    std::size_t end = at;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    ++words;
    const std::uint16_t vk = ShortcutWordVk(text.substr(at, end - at));
    const std::uint8_t key = vk == 0 ? 0 : KeyNumberFromVk(vk, table);
    if (key == 0) break;  // this word and all later ones are dropped
    keys[static_cast<std::size_t>(accepted++)] = key;
    at = end;
  }
  KeyCodeRecord record;
  record.bytes[0] = static_cast<std::uint8_t>(2 * accepted + 1);
  for (int i = 0; i < accepted; ++i) {
    record.bytes[static_cast<std::size_t>(1 + i)] = keys[static_cast<std::size_t>(i)];
    record.bytes[static_cast<std::size_t>(2 * accepted - i)] =
        static_cast<std::uint8_t>(keys[static_cast<std::size_t>(i)] | kStrokeReleaseBit);
  }
  return record;
}

int LoadShortcuts(ProfileStore& profiles, std::u16string_view path, ShortcutList& list) {
  list.entries.clear();
  for (int number = 0; number < kMaxShortcuts; ++number) {
    char16_t section[16];
    BoundedFormat(section, u"shortcut_%02u", {static_cast<unsigned>(number)});
    Shortcut entry;
    if (!profiles.ReadString(path, BoundedView(section), u"key", entry.keyText,
                             kShortcutTextChars)) {
      break;  // no file: the list stays as it is, empty
    }
    if (entry.keyText[0] == 0) break;  // the list ends at the first empty or missing key
    profiles.ReadString(path, BoundedView(section), u"description", entry.description,
                        kShortcutTextChars);
    const std::u16string_view keyText = BoundedView(entry.keyText);
    entry.records[0] = BuildShortcutRecord(keyText, KeyTableFor(false));
    entry.records[1] = BuildShortcutRecord(keyText, KeyTableFor(true));
    list.entries.push_back(entry);
  }
  return static_cast<int>(list.entries.size());
}

const Shortcut* FindShortcutRecord(const ShortcutList& list, const void* record) {
  for (const Shortcut& entry : list.entries) {
    for (const KeyCodeRecord& own : entry.records)
      if (static_cast<const void*>(&own) == record) return &entry;
  }
  return nullptr;
}

}  // namespace qv
