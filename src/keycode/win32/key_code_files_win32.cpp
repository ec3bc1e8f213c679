#include "keycode/win32/key_code_files_win32.h"

#include "common/bounded_text.h"
#include "common/win32/owned.h"
#include "common/win32/ui_message_win32.h"
#include "common/win32/wait_cursor.h"
#include "common/win32/wide.h"

namespace qv {
namespace {

// "キーコードファイル(*.qvk)" with the pattern "*.qvk", as the file dialogs' one filter.
constexpr wchar_t kFilter[] = L"キーコードファイル(*.qvk)\0*.qvk\0\0";
// A key-code file is at most 16 + 4 + 144 x 61 bytes; anything past this is never read.
constexpr DWORD kMostBytesRead = 64 * 1024;

bool RunFileDialog(UiWindow owner, std::u16string& path, bool save) {
  wchar_t file[kPathChars] = {};
  OPENFILENAMEW dialog = KeyCodeFileDialog(owner, file, save);
  const bool chosen =
      save ? GetSaveFileNameW(&dialog) != FALSE : GetOpenFileNameW(&dialog) != FALSE;
  ShowWaitCursorAgain();
  if (!chosen) return false;
  path = Utf16(file);
  return true;
}

}  // namespace

OPENFILENAMEW KeyCodeFileDialog(UiWindow owner, wchar_t* file, bool save) {
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = reinterpret_cast<HWND>(owner);
  dialog.lpstrFilter = kFilter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file;
  dialog.nMaxFile = kPathChars;
  if (save) {
    dialog.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    dialog.lpstrDefExt = L"";
  } else {
    dialog.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
  }
  return dialog;
}

bool Win32KeyCodeFiles::ChooseFileToOpen(UiWindow owner, std::u16string& path) {
  return RunFileDialog(owner, path, false);
}

bool Win32KeyCodeFiles::ChooseFileToSave(UiWindow owner, std::u16string& path) {
  return RunFileDialog(owner, path, true);
}

bool Win32KeyCodeFiles::ReadWholeFile(std::u16string_view path, std::vector<std::uint8_t>& bytes) {
  const std::wstring name = WideString(path);
  OwnedFile file(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  bytes.assign(kMostBytesRead, 0);
  DWORD total = 0;
  while (total < kMostBytesRead) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes.data() + total, kMostBytesRead - total, &read, nullptr) ||
        read == 0)
      break;
    total += read;
  }
  bytes.resize(total);
  return true;
}

bool Win32KeyCodeFiles::ReplaceFile(std::u16string_view path, std::span<const std::uint8_t> bytes) {
  // The new content goes to a temporary file beside the target, which replaces the target only
  // once it was written whole and flushed: a failed save leaves the old file as it was.
  const std::wstring target = WideString(path);
  std::wstring folder = target;
  const std::size_t slash = folder.find_last_of(L"\\/");
  folder = slash == std::wstring::npos ? std::wstring(L".") : folder.substr(0, slash + 1);
  wchar_t temporary[MAX_PATH] = {};
  if (folder.size() >= MAX_PATH - 14 || !GetTempFileNameW(folder.c_str(), L"qvk", 0, temporary))
    return false;

  bool written = false;
  {
    OwnedFile file(CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
      DWORD done = 0;
      written =
          WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
          done == bytes.size() && FlushFileBuffers(file.get());
    }
  }
  if (written)
    written = MoveFileExW(temporary, target.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
  if (!written) DeleteFileW(temporary);
  return written;
}

int Win32EditorMessages::ShowMessage(UiWindow owner, const UiMessage& message) {
  const int answer = ShowUiMessage(reinterpret_cast<HWND>(owner), message);
  ShowWaitCursorAgain();
  return answer;
}

}  // namespace qv
