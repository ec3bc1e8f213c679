// shortcut.ini through the system's profile functions: a UTF-16LE file (as a Japanese editor
// writes it) keeps its Japanese descriptions, and a missing file gives an empty list.
#include "common/win32/profile_store_win32.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
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

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.rfind(L'\\'));
}

// Checks a shortcut list as the program reads it: a useful number of entries, each with a
// Japanese description and a key text whose every word names a key under both key tables (a
// misspelt word would cut the record short).
void ExpectUsefulShortcutList(const std::wstring& path) {
  Win32ProfileStore profiles;
  ShortcutList list;
  ASSERT_GE(LoadShortcuts(profiles, Utf16(path.c_str()), list), 20);
  for (const Shortcut& entry : list.entries) {
    const std::u16string_view key = BoundedView(entry.keyText);
    SCOPED_TRACE(std::string(key.begin(), key.end()));
    const int words = 1 + static_cast<int>(std::count(key.begin(), key.end(), u'+'));
    EXPECT_EQ(entry.RecordFor(false).bytes[0], 2 * words + 1);
    EXPECT_EQ(entry.RecordFor(true).bytes[0], 2 * words + 1);
    const std::u16string_view description = BoundedView(entry.description);
    EXPECT_TRUE(std::any_of(description.begin(), description.end(),
                            [](char16_t c) { return c >= 0x3000; }));
  }
  EXPECT_EQ(BoundedView(list.entries[0].keyText), u"CTRL+C");
  EXPECT_EQ(BoundedView(list.entries[0].description), u"コピー");
}

// The sample that ships beside the program (the build puts it beside the test program too).
TEST(ShortcutFile, ShippedSampleNamesCommonShortcutsInJapanese) {
  ExpectUsefulShortcutList(ProgramFolder() + L"\\shortcut.ini");
}

// The installed program's folder, given by the installation test: the list it reads there.
TEST(ShortcutFile, InstalledProgramFindsItsList) {
  wchar_t folder[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"QV_INSTALLED_FOLDER", folder, MAX_PATH) == 0)
    GTEST_SKIP() << "run by the installation test";
  ExpectUsefulShortcutList(std::wstring(folder) + L"\\shortcut.ini");
}

}  // namespace
}  // namespace qv
