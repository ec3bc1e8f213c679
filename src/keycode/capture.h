// The keyboard capture of the key input dialog (dialog 135): the capture state, the editing
// rules every path of entry obeys, the hook's decision for one low-level key event, the rules of
// the key input dialog's buttons, and the finishing that gives every held key its release.
//
// Whatever the path (keyboard, buttons, a replayed default key code or shortcut), a finished key
// code fits in the 60 strokes of a KeyCodeRecord: an entry is refused when the record, finished
// at that moment, would need more (FinishedLength).
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>

#include "common/key_code_record.h"
#include "keycode/key_table.h"

namespace qv {

struct CaptureState {
  std::array<std::uint8_t, kMaxStrokes> entries{};
  int length = 0;        // entries in use
  int controlCount = 0;  // control entries (0x47..0x4A, 0x4D) among them
  int capacity = kSmallStrokeCapacity;
  bool repeat1Mode = false;  // "[Repeat1]" entered at the start or after a release or a delay
  bool complete = false;     // the key code is finished: the hook records nothing more
  bool keyHeld = false;      // set by the hook on a press, cleared on a release
  std::uint16_t heldVk = 0;  // VK of the last key pressed
};

// Length, controlCount, complete and repeat1Mode to 0.
void ResetCapture(CaptureState& state);

// The state's part of InstallCaptureHook: with `reset` the capture starts afresh; the capacity
// follows the model in either case.
void BeginCapture(CaptureState& state, std::uint16_t productId, bool reset);

// Entries with bit 7 clear, control entries included.
int PressCount(const CaptureState& state);
// Key presses (control entries not counted) and releases.
int KeyPressCount(const CaptureState& state);
int ReleaseCount(const CaptureState& state);

// The number of entries once finished: length plus a release for every press left unpaired.
int FinishedLength(const CaptureState& state);

// Appends one stroke under the editing rules; returns whether it was accepted. Used to replay
// records. A press or control entry is refused once the presses reach half the capacity; any
// entry once length + controlCount reaches the capacity; a repeat entry while a key is held or
// after anything but a release or a delay; "[Repeat2]" after unbalanced entries. "[Repeat1]"
// sets repeat1Mode; "[Repeat2]" after other entries, and any entry making two or more in
// repeat1Mode, completes the key code. Appending goes on even once complete. A stroke after which
// the finished record would exceed 60 strokes is refused too (replayed releases are not matched
// against presses, so they can leave presses owing).
bool AddEntry(CaptureState& state, std::uint8_t stroke);

// ResetCapture, then every stroke of the record (at most 60, whatever its length byte says)
// through AddEntry; refused strokes are left out. Returns how many were accepted.
int ReplayRecord(CaptureState& state, const KeyCodeRecord& record);

// The finishing of RemoveCaptureHook: pairs each key press with the first not yet paired
// release of the same key after it (control entries count as paired) and then, from the last
// entry to the first, appends a release for every press left unpaired, so the most recent press
// is released first. No key is held afterwards; when a release was appended in repeat1Mode, the
// repeated key has ended the key code as its own release would have (complete is set). Returns
// the number of releases appended.
int FinishCapture(CaptureState& state);

// The record the dialog shows and stores: L = length + 1 and the entries.
KeyCodeRecord CaptureRecord(const CaptureState& state);

// A default key code as the key pad answered it (ReadDefaultKeyCode): a length byte of 0 is an
// empty key (L = 1); one above 61 is not a record and counts as a failed read. True when `read`
// is to be used.
bool AcceptDefaultKeyCode(bool readOk, KeyCodeRecord& read);

// ---------------------------------------------------------------- the hook's decision

// One low-level keyboard event as the hook procedure received it.
struct KeyEvent {
  bool action = true;     // hook code HC_ACTION
  std::uint16_t vk = 0;   // virtual-key code of the event
  bool extended = false;  // extended-key flag
  bool release = false;   // WM_KEYUP / WM_SYSKEYUP (else WM_KEYDOWN / WM_SYSKEYDOWN)
};

struct CaptureVerdict {
  bool passOn = false;    // the event goes to the next hook (else it is swallowed)
  bool beep = false;      // refused: MessageBeep(MB_ICONEXCLAMATION)
  bool appended = false;  // a stroke was appended: post kEntriesChangedMessage (newLength, vk)
  std::uint8_t stroke = 0;
  int newLength = 0;
  std::uint16_t vk = 0;          // the event's VK, 0x800D for the keypad Enter
  bool lockEditButtons = false;  // first key after "[Repeat1]": disable 1021..1025
};

// A key message that reached the dialog's own thread (WM_KEYDOWN, WM_KEYUP or their WM_SYS forms,
// with their wParam and lParam) as the low-level hook would have seen it. Such a message names
// Shift, Ctrl and Alt without their side; the side comes from the scan code (right Shift) or the
// extended flag (right Ctrl and Alt), as the key table records the sides apart.
KeyEvent KeyEventFromKeyMessage(std::uint16_t vk, std::uint32_t lParam);

// The decision for one low-level key event (steps 1..8 of the hook procedure): what happens to
// the event, and the change to the state. NumLock is recorded and still passed on, so the PC's
// NumLock state toggles; an auto-repeated press adds nothing.
CaptureVerdict OnCaptureKey(CaptureState& state, const KeyEvent& event, const KeyTable& table);

// ---------------------------------------------------------------- the dialog's buttons

// The buttons whose state the capture rules maintain.
inline constexpr int kKeyInputButtonCount = 7;
enum class KeyInputButton : int {
  kRepeat1 = 0,  // 1020 "リピート1"
  kRepeat2,      // 1026 "リピート2"
  kDelay1,       // 1021
  kDelay2,       // 1022
  kDelay3,       // 1023
  kHankaku,      // 1024 "半角/全角"
  kKatakana,     // 1025 "カタカナひらがな"
};

enum class ButtonChange : std::uint8_t { kKeep, kEnable, kDisable };

struct ButtonPlan {
  std::array<ButtonChange, kKeyInputButtonCount> change{};  // all kKeep
  bool focusToDialog = false;

  ButtonChange& operator[](KeyInputButton button) { return change[static_cast<int>(button)]; }
  ButtonChange operator[](KeyInputButton button) const { return change[static_cast<int>(button)]; }
  void Set(std::initializer_list<KeyInputButton> buttons, ButtonChange to) {
    for (KeyInputButton button : buttons) (*this)[button] = to;
  }
};

// Model groups of the key input dialog, by product id.
struct KeyInputModel {
  bool repeatDelayHidden = false;  // 1618, 1804: 1020, 1026, 1021..1023 hidden
  bool groupA = false;             // buttons maintained by "初期設定" and "消去"
  bool groupB = false;  // buttons maintained after every capture update and a loaded shortcut
};
KeyInputModel KeyInputModelFor(std::uint16_t productId);

// What a button press did: refused (beep, nothing changed) or the number of entries appended
// (each notified with kEntriesChangedMessage) and the button states that follow.
struct ButtonOutcome {
  bool accepted = false;
  int appended = 0;
  ButtonPlan plan;
};

// 1024 / 1025: the press and release of key number 0x01 ("半角/全角") or 0x43 ("カタカナひらがな").
ButtonOutcome PressJapaneseKey(CaptureState& state, std::uint8_t keyNumber);
// 1020 "[Repeat1]" and 1026 "[Repeat2]".
ButtonOutcome PressRepeat1(CaptureState& state);
ButtonOutcome PressRepeat2(CaptureState& state);
// 1021..1023: delay 0x48, 0x49 or 0x4A.
ButtonOutcome PressDelay(CaptureState& state, std::uint8_t delay);

// The button states after "初期設定" (1010, the default replayed), after "消去" (1011), after an
// entries-changed notification (kEntriesChangedMessage) and after a loaded shortcut
// (kLoadRecordMessage).
ButtonPlan PlanAfterDefaultLoad(const CaptureState& state, std::uint16_t productId);
ButtonPlan PlanAfterClear(std::uint16_t productId);
ButtonPlan PlanAfterEntriesChanged(const CaptureState& state, std::uint16_t productId);
ButtonPlan PlanAfterRecordLoaded(const CaptureState& state, std::uint16_t productId);

}  // namespace qv
