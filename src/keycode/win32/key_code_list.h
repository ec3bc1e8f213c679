// The key-code list of the key-code dialogs: list view control 1007 showing one row per stroke of
// a record, the key's name in the first column and the stroke's state in the second.
#pragma once

#include <windows.h>

#include "common/ids.h"
#include "common/key_code_record.h"

namespace qv {

inline constexpr COLORREF kKeyCodeTextColour = RGB(0, 0, 255);

// Inserts a left-aligned report column in front of the list's existing columns (a title of at
// most 31 characters).
void InsertListColumn(HWND list, const char16_t* title, int width, int subItem);

// Prepares list 1007 of the dialog: full-row select, blue text, and the columns "キー" (60 %)
// and "状態" (40 %) of the list's client width less a vertical scroll bar.
void InitKeyCodeList(HWND dialog);

// Empties list 1007 and adds one row per stroke of the record, in record order: " name " of the
// stroke's key from the table of the keyboard layout, and "ON", "OFF" or "SET". With scrollToEnd
// the list is then scrolled down by L x 16 pixels, bringing the last rows into view.
void ShowKeyCode(HWND dialog, const KeyCodeRecord& record, bool scrollToEnd,
                 bool nonJapaneseLayout);

}  // namespace qv
