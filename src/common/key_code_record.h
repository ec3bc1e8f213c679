// One key's key code as the key pad stores it, and the sizes the key pads' tables share: keys,
// key pads and pages.
#pragma once

#include <array>
#include <cstdint>

namespace qv {

inline constexpr int kMaxKeys = 144;     // keys of the largest model
inline constexpr int kMaxStrokes = 60;   // stroke bytes a record has room for
inline constexpr int kRecordBytes = 61;  // length byte and 60 stroke bytes
inline constexpr int kMaxKeyPads = 16;   // slots of the key pad table
// The paged 144-key models show their keys in six pages of 24; the soft keyboard and the
// key-code settings dialog show one page tab or page button per page in front of the keys.
inline constexpr int kPageCount = 6;
inline constexpr int kKeysPerPage = 24;

// Byte 0: length L = 1 + number of strokes (1 = empty key); bytes 1..60: strokes, L - 1 of
// them meaningful. A stroke is a key number (bits 0-6) with bit 7 set for a release.
struct KeyCodeRecord {
  std::array<std::uint8_t, kRecordBytes> bytes{};

  std::uint8_t length() const { return bytes[0]; }
  bool operator==(const KeyCodeRecord&) const = default;
};

using KeyCodeRecords = std::array<KeyCodeRecord, kMaxKeys>;

}  // namespace qv
