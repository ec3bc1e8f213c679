// The in-memory profile file the browser editor reads a user's shortcut.ini from.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/ini_text.h"
#include "keycode/shortcuts.h"

namespace qv {
namespace {
// A file of the source tree; the Windows build's test program runs under Wine, which gives the
// Unix file system as drive Z:.
std::string SourceFile(const std::string& name) {
#ifdef _WIN32
  return "Z:" + std::string(QV_TEST_SOURCE_DIR) + "/" + name;
#else
  return std::string(QV_TEST_SOURCE_DIR) + "/" + name;
#endif
}

std::vector<std::uint8_t> Utf16File(std::u16string_view text) {
  std::vector<std::uint8_t> bytes = {0xFF, 0xFE};
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return bytes;
}

std::u16string Read(IniText& ini, std::u16string_view section, std::u16string_view key,
                    std::size_t capacity = 64) {
  std::vector<char16_t> value(capacity, u'#');
  EXPECT_TRUE(ini.ReadString(u"shortcut.ini", section, key, value.data(), capacity));
  return value.data();
}

TEST(IniTextTest, ReadsValuesAsTheProfileFunctionsDo) {
  IniText ini(
      Utf16File(u"; comment\r\n[Other]\r\nkey=no\r\n[ shortcut_00 ]\r\n  KEY =  CTRL+C  \r\n"
                u"description=\"コピー\"\r\n[shortcut_01]\r\nkey=ALT\r\n"));
  EXPECT_EQ(Read(ini, u"SHORTCUT_00", u"key"), u"CTRL+C");
  EXPECT_EQ(Read(ini, u"shortcut_00", u"description"), u"コピー");
  EXPECT_EQ(Read(ini, u"shortcut_00", u"missing"), u"");  // not the next section's key
  EXPECT_EQ(Read(ini, u"shortcut_02", u"key"), u"");
  EXPECT_EQ(Read(ini, u"shortcut_01", u"key", 3), u"AL");  // cut, always terminated
}

TEST(IniTextTest, UnmarkedFilesAreUtf8) {
  const std::string text = "[shortcut_00]\nkey=CTRL+V\ndescription=貼り付け\n";
  IniText ini(std::vector<std::uint8_t>(text.begin(), text.end()));
  EXPECT_EQ(Read(ini, u"shortcut_00", u"description"), u"貼り付け");
  const std::vector<std::uint8_t> broken = {'[', 'a', ']', '\n', 'k', '=', 0xE3, 0x81, '\n'};
  IniText damaged(broken);
  EXPECT_EQ(Read(damaged, u"a", u"k"), u"\uFFFD\uFFFD");
}

TEST(IniTextTest, TheShippedShortcutListLoads) {
  std::ifstream file(SourceFile("res/shortcut.ini"), std::ios::binary);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                        std::istreambuf_iterator<char>());
  IniText ini(bytes);
  ShortcutList list;
  ASSERT_GT(LoadShortcuts(ini, u"shortcut.ini", list), 5);
  EXPECT_EQ(std::u16string(list.entries[0].keyText), u"CTRL+C");
  EXPECT_EQ(std::u16string(list.entries[0].description), u"コピー");
}

}  // namespace
}  // namespace qv
