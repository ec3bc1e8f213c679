#include "keycode/key_table.h"

#include <algorithm>

#include "common/bounded_text.h"

namespace qv {
namespace {

// Key numbers are PC/AT key positions; the names are the ones the key-code dialogs show.
constexpr KeyTable kJapaneseTable = {{
    {0x00, u""},                         // 0
    {0x19, u"半角/全角"},                // 1
    {0x31, u"１"},                       // 2
    {0x32, u"２"},                       // 3
    {0x33, u"３"},                       // 4
    {0x34, u"４"},                       // 5
    {0x35, u"５"},                       // 6
    {0x36, u"６"},                       // 7
    {0x37, u"７"},                       // 8
    {0x38, u"８"},                       // 9
    {0x39, u"９"},                       // 10
    {0x30, u"０"},                       // 11
    {0xBD, u"－"},                       // 12
    {0xDE, u"＾"},                       // 13
    {0xDC, u"￥"},                       // 14
    {0x08, u"BackSpace"},                // 15
    {0x09, u"Tab"},                      // 16
    {0x51, u"Ｑ"},                       // 17
    {0x57, u"Ｗ"},                       // 18
    {0x45, u"Ｅ"},                       // 19
    {0x52, u"Ｒ"},                       // 20
    {0x54, u"Ｔ"},                       // 21
    {0x59, u"Ｙ"},                       // 22
    {0x55, u"Ｕ"},                       // 23
    {0x49, u"Ｉ"},                       // 24
    {0x4F, u"Ｏ"},                       // 25
    {0x50, u"Ｐ"},                       // 26
    {0xC0, u"＠"},                       // 27
    {0xDB, u"［"},                       // 28
    {0x00, u""},                         // 29
    {0x14, u"CapsLock"},                 // 30
    {0x41, u"Ａ"},                       // 31
    {0x53, u"Ｓ"},                       // 32
    {0x44, u"Ｄ"},                       // 33
    {0x46, u"Ｆ"},                       // 34
    {0x47, u"Ｇ"},                       // 35
    {0x48, u"Ｈ"},                       // 36
    {0x4A, u"Ｊ"},                       // 37
    {0x4B, u"Ｋ"},                       // 38
    {0x4C, u"Ｌ"},                       // 39
    {0xBB, u"；"},                       // 40
    {0xBA, u"："},                       // 41
    {0xDD, u"］"},                       // 42
    {0x0D, u"Enter"},                    // 43
    {0xA0, u"Shift(左)"},                // 44
    {0x87, u"F24"},                      // 45
    {0x5A, u"Ｚ"},                       // 46
    {0x58, u"Ｘ"},                       // 47
    {0x43, u"Ｃ"},                       // 48
    {0x56, u"Ｖ"},                       // 49
    {0x42, u"Ｂ"},                       // 50
    {0x4E, u"Ｎ"},                       // 51
    {0x4D, u"Ｍ"},                       // 52
    {0xBC, u"，"},                       // 53
    {0xBE, u"．"},                       // 54
    {0xBF, u"／"},                       // 55
    {0xE2, u"＼"},                       // 56
    {0xA1, u"Shift(右)"},                // 57
    {0xA2, u"Ctrl(左)"},                 // 58
    {0x7C, u"F13"},                      // 59
    {0xA4, u"Alt(左)"},                  // 60
    {0x20, u"Space"},                    // 61
    {0xA5, u"Alt(右)"},                  // 62
    {0x7D, u"F14"},                      // 63
    {0xA3, u"Ctrl(右)"},                 // 64
    {0x1D, u"無変換"},                   // 65
    {0x1C, u"変換"},                     // 66
    {0x00, u"カタカナひらがな"},         // 67
    {0x5B, u"Win(左)"},                  // 68
    {0x5C, u"Win(右)"},                  // 69
    {0x5D, u"Apr"},                      // 70
    {0x00, u"[Repeat2]"},                // 71
    {0x00, u"[Delay1]"},                 // 72
    {0x00, u"[Delay2]"},                 // 73
    {0x00, u"[Delay3]"},                 // 74
    {0x2D, u"Insert"},                   // 75
    {0x2E, u"Delete"},                   // 76
    {0x00, u"[Repeat1]"},                // 77
    {0x7E, u"F15"},                      // 78
    {0x25, u"←"},                        // 79
    {0x24, u"Home"},                     // 80
    {0x23, u"End"},                      // 81
    {0x7F, u"F16"},                      // 82
    {0x26, u"↑"},                        // 83
    {0x28, u"↓"},                        // 84
    {0x21, u"PageUp"},                   // 85
    {0x22, u"PageDown"},                 // 86
    {0x80, u"F17"},                      // 87
    {0x81, u"F18"},                      // 88
    {0x27, u"→"},                        // 89
    {0x90, u"NumLock"},                  // 90
    {0x67, u"７(Keypad)"},               // 91
    {0x64, u"４(Keypad)"},               // 92
    {0x61, u"１(Keypad)"},               // 93
    {0x82, u"F19"},                      // 94
    {0x6F, u"／"},                       // 95
    {0x68, u"８(Keypad)"},               // 96
    {0x65, u"５(Keypad)"},               // 97
    {0x62, u"２(Keypad)"},               // 98
    {0x60, u"０(Keypad)"},               // 99
    {0x6A, u"＊"},                       // 100
    {0x69, u"９(Keypad)"},               // 101
    {0x66, u"６(Keypad)"},               // 102
    {0x63, u"３(Keypad)"},               // 103
    {0x6E, u"．"},                       // 104
    {0x6D, u"－"},                       // 105
    {0x6B, u"＋"},                       // 106
    {0x83, u"F20"},                      // 107
    {kVkKeypadEnter, u"Enter(Keypad)"},  // 108
    {0x84, u"F21"},                      // 109
    {0x1B, u"Esc"},                      // 110
    {0x85, u"F22"},                      // 111
    {0x70, u"F1"},                       // 112
    {0x71, u"F2"},                       // 113
    {0x72, u"F3"},                       // 114
    {0x73, u"F4"},                       // 115
    {0x74, u"F5"},                       // 116
    {0x75, u"F6"},                       // 117
    {0x76, u"F7"},                       // 118
    {0x77, u"F8"},                       // 119
    {0x78, u"F9"},                       // 120
    {0x79, u"F10"},                      // 121
    {0x7A, u"F11"},                      // 122
    {0x7B, u"F12"},                      // 123
    {0x2C, u"PrintScreen"},              // 124
    {0x91, u"ScrollLock"},               // 125
    {0x13, u"Pause"},                    // 126
    {0x86, u"F23"},                      // 127
}};

// The non-Japanese layout differs from the 106-key one in these rows only.
constexpr KeyTable MakeOtherTable() {
  KeyTable table = kJapaneseTable;
  table[1] = {0xC0, u"‘"};
  table[13] = {0xBB, u"＝"};
  table[14] = {0x00, u""};
  table[27] = {0xDB, u"［"};
  table[28] = {0xDD, u"］"};
  table[29] = {0xDC, u"＼"};
  table[40] = {0xBA, u"；"};
  table[41] = {0xDE, u"’"};
  table[42] = {0x00, u""};
  table[56] = {0x00, u""};
  table[65] = {0x00, u""};
  table[66] = {0x00, u""};
  table[67] = {0x00, u""};
  table[77] = {0x00, u"Repeat1"};
  return table;
}

constexpr KeyTable kOtherTable = MakeOtherTable();

}  // namespace

const KeyTable& KeyTableFor(bool nonJapaneseLayout) {
  return nonJapaneseLayout ? kOtherTable : kJapaneseTable;
}

std::uint8_t KeyNumberFromVk(std::uint16_t vk, const KeyTable& table) {
  for (int keyNumber = 0; keyNumber < kKeyTableEntries; ++keyNumber) {
    if (table[keyNumber].vk == vk) return static_cast<std::uint8_t>(keyNumber);
  }
  // Codes the tables do not list but a PC keyboard can send for one of the key pad's keys.
  switch (vk) {
    case 0x03:  // VK_CANCEL (Ctrl+Break): the Pause key
      return 126;
    case 0x0C:  // VK_CLEAR: keypad 5 without NumLock
      return 97;
    case 0x14:  // VK_CAPITAL
    case 0x15:  // VK_KANA
      return 30;
    case 0x19:  // VK_KANJI
    case 0xF8:  // VK_ATTN
      return 1;
    case 0xF7:  // VK_CRSEL
      return 65;
    default:
      return 0;
  }
}

bool IsControlEntry(std::uint8_t keyNumber) {
  return (keyNumber >= kRepeat2 && keyNumber <= kDelay3) || keyNumber == kRepeat1;
}

int StrokeCapacityForModel(std::uint16_t productId) {
  return (productId == 4876 || productId == 4877) ? kLargeStrokeCapacity : kSmallStrokeCapacity;
}

int StrokeCount(const KeyCodeRecord& record) {
  const int length = record.length();
  if (length <= 1) return 0;
  return std::min(length - 1, kMaxStrokes);
}

const char16_t* StrokeStateText(std::uint8_t stroke) {
  if (stroke & kStrokeReleaseBit) return kStrokeStateOff;
  if (IsControlEntry(stroke)) return kStrokeStateSet;
  return kStrokeStateOn;
}

std::vector<KeyCodeRow> KeyCodeRows(const KeyCodeRecord& record, const KeyTable& table) {
  const int count = StrokeCount(record);
  std::vector<KeyCodeRow> rows(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const std::uint8_t stroke = record.bytes[static_cast<std::size_t>(i) + 1];
    KeyCodeRow& row = rows[static_cast<std::size_t>(i)];
    BoundedFormat(row.key, u" %s ", {table[stroke & kStrokeKeyMask].name});
    row.state = StrokeStateText(stroke);
  }
  return rows;
}

int KeyCodeListScrollDistance(const KeyCodeRecord& record) {
  const int length = record.length() < kRecordBytes ? record.length() : kRecordBytes;
  return length * kKeyCodeRowScroll;
}

}  // namespace qv
