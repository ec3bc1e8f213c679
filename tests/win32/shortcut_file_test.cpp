// shortcut.ini through the system's profile functions: a UTF-16LE file (as a Japanese editor
// writes it) keeps its Japanese descriptions, and a missing file gives an empty list.
#include "common/win32/profile_store_win32.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/bounded_text.h"
#include "common/win32/wide.h"
#include "keycode/shortcuts.h"

namespace qv {
namespace {

std::wstring TempPath(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  return std::wstring(folder) + name;
}

void WriteUtf16File(const std::wstring& path, const std::wstring& text) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const std::wstring content = L"\xFEFF" + text;
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size() * sizeof(wchar_t)), &written,
            nullptr);
  CloseHandle(file);
}

TEST(ShortcutFile, ReadThroughTheProfileFunctionsUpToTheFirstGap) {
  const std::wstring path = TempPath(L"qv-shortcut-test.ini");
  WriteUtf16File(path,
                 L"[shortcut_00]\r\nkey=CTRL+C\r\ndescription=コピー\r\n"
                 L"[shortcut_01]\r\nkey=ctrl+alt+delete\r\n"
                 L"[shortcut_03]\r\nkey=WIN\r\ndescription=never read\r\n");
  Win32ProfileStore profiles;
  ShortcutList list;
  const std::u16string file(Utf16(path.c_str()));
  ASSERT_EQ(LoadShortcuts(profiles, file, list), 2);
  EXPECT_EQ(BoundedView(list.entries[0].description), u"コピー");
  EXPECT_EQ(BoundedView(list.entries[1].description), u"");
  EXPECT_EQ(list.entries[1].RecordFor(false).bytes[0], 7);
  DeleteFileW(path.c_str());

  EXPECT_EQ(LoadShortcuts(profiles, file, list), 0);
  char16_t value[8] = {u'x'};
  EXPECT_FALSE(profiles.ReadString(file, u"shortcut_00", u"key", value, 8));
  EXPECT_EQ(value[0], 0);
}

}  // namespace
}  // namespace qv
