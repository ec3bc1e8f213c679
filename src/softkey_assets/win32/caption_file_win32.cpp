#include "softkey_assets/win32/caption_file_win32.h"

#include <windows.h>

#include <cstdint>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "common/win32/owned.h"
#include "common/win32/profile_store_win32.h"
#include "common/win32/wide.h"
#include "softkey_assets/caption_file_encoding.h"

namespace qv {
namespace {

constexpr std::uint8_t kUtf16LeMark[] = {0xFF, 0xFE};

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Up to `limit` + 1 bytes of a file (one more than allowed tells that it is too large).
bool ReadStart(const std::wstring& path, std::size_t limit, std::vector<std::uint8_t>& bytes) {
  const OwnedFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  bytes.resize(limit + 1);
  DWORD done = 0;
  if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr))
    return false;
  bytes.resize(done);
  return true;
}

// Writes the whole file beside `path`, flushed to the disk, and moves it into place: over an
// existing file only with `replace`. Either the new content is there afterwards or the old file
// is untouched; a power loss cannot leave the moved file empty.
bool WriteWholeFile(std::u16string_view path, const std::vector<std::uint8_t>& bytes,
                    bool replace) {
  char16_t replacement[kPathChars];
  if (!ReplacementPath(path, replacement)) return false;
  bool written = false;
  {
    const OwnedFile created(CreateFileW(Wide(replacement), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD done = 0;
    written =
        created &&
        WriteFile(created.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
        done == bytes.size() && FlushFileBuffers(created.get());
  }
  const std::wstring file = WideString(path);
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  if (written && MoveFileExW(Wide(replacement), file.c_str(), flags)) return true;
  DeleteFileW(Wide(replacement));
  return false;
}

// Text in the ANSI code page, decoded as the profile functions decode it; false for bytes that
// are not valid text there.
bool DecodeAnsi(std::span<const std::uint8_t> ansi, std::u16string& text) {
  text.clear();
  if (ansi.empty()) return true;
  const char* bytes = reinterpret_cast<const char*>(ansi.data());
  const int size = static_cast<int>(ansi.size());
  const int units = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes, size, nullptr, 0);
  if (units <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes, size, wide.data(), units) != units)
    return false;
  text.assign(Utf16(wide.data()), wide.size());
  return true;
}

}  // namespace

bool PrepareUtf16ProfileFile(std::u16string_view path) {
  if (path.empty() || path.size() >= kPathChars) return false;
  const std::wstring file = WideString(path);
  const std::vector<std::uint8_t> mark(std::begin(kUtf16LeMark), std::end(kUtf16LeMark));
  if (!FileExists(file)) {
    WriteWholeFile(path, mark, false);  // a file that appeared meanwhile is kept
    return FileExists(file);
  }
  std::vector<std::uint8_t> bytes;
  if (!ReadStart(file, kMaxConvertedCaptionFileBytes, bytes)) return false;
  const bool whole = bytes.size() <= kMaxConvertedCaptionFileBytes;
  const CaptionFilePlan plan = PlanCaptionFile(bytes, whole, DecodeAnsi);
  switch (plan.step) {
    case CaptionFileStep::kWriteMark:
      return WriteWholeFile(path, mark, true);
    case CaptionFileStep::kWriteAsIs:
      return true;
    case CaptionFileStep::kConvert:
      return WriteWholeFile(path, plan.converted, true);
    case CaptionFileStep::kRefuse:
      return false;
  }
  return false;
}

void Win32CaptionFile::ReadCaption(std::u16string_view file, std::u16string_view key,
                                   char16_t* value, std::size_t capacity) {
  if (capacity == 0) return;
  value[0] = 0;
  if (file.empty() || file.size() >= kPathChars) return;
  // Read as every profile string of the program is read; a missing file reads as no caption.
  Win32ProfileStore profiles;
  profiles.ReadString(file, kCaptionSection, key, value, capacity);
}

bool Win32CaptionFile::WriteCaption(std::u16string_view file, std::u16string_view key,
                                    std::u16string_view value) {
  if (!PrepareUtf16ProfileFile(file)) return false;
  const std::wstring fileName = WideString(file);
  const std::wstring keyName = WideString(key);
  const std::wstring text = WideString(value);
  const std::wstring section = WideString(kCaptionSection);
  return WritePrivateProfileStringW(section.c_str(), keyName.c_str(), text.c_str(),
                                    fileName.c_str()) != 0;
}

}  // namespace qv
