// The shortcut list: key texts turned into key codes under both key tables, and shortcut.ini
// read through the profile store.
#include "keycode/shortcuts.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/bounded_text.h"

namespace qv {
namespace {

using Strokes = std::vector<std::uint8_t>;

Strokes StrokesOf(const KeyCodeRecord& record) {
  return Strokes(record.bytes.begin() + 1, record.bytes.begin() + StrokeCount(record) + 1);
}

// A profile file in memory: (section, key) -> value; `exists` false is a missing file.
class MemoryProfiles : public ProfileStore {
 public:
  bool ReadString(std::u16string_view path, std::u16string_view section, std::u16string_view key,
                  char16_t* value, std::size_t capacity) override {
    ++reads;
    lastPath = std::u16string(path);
    BoundedCopy(value, capacity, u"");
    if (!exists) return false;
    auto it = values.find({std::u16string(section), std::u16string(key)});
    if (it != values.end()) BoundedCopy(value, capacity, it->second);
    return true;
  }
  void Set(int number, std::u16string key, std::u16string description = u"") {
    char16_t section[16];
    BoundedFormat(section, u"shortcut_%02u", {static_cast<unsigned>(number)});
    values[{section, u"key"}] = std::move(key);
    values[{section, u"description"}] = std::move(description);
  }

  bool exists = true;
  int reads = 0;
  std::u16string lastPath;
  std::map<std::pair<std::u16string, std::u16string>, std::u16string> values;
};

TEST(ShortcutRecord, PressesInWordOrderThenReleasesInReverse) {
  const KeyTable& japanese = KeyTableFor(false);
  const KeyCodeRecord ctrlC = BuildShortcutRecord(u"CTRL+C", japanese);
  EXPECT_EQ(ctrlC.bytes[0], 5);
  EXPECT_EQ(StrokesOf(ctrlC), (Strokes{0x3A, 0x30, 0xB0, 0xBA}));

  // Key words in any case; blanks, tabs and plus signs, repeated, separate words.
  const KeyCodeRecord delete3 = BuildShortcutRecord(u"ctrl+alt+delete", japanese);
  EXPECT_EQ(StrokesOf(delete3), (Strokes{58, 60, 76, 76 | 0x80, 60 | 0x80, 58 | 0x80}));
  EXPECT_EQ(StrokesOf(BuildShortcutRecord(u"  Ctrl \t++ Alt+\tDELETE ", japanese)),
            StrokesOf(delete3));
}

TEST(ShortcutRecord, TheFirstWordWithoutAKeyEndsTheRecord) {
  const KeyTable& japanese = KeyTableFor(false);
  // Single characters count in upper case only.
  EXPECT_EQ(StrokesOf(BuildShortcutRecord(u"CTRL+c", japanese)), (Strokes{58, 58 | 0x80}));
  EXPECT_EQ(BuildShortcutRecord(u"NOKEY+CTRL", japanese).bytes[0], 1);
  EXPECT_EQ(BuildShortcutRecord(u"", japanese).bytes[0], 1);
  // At most 20 words: the 21st is not read.
  std::u16string words;
  for (int i = 0; i < 21; ++i) words += (i == 0 ? u"" : u"+") + std::u16string(1, u'A' + i);
  const KeyCodeRecord twenty = BuildShortcutRecord(words, japanese);
  EXPECT_EQ(twenty.bytes[0], 41);
  EXPECT_EQ(twenty.bytes[20], KeyNumberFromVk(u'T', japanese));
  EXPECT_EQ(twenty.bytes[40], KeyNumberFromVk(u'A', japanese) | 0x80);
  // Only the first 127 characters are read.
  std::u16string longText(126, u' ');
  EXPECT_EQ(BuildShortcutRecord(longText + u"A", japanese).bytes[0], 3);
  EXPECT_EQ(BuildShortcutRecord(longText + u" A", japanese).bytes[0], 1);
}

TEST(ShortcutRecord, KeyNumbersComeFromTheLayoutsTable) {
  for (bool other : {false, true}) {
    SCOPED_TRACE(other);
    const KeyTable& table = KeyTableFor(other);
    EXPECT_EQ(StrokesOf(BuildShortcutRecord(u"WIN", table)), (Strokes{68, 68 | 0x80}));
    EXPECT_EQ(StrokesOf(BuildShortcutRecord(u"F1", table)), (Strokes{112, 112 | 0x80}));
    EXPECT_EQ(StrokesOf(BuildShortcutRecord(u"winr+f12+BREAK", table)),
              (Strokes{69, 123, 126, 126 | 0x80, 123 | 0x80, 69 | 0x80}));
    EXPECT_EQ(BuildShortcutRecord(u"F13", table).bytes[0], 1);  // not a key word
  }
}

TEST(LoadShortcuts, ReadsNumberedSectionsUpToTheFirstEmptyKey) {
  MemoryProfiles profiles;
  for (int i = 0; i < 5; ++i) profiles.Set(i, u"CTRL+" + std::u16string(1, u'A' + i), u"説明");
  profiles.Set(5, u"");
  profiles.Set(6, u"CTRL+Z", u"never read");
  ShortcutList list;
  EXPECT_EQ(LoadShortcuts(profiles, u"C:\\prog\\shortcut.ini", list), 5);
  EXPECT_EQ(profiles.lastPath, u"C:\\prog\\shortcut.ini");
  ASSERT_EQ(list.entries.size(), 5u);
  EXPECT_EQ(BoundedView(list.entries[4].keyText), u"CTRL+E");
  EXPECT_EQ(BoundedView(list.entries[4].description), u"説明");
  EXPECT_EQ(list.entries[0].RecordFor(false).bytes[0], 5);

  // A missing section ends it as well; a missing file leaves the list empty.
  profiles.values.clear();
  profiles.Set(0, u"ESC");
  EXPECT_EQ(LoadShortcuts(profiles, u"x.ini", list), 1);
  profiles.exists = false;
  EXPECT_EQ(LoadShortcuts(profiles, u"x.ini", list), 0);
  EXPECT_TRUE(list.entries.empty());
}

TEST(LoadShortcuts, AtMostAHundredEntriesAnd255CharactersEach) {
  MemoryProfiles profiles;
  for (int i = 0; i < 100; ++i) profiles.Set(i, std::u16string(300, u'+') + u"F1");
  profiles.values[{u"shortcut_100", u"key"}] = u"F2";
  ShortcutList list;
  EXPECT_EQ(LoadShortcuts(profiles, u"x.ini", list), 100);
  EXPECT_EQ(BoundedView(list.entries[99].keyText).size(), 255u);
  EXPECT_EQ(list.entries[99].RecordFor(false).bytes[0], 1);  // "F1" lies past 127 characters
}

TEST(LoadShortcuts, RecordsForBothTablesAndOnlyTheListsOwnRecordsAreFound) {
  MemoryProfiles profiles;
  profiles.Set(0, u"SHIFT+2");  // key number 3 in both tables
  ShortcutList list;
  LoadShortcuts(profiles, u"x.ini", list);
  ASSERT_EQ(list.entries.size(), 1u);
  const Shortcut& entry = list.entries[0];
  EXPECT_EQ(entry.RecordFor(true).bytes, entry.RecordFor(false).bytes);
  EXPECT_EQ(FindShortcutRecord(list, &entry.RecordFor(true)), &entry);
  EXPECT_EQ(FindShortcutRecord(list, &entry.RecordFor(false)), &entry);
  const KeyCodeRecord copy = entry.RecordFor(false);
  EXPECT_EQ(FindShortcutRecord(list, &copy), nullptr);
  EXPECT_EQ(FindShortcutRecord(list, nullptr), nullptr);
}

}  // namespace
}  // namespace qv
