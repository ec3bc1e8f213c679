// The shortcut list: named key combinations read once at start-up from
// "shortcut.ini" beside the program, each turned into a key code the key input dialog can load.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/key_code_record.h"
#include "common/profile_store.h"
#include "keycode/key_table.h"

namespace qv {

inline constexpr int kMaxShortcuts = 100;                  // sections shortcut_00 .. shortcut_99
inline constexpr std::size_t kShortcutTextChars = 256;     // 255 characters and the terminator
inline constexpr std::size_t kShortcutKeyTextLimit = 127;  // characters of a key text used
inline constexpr int kMaxShortcutWords = 20;

struct Shortcut {
  char16_t keyText[kShortcutTextChars] = {};
  char16_t description[kShortcutTextChars] = {};
  // The key code built from the key text under each key table: the list is read before the
  // keyboard layout is known (start-up step 10, the layout at the main window's creation), and
  // a record means different keys under the two tables.
  std::array<KeyCodeRecord, 2> records{};

  const KeyCodeRecord& RecordFor(bool nonJapaneseLayout) const {
    return records[nonJapaneseLayout ? 1 : 0];
  }
};

struct ShortcutList {
  std::vector<Shortcut> entries;  // at most kMaxShortcuts, in file order
};

// The VK code a key word stands for: one of the 47 key words (any case), else a single
// character 0..9 or A..Z (upper case only) as its own code, else 0.
std::uint16_t ShortcutWordVk(std::u16string_view word);

// The key code of a key text: the first 127 characters (up to a terminator) split at blanks,
// tabs and plus signs into at most 20 words; the words up to the first that maps to key number
// 0 give presses in word order, then their releases in reverse. L = 2 x accepted + 1.
KeyCodeRecord BuildShortcutRecord(std::u16string_view keyText, const KeyTable& table);

// Clears the list and reads sections shortcut_00 .. shortcut_99 ("key", "description") of the
// file; the list ends at the first section whose key is empty or missing, and stays empty when
// the file cannot be opened. Returns the number of entries.
int LoadShortcuts(ProfileStore& profiles, std::u16string_view path, ShortcutList& list);

// The entry of the list whose record (under either table) is at `record`, or null: a pointer
// that arrives in a message is trusted only when it is one of the list's own records.
const Shortcut* FindShortcutRecord(const ShortcutList& list, const void* record);

}  // namespace qv
