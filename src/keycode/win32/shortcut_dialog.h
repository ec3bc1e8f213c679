// The shortcut list window (dialog 136, "ショートカット"), modeless over the key input dialog: one
// row per shortcut; "入力" (or a double click) sends the chosen shortcut's key code to the key
// input dialog.
#pragma once

#include <windows.h>

#include "keycode/shortcuts.h"

namespace qv {

struct ShortcutDialogContext {
  const ShortcutList* shortcuts = nullptr;
  bool nonJapaneseLayout = false;
  HWND keyInput =
      nullptr;  // receives the record; its "ショートカットキー" is enabled again at the end
  HWND window = nullptr;  // the open list window, null once it is gone

  // The list window's messages (its procedure is DialogProcOf<ShortcutDialogContext>).
  INT_PTR HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
};

// Creates dialog 136 owned by context.keyInput (hidden; the caller places and shows it). The
// context must outlive the window.
HWND CreateShortcutDialog(ShortcutDialogContext& context);

}  // namespace qv
