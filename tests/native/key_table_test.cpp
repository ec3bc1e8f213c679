#include "keycode/key_table.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

#include "common/bounded_text.h"

namespace qv {
namespace {

using Entry = std::pair<std::uint16_t, std::u16string>;

Entry At(const KeyTable& table, int keyNumber) {
  return {table[keyNumber].vk, table[keyNumber].name};
}

KeyCodeRecord MakeRecord(std::initializer_list<std::uint8_t> strokes) {
  KeyCodeRecord record;
  record.bytes[0] = static_cast<std::uint8_t>(strokes.size() + 1);
  std::size_t i = 1;
  for (std::uint8_t stroke : strokes) record.bytes[i++] = stroke;
  return record;
}

TEST(KeyTable, LayoutsDifferExactlyInTheirOwnRows) {
  const KeyTable& japanese = KeyTableFor(false);
  const KeyTable& other = KeyTableFor(true);
  const std::map<int, std::pair<Entry, Entry>> expected = {
      {1, {{0x19, u"半角/全角"}, {0xC0, u"‘"}}},
      {13, {{0xDE, u"＾"}, {0xBB, u"＝"}}},
      {14, {{0xDC, u"￥"}, {0x00, u""}}},
      {27, {{0xC0, u"＠"}, {0xDB, u"［"}}},
      {28, {{0xDB, u"［"}, {0xDD, u"］"}}},
      {29, {{0x00, u""}, {0xDC, u"＼"}}},
      {40, {{0xBB, u"；"}, {0xBA, u"；"}}},
      {41, {{0xBA, u"："}, {0xDE, u"’"}}},
      {42, {{0xDD, u"］"}, {0x00, u""}}},
      {56, {{0xE2, u"＼"}, {0x00, u""}}},
      {65, {{0x1D, u"無変換"}, {0x00, u""}}},
      {66, {{0x1C, u"変換"}, {0x00, u""}}},
      {67, {{0x00, u"カタカナひらがな"}, {0x00, u""}}},
      {77, {{0x00, u"[Repeat1]"}, {0x00, u"Repeat1"}}},
  };
  for (int keyNumber = 0; keyNumber < kKeyTableEntries; ++keyNumber) {
    SCOPED_TRACE(keyNumber);
    ASSERT_NE(japanese[keyNumber].name, nullptr);
    ASSERT_NE(other[keyNumber].name, nullptr);
    auto it = expected.find(keyNumber);
    if (it == expected.end()) {
      EXPECT_EQ(At(japanese, keyNumber), At(other, keyNumber));
    } else {
      EXPECT_EQ(At(japanese, keyNumber), it->second.first);
      EXPECT_EQ(At(other, keyNumber), it->second.second);
    }
  }
}

TEST(KeyTable, SharedRowsCarryTheirCodesAndNames) {
  for (bool nonJapanese : {false, true}) {
    const KeyTable& table = KeyTableFor(nonJapanese);
    EXPECT_EQ(At(table, 2), Entry(0x31, u"１"));
    EXPECT_EQ(At(table, 17), Entry(0x51, u"Ｑ"));
    EXPECT_EQ(At(table, 43), Entry(0x0D, u"Enter"));
    EXPECT_EQ(At(table, 44), Entry(0xA0, u"Shift(左)"));
    EXPECT_EQ(At(table, 61), Entry(0x20, u"Space"));
    EXPECT_EQ(At(table, 71), Entry(0x00, u"[Repeat2]"));
    EXPECT_EQ(At(table, 91), Entry(0x67, u"７(Keypad)"));
    EXPECT_EQ(At(table, 108), Entry(0x800D, u"Enter(Keypad)"));
    EXPECT_EQ(At(table, 123), Entry(0x7B, u"F12"));
    EXPECT_EQ(At(table, 126), Entry(0x13, u"Pause"));
    EXPECT_EQ(At(table, 127), Entry(0x86, u"F23"));
  }
}

TEST(KeyTable, KeyNumberFromVkMatchesThenFallsBack) {
  const KeyTable& japanese = KeyTableFor(false);
  const KeyTable& other = KeyTableFor(true);
  for (const KeyTable* table : {&japanese, &other}) {
    EXPECT_EQ(KeyNumberFromVk(0x0D, *table), 43);
    EXPECT_EQ(KeyNumberFromVk(0x800D, *table), 108);
    EXPECT_EQ(KeyNumberFromVk(0x15, *table), 30);
    EXPECT_EQ(KeyNumberFromVk(0x14, *table), 30);
    EXPECT_EQ(KeyNumberFromVk(0x03, *table), 126);
    EXPECT_EQ(KeyNumberFromVk(0x0C, *table), 97);
    EXPECT_EQ(KeyNumberFromVk(0xF8, *table), 1);
    EXPECT_EQ(KeyNumberFromVk(0xF7, *table), 65);
    EXPECT_EQ(KeyNumberFromVk(0x19, *table), 1);
    EXPECT_EQ(KeyNumberFromVk(0xFF, *table), 0);
    EXPECT_EQ(KeyNumberFromVk(0x8021, *table), 0);  // an extended mark the tables do not list
    EXPECT_EQ(KeyNumberFromVk(0x00, *table), 0);
  }
  // The first matching row wins: 0xC0 is '@' (27) on the 106-key layout, '`' (1) on the other.
  EXPECT_EQ(KeyNumberFromVk(0xC0, japanese), 27);
  EXPECT_EQ(KeyNumberFromVk(0xC0, other), 1);
  EXPECT_EQ(KeyNumberFromVk(0xDC, japanese), 14);
  EXPECT_EQ(KeyNumberFromVk(0xDC, other), 29);
  EXPECT_EQ(KeyNumberFromVk(0xE2, japanese), 56);
  EXPECT_EQ(KeyNumberFromVk(0xE2, other), 0);
  EXPECT_EQ(KeyNumberFromVk(0x1D, japanese), 65);
  EXPECT_EQ(KeyNumberFromVk(0x1D, other), 0);
}

TEST(KeyTable, ControlEntriesAndStrokeCapacity) {
  for (int keyNumber = 0; keyNumber < kKeyTableEntries; ++keyNumber) {
    const bool control = keyNumber == 0x47 || keyNumber == 0x48 || keyNumber == 0x49 ||
                         keyNumber == 0x4A || keyNumber == 0x4D;
    EXPECT_EQ(IsControlEntry(static_cast<std::uint8_t>(keyNumber)), control) << keyNumber;
  }
  EXPECT_EQ(StrokeCapacityForModel(4876), 60);
  EXPECT_EQ(StrokeCapacityForModel(4877), 60);
  for (std::uint16_t productId :
       {1618, 1804, 1871, 1872, 1887, 1911, 4644, 4645, 4647, 5162, 6245, 0}) {
    EXPECT_EQ(StrokeCapacityForModel(productId), 40) << productId;
  }
}

TEST(KeyCodeRows, RendersKeyNameAndState) {
  const KeyCodeRecord record =
      MakeRecord({32, 44, 31, 31 | 0x80, 44 | 0x80, 0x4D, 0xCD, 0x47, 0x48, 0x4A, 108, 0});
  const std::vector<KeyCodeRow> rows = KeyCodeRows(record, KeyTableFor(false));
  ASSERT_EQ(rows.size(), 12u);
  const std::pair<std::u16string, std::u16string> expected[] = {
      {u" Ｓ ", u"ON"},         {u" Shift(左) ", u"ON"},     {u" Ａ ", u"ON"},
      {u" Ａ ", u"OFF"},        {u" Shift(左) ", u"OFF"},    {u" [Repeat1] ", u"SET"},
      {u" [Repeat1] ", u"OFF"}, {u" [Repeat2] ", u"SET"},    {u" [Delay1] ", u"SET"},
      {u" [Delay3] ", u"SET"},  {u" Enter(Keypad) ", u"ON"}, {u"  ", u"ON"},
  };
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(std::u16string(BoundedView(rows[i].key)), expected[i].first);
    EXPECT_EQ(std::u16string(rows[i].state), expected[i].second);
  }
}

TEST(KeyCodeRows, OtherLayoutNamesAndEmptyRecords) {
  const KeyCodeRecord record = MakeRecord({14, 29, 42 | 0x80, 77});
  const std::vector<KeyCodeRow> rows = KeyCodeRows(record, KeyTableFor(true));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(std::u16string(BoundedView(rows[0].key)), u"  ");
  EXPECT_EQ(std::u16string(BoundedView(rows[1].key)), u" ＼ ");
  EXPECT_EQ(std::u16string(BoundedView(rows[2].key)), u"  ");
  EXPECT_EQ(std::u16string(rows[2].state), u"OFF");
  EXPECT_EQ(std::u16string(BoundedView(rows[3].key)), u" Repeat1 ");
  EXPECT_EQ(std::u16string(rows[3].state), u"SET");

  KeyCodeRecord empty;
  empty.bytes[1] = 31;  // bytes after the strokes carry no meaning
  for (std::uint8_t length : {0, 1}) {
    empty.bytes[0] = length;
    EXPECT_TRUE(KeyCodeRows(empty, KeyTableFor(false)).empty()) << int(length);
    EXPECT_EQ(StrokeCount(empty), 0);
  }
}

TEST(KeyCodeRows, OverlongLengthStaysInsideTheRecord) {
  KeyCodeRecord record;
  for (std::size_t i = 1; i < record.bytes.size(); ++i) record.bytes[i] = 31;
  record.bytes[60] = 43 | 0x80;  // the last stroke byte
  for (int length : {61, 62, 200, 255}) {
    record.bytes[0] = static_cast<std::uint8_t>(length);
    EXPECT_EQ(StrokeCount(record), 60);
    const std::vector<KeyCodeRow> rows = KeyCodeRows(record, KeyTableFor(false));
    ASSERT_EQ(rows.size(), 60u) << length;
    EXPECT_EQ(std::u16string(BoundedView(rows[59].key)), u" Enter ");
    EXPECT_EQ(std::u16string(rows[59].state), u"OFF");
  }
}

}  // namespace
}  // namespace qv
