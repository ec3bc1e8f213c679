#include "softkey_assets/win32/caption_file_win32.h"

#include <windows.h>

#include <string>

#include "common/win32/owned.h"
#include "common/win32/wide.h"

namespace qv {
namespace {

constexpr BYTE kUtf16LeMark[] = {0xFF, 0xFE};

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

bool CreateUtf16ProfileFile(std::u16string_view path) {
  if (path.empty() || path.size() >= kPathChars) return false;
  const std::wstring file = WideString(path);
  if (FileExists(file)) return true;
  char16_t replacement[kPathChars];
  if (!ReplacementPath(path, replacement)) return false;
  bool written = false;
  {
    const OwnedFile created(CreateFileW(Wide(replacement), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD done = 0;
    written = created &&
              WriteFile(created.get(), kUtf16LeMark, sizeof kUtf16LeMark, &done, nullptr) &&
              done == sizeof kUtf16LeMark;
  }
  // Without MOVEFILE_REPLACE_EXISTING a file that appeared meanwhile is kept.
  if (!written || !MoveFileExW(Wide(replacement), file.c_str(), MOVEFILE_WRITE_THROUGH))
    DeleteFileW(Wide(replacement));
  return FileExists(file);
}

void Win32CaptionFile::ReadCaption(std::u16string_view file, std::u16string_view key,
                                   char16_t* value, std::size_t capacity) {
  if (capacity == 0) return;
  value[0] = 0;
  if (file.empty() || file.size() >= kPathChars || capacity > 0xFFFF) return;
  const std::wstring fileName = WideString(file);
  const std::wstring keyName = WideString(key);
  const std::wstring section = WideString(kCaptionSection);
  GetPrivateProfileStringW(section.c_str(), keyName.c_str(), L"", Wide(value),
                           static_cast<DWORD>(capacity), fileName.c_str());
  value[capacity - 1] = 0;
}

bool Win32CaptionFile::WriteCaption(std::u16string_view file, std::u16string_view key,
                                    std::u16string_view value) {
  if (!CreateUtf16ProfileFile(file)) return false;
  const std::wstring fileName = WideString(file);
  const std::wstring keyName = WideString(key);
  const std::wstring text = WideString(value);
  const std::wstring section = WideString(kCaptionSection);
  return WritePrivateProfileStringW(section.c_str(), keyName.c_str(), text.c_str(),
                                    fileName.c_str()) != 0;
}

}  // namespace qv
