// Whether the soft keyboards may be seen, and what the shell asks of them while its commands run.
#pragma once

#include <atomic>
#include <cstdint>

#include "access/key_pad_table.h"

namespace qv {

// The one rule for showing a soft keyboard: its key pad is not Locked and the touch function is
// on. (Whether the slot has a soft keyboard window at all is the window side's to know.)
bool MayShowSoftKeyboard(const KeyPadTable& table, int slot, bool touchEnabled);

// The soft keyboards of the slots as the shell sees them.
class SoftKeyboardVisibility {
 public:
  virtual ~SoftKeyboardVisibility() = default;
  virtual bool SoftKeyboardWindowExists(int slot) = 0;
  // The soft keyboard is on the screen now (keyboardShown).
  virtual bool KeyboardShown(int slot) = 0;
  // The user hid it to its info icon (hiddenToIcon): it comes back as the icon, not the keyboard.
  virtual bool HiddenToIcon(int slot) = 0;
  // Shows the slot's soft keyboard when MayShowSoftKeyboard allows it, or hides it (to its info
  // icon when `iconWhenHidden`); a slot without a soft keyboard window is left alone.
  virtual void SetSoftKeyboardVisible(int slot, bool show, bool iconWhenHidden) = 0;
  // Takes the soft keyboard off the screen for a command: lays out its current page, hides its
  // info icon, makes it fully opaque, clears keyboardShown and hides the window.
  virtual void HideForCommand(int slot) = 0;
  // Brings the soft keyboard forward for a second start: lays out its current page, hides its
  // info icon, sets keyboardShown and shows the window without activating it.
  virtual void ShowRevealed(int slot) = 0;
};

}  // namespace qv
