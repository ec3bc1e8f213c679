// Dialogs 134 (key-code settings), 169 (extended settings) and 166 (key check), over the
// decisions of keycode/key_code_editing.h and keycode/extended_settings.h.
#pragma once

#include <windows.h>

#include <functional>

#include "keycode/key_code_editing.h"

namespace qv {

// What dialog 134 works with for one run.
struct KeyCodeSettingsSession {
  KeyCodeEditing* editing = nullptr;
  bool nonJapaneseLayout = false;
  // The key input dialog for edited.selectedKey; 1 when it stored a new record there.
  std::function<INT_PTR(HWND owner)> runKeyInput;
  // The open key input dialog, which gets the focus when dialog 134 is activated; may be empty.
  std::function<HWND()> openKeyInputWindow;
};

// Modal dialog 134: 1 after "設定終了" wrote the edits, 2 after "設定取消" or a link failure.
INT_PTR RunKeyCodeSettingsDialog(HINSTANCE instance, HWND owner, KeyCodeSettingsSession& session);

// Modal dialog 169: 1 after "登録" (pendingStatus set), 2 after "中止". When the key pad's status
// byte cannot be read the user is told and the dialog does not open (2).
INT_PTR RunExtendedSettingsDialog(HINSTANCE instance, HWND owner, KeyCodeEditing& editing);

// Modal dialog 166: the record the program last read from or wrote to the key pad for a key.
void RunKeyCheckDialog(HINSTANCE instance, HWND owner, const KeyCodeRecord& record, int keyIndex,
                       bool nonJapaneseLayout);

}  // namespace qv
