#include "common/win32/profile_store_win32.h"

#include <windows.h>

#include <string>

#include "common/win32/wide.h"

namespace qv {

bool Win32ProfileStore::ReadString(std::u16string_view path, std::u16string_view section,
                                   std::u16string_view key, char16_t* value, std::size_t capacity) {
  if (value == nullptr || capacity == 0) return false;
  value[0] = 0;
  // The views need not be terminated; the system's functions want terminated texts.
  const std::wstring file = WideString(path.substr(0, path.find(u'\0')));
  const DWORD attributes = GetFileAttributesW(file.c_str());
  if (file.empty() || attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  const std::wstring sectionName = WideString(section.substr(0, section.find(u'\0')));
  const std::wstring keyName = WideString(key.substr(0, key.find(u'\0')));
  const DWORD size = capacity > 0xFFFF ? 0xFFFF : static_cast<DWORD>(capacity);
  GetPrivateProfileStringW(sectionName.c_str(), keyName.c_str(), L"", Wide(value), size,
                           file.c_str());
  value[size - 1] = 0;
  return true;
}

}  // namespace qv
