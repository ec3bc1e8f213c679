// The key tables: for each of the key pad's 128 key numbers the Windows virtual-key code and the
// display name, in a Japanese 106-key and a non-Japanese variant; the control entries of a key
// code; and the rows of the key-code list that the key-code dialogs show for a record.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/key_code_record.h"

namespace qv {

inline constexpr int kKeyTableEntries = 128;

// A stroke byte: key number in bits 0-6, bit 7 set for a release.
inline constexpr std::uint8_t kStrokeReleaseBit = 0x80;
inline constexpr std::uint8_t kStrokeKeyMask = 0x7F;

// Control entries of a key code (always stored as presses, never released).
inline constexpr std::uint8_t kRepeat1 = 0x4D;
inline constexpr std::uint8_t kRepeat2 = 0x47;
inline constexpr std::uint8_t kDelay1 = 0x48;
inline constexpr std::uint8_t kDelay2 = 0x49;
inline constexpr std::uint8_t kDelay3 = 0x4A;

// High byte 0x80 of a table VK code marks an extended key; the keypad Enter is VK_RETURN with it.
inline constexpr std::uint16_t kExtendedKeyMark = 0x8000;
inline constexpr std::uint16_t kVkKeypadEnter = 0x800D;

// Strokes a captured record may hold: 60 for product ids 4876 and 4877, 40 for every other model.
inline constexpr int kLargeStrokeCapacity = 60;
inline constexpr int kSmallStrokeCapacity = 40;

struct KeyTableEntry {
  std::uint16_t vk = 0;        // 0: never captured from the PC keyboard
  const char16_t* name = u"";  // display name, never null
};

using KeyTable = std::array<KeyTableEntry, kKeyTableEntries>;

// The Japanese 106-key table when nonJapaneseLayout is clear, the other table when it is set.
const KeyTable& KeyTableFor(bool nonJapaneseLayout);

// The key number of a 16-bit VK code (extended mark included): the first table entry with that
// code, else the fallbacks for codes the tables do not list (Pause, Clear, CapsLock/Kana, the
// input-method keys), else 0. Key number 0 is a valid result.
std::uint8_t KeyNumberFromVk(std::uint16_t vk, const KeyTable& table);

// True for the key numbers of the repeat and delay entries (0x47..0x4A, 0x4D).
bool IsControlEntry(std::uint8_t keyNumber);

int StrokeCapacityForModel(std::uint16_t productId);

// Number of strokes a record holds: L - 1, with L = 0 counted as 1 and never more than the 60
// stroke bytes the record has room for.
int StrokeCount(const KeyCodeRecord& record);

// Texts of the key-code list's state column.
inline constexpr char16_t kStrokeStateOn[] = u"ON";
inline constexpr char16_t kStrokeStateOff[] = u"OFF";
inline constexpr char16_t kStrokeStateSet[] = u"SET";

// The state column of one stroke: "OFF" for a release (tested first, so 0xCD is "OFF"), "SET"
// for a control entry, "ON" for any other press.
const char16_t* StrokeStateText(std::uint8_t stroke);

// One row of the key-code list.
struct KeyCodeRow {
  static constexpr std::size_t kKeyChars = 32;
  char16_t key[kKeyChars] = {};  // " %s " with the name of the stroke's key number
  const char16_t* state = kStrokeStateOn;
};

// The list rows of a record, one per stroke in record order; none for a record with L <= 1.
std::vector<KeyCodeRow> KeyCodeRows(const KeyCodeRecord& record, const KeyTable& table);

// Pixels the key-code list scrolls per unit of the record's length when it is brought to its
// end, and the distance for a record: L x 16, with a length beyond the record's 61 bytes taken as
// 61 (a damaged length byte shows no more rows than the record holds).
inline constexpr int kKeyCodeRowScroll = 16;
int KeyCodeListScrollDistance(const KeyCodeRecord& record);

}  // namespace qv
