// The key-code file dialogs ("*.qvk"), the files on disk and the message boxes of the key-code
// dialogs, over Win32.
#pragma once

#include <windows.h>

#include <commdlg.h>

#include "keycode/key_code_editing.h"

namespace qv {

// The open or save dialog for "*.qvk" as the program shows it, writing the chosen path into
// `file` (kPathChars characters): the open dialog wants an existing file and folder, the save
// dialog asks before it overwrites a file; both hide the read-only box.
OPENFILENAMEW KeyCodeFileDialog(UiWindow owner, wchar_t* file, bool save);

class Win32KeyCodeFiles : public KeyCodeFileSystem {
 public:
  bool ChooseFileToOpen(UiWindow owner, std::u16string& path) override;
  bool ChooseFileToSave(UiWindow owner, std::u16string& path) override;
  bool ReadWholeFile(std::u16string_view path, std::vector<std::uint8_t>& bytes) override;
  bool ReplaceFile(std::u16string_view path, std::span<const std::uint8_t> bytes) override;
};

class Win32EditorMessages : public EditorMessages {
 public:
  int ShowMessage(UiWindow owner, const UiMessage& message) override;
};

}  // namespace qv
