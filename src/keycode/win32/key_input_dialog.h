// The key input dialog (dialog 135, "キー入力"): builds a new key code for one key from the PC
// keyboard, captured by a low-level keyboard hook while the dialog is active, from its buttons,
// from the key pad's factory default of the key and from the shortcut list.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "common/key_code_record.h"
#include "keycode/key_code_store.h"
#include "keycode/shortcuts.h"

namespace qv {

struct KeyInputSession {
  EditedKeyCodes* edited = nullptr;  // selectedKey set by the caller (0-based)
  std::uint16_t productId = 0;       // model rules (capacity, button groups)
  bool nonJapaneseLayout = false;
  // Reads the key pad's factory default of a key number (1-based); false when the read failed.
  std::function<bool(int keyNumber, KeyCodeRecord& record)> readDefaultKeyCode;
  const ShortcutList* shortcuts = nullptr;  // may be empty
};

// Modal dialog 135 over owner; 1 = the record was stored at edited->selectedKey, 2 = cancelled
// (also, without a dialog, when there is no key to edit or a key input dialog is already open).
INT_PTR RunKeyInputDialog(HWND owner, KeyInputSession& session);

// The open key input dialog, or nullptr (the settings dialog gives it the focus when activated).
HWND OpenKeyInputWindow();

}  // namespace qv
