// The stores of key codes: the per-key-pad mirror of what each key pad holds and the one editing
// copy of the key pad being configured.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

#include "common/key_code_record.h"

namespace qv {

// "No extended setting pending" in EditedKeyCodes::pendingStatus.
inline constexpr std::uint8_t kNoPendingStatus = 255;

// The editing copy of one key pad's key codes.
struct EditedKeyCodes {
  KeyCodeRecords records{};                       // index = key number - 1
  std::array<bool, kMaxKeys> changed{};           // set by the key input dialog or an import
  int selectedButton = -1;                        // key button index (control id - 1500), or -1
  int selectedKey = -1;                           // key index being edited (0-based), or -1
  int page = 1;                                   // 1..6 on the paged models
  bool imported = false;                          // a file was imported in the current dialog
  std::uint8_t pendingStatus = kNoPendingStatus;  // status byte still to be written
};

// For every key pad slot, the records last read from or written to that key pad. The soft
// keyboards read it on their own threads while the main thread may write it: a read from another
// thread and every write while a soft keyboard runs hold `mutex`.
struct DeviceKeyCodeCache {
  std::array<KeyCodeRecords, kMaxKeyPads> slots{};
  mutable std::mutex mutex;
};

}  // namespace qv
