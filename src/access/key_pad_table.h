// The table of attached key pads: up to 16 slots, each with its opened link, its identity and
// its access state, plus the process-wide flags that the scans, the presence check and the key
// pad commands share.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/bounded_text.h"
#include "common/key_code_record.h"
#include "device/device_link.h"

namespace qv {

// Access state of a slot.
enum class AccessState : std::uint8_t {
  Locked = 0,         // has a password, not authenticated by this program
  Authenticated = 1,  // has a password and is authenticated
  Open = 2,           // has no password
};

// "No slot" in KeyPadTable::menuKeyPad and KeyPadTable::commandKeyPad.
inline constexpr std::uint16_t kNoKeyPad = 0xFFFF;
inline constexpr int kNoCommandKeyPad = -1;

// softKeyAuthenticated values.
inline constexpr std::uint8_t kSoftKeyNotAuthenticated = 0;
inline constexpr std::uint8_t kSoftKeyAuthenticated = 1;
inline constexpr std::uint8_t kSoftKeyNoPassword = 2;

// One slot. The soft keyboard thread of the slot reads the access values while the main thread
// may change them, so those are atomic; link, identity and serial number change only while the
// slot's soft keyboard is closed.
struct KeyPadSlot {
  DeviceLink link;
  std::uint32_t modelIdentity = 0;  // 0: no key pad, or its information was not read
  std::uint32_t serialNumber = 0;
  std::atomic<AccessState> accessState{AccessState::Locked};
  std::atomic<bool> authDeclined{false};  // the user cancelled the prompt: no connection prompt
  std::atomic<std::uint8_t> softKeyAuthenticated{kSoftKeyNotAuthenticated};
  std::atomic<bool> settingsLocked{false};  // "設定禁止" of the soft keyboard menu
};

// The per-slot values a rescan carries from a key pad's old slot to its new one.
struct CarriedAccess {
  bool authDeclined = false;
  AccessState accessState = AccessState::Locked;
  std::uint8_t softKeyAuthenticated = kSoftKeyNotAuthenticated;
  bool settingsLocked = true;
};

// One instance per program (tests create their own); a fresh table is the cleared table.
struct KeyPadTable {
  KeyPadTable() = default;
  KeyPadTable(const KeyPadTable&) = delete;
  KeyPadTable& operator=(const KeyPadTable&) = delete;

  std::array<KeyPadSlot, kMaxKeyPads> slots;
  // Key pads counted by the last scan, at most 16: slots 0 .. keyPadCount-1 are meaningful.
  std::atomic<std::uint16_t> keyPadCount{0};
  // The slot the current command, dialog or password prompt works on.
  std::atomic<std::uint16_t> selectedKeyPad{0};
  // A command holds selectedKeyPad; the presence check watches that key pad meanwhile.
  std::atomic<bool> commandActive{false};
  // Result of the last presence check; commands and dialogs stop their work when it is false.
  std::atomic<bool> keyPadPresent{true};
  // A command or a modal dialog of the shell runs; icon clicks are ignored meanwhile.
  std::atomic<bool> modalActive{false};
  // The console is locked or disconnected: the monitor timers do nothing.
  std::atomic<bool> consoleInactive{false};
  // The notification-area menu is open: rescans wait until it has closed.
  std::atomic<bool> trayMenuOpen{false};
  // The password prompt is opened by a soft keyboard for its own authentication.
  std::atomic<bool> softKeyAuthMode{false};
  // The slot the running command (or connection-time prompt) chose, kNoCommandKeyPad before it
  // has chosen one: the presence check watches this key pad, whatever selectedKeyPad says.
  std::atomic<int> commandKeyPad{-1};
  // The status byte the running command read from commandKeyPad before it wrote the editing
  // value there, or -1 while that key pad holds no editing value of the command: the resume
  // value is built on it when the session ends before the command could write it.
  std::atomic<int> editingStatus{-1};
  // A presence check is running (its message box's loop can run the timer again).
  std::atomic<bool> presenceCheckRunning{false};
  // A rescan is rebuilding the table. While it waits for a soft keyboard to close, the main
  // thread still handles sent messages: a command a soft keyboard sends then must not run.
  std::atomic<bool> rescanRunning{false};
  // The slot the soft keyboard menu dialog was last opened for.
  std::atomic<std::uint16_t> menuKeyPad{kNoKeyPad};
};

// modalActive is taken by whoever opens a command or a shell dialog: the shell's command bracket,
// its main menu dialog, and a soft keyboard's menu and its commands, each on its own thread. It is
// taken with one atomic exchange, never checked and then set, so two of them can never both run
// on the one editing copy and the links, and none of them puts back a value another has set.
// True when it was free and now belongs to the caller, who ends with ReleaseModal.
inline bool TakeModal(KeyPadTable& table) {
  return !table.modalActive.exchange(true);
}
inline void ReleaseModal(KeyPadTable& table) {
  table.modalActive = false;
}

inline bool IsSlot(int slot) {
  return slot >= 0 && slot < kMaxKeyPads;
}

// The slots that the last scan counted.
inline int CountedSlots(const KeyPadTable& table) {
  int count = table.keyPadCount.load();
  return count < kMaxKeyPads ? count : kMaxKeyPads;
}

CarriedAccess TakeCarriedAccess(const KeyPadSlot& slot);
void InstallCarriedAccess(KeyPadSlot& slot, const CarriedAccess& access);

// The key pad's own folder for its soft-key images and captions: softKeyFolder (ending with
// "\"), the product id as four lower-case hex digits and the serial number as six decimal
// digits, e.g. "...\softkey\130d000007". False, with an empty folder, for a slot out of range or
// a path that does not fit: a cut path would name another key pad's folder.
bool KeyPadFolder(const KeyPadTable& table, std::u16string_view softKeyFolder, int slot,
                  char16_t (&folder)[kPathChars]);

}  // namespace qv
