// The shell's portable decisions: the settings logic against the in-memory store, the command
// line, the program's paths and folders, and the monitor table.
#include <gtest/gtest.h>

#include <string>

#include "app/startup.h"
#include "common/memory_settings.h"
#include "common/settings_store.h"

namespace qv {
namespace {

std::u16string Text(const char16_t* buffer) {
  return std::u16string(buffer);
}

TEST(TouchSetting, MissingWrongTypeAndValues) {
  MemorySettings store;
  std::uint32_t raw = 3;
  EXPECT_FALSE(ReadTouchSetting(store, raw));
  EXPECT_EQ(raw, 0u);
  // Reading creates the settings key, as opening it does.
  EXPECT_TRUE(store.HasUserKey(u"Software\\Morvalen\\qv-padconf"));

  store.SetUserValue(kSettingsKeyPath, u"t_enable", MemorySettings::Text(u"1"));
  EXPECT_FALSE(ReadTouchSetting(store, raw));  // a string counts as missing
  EXPECT_TRUE(WriteTouchSetting(store, 0));
  MemorySettings::Value stored;
  ASSERT_TRUE(store.GetUserValue(kSettingsKeyPath, u"T_ENABLE", stored));
  EXPECT_EQ(stored.type, SettingsValueType::kDword);

  EXPECT_TRUE(WriteTouchSetting(store, 5));
  EXPECT_TRUE(ReadTouchSetting(store, raw));
  EXPECT_EQ(raw, 5u);

  store.SetUserKeysUnavailable(true);
  EXPECT_FALSE(WriteTouchSetting(store, 1));
  EXPECT_FALSE(ReadTouchSetting(store, raw));
  EXPECT_EQ(raw, 0u);
}

TEST(KeyboardIdentifier, JapaneseUnlessAnotherIdentifierIsSet) {
  MemorySettings store;
  EXPECT_FALSE(ReadKeyboardIdentifier(store));  // key absent
  store.SetSystemValue(kKeyboardParametersPath, u"Other", MemorySettings::Dword(1));
  EXPECT_FALSE(ReadKeyboardIdentifier(store));  // value absent
  store.SetSystemValue(kKeyboardParametersPath, kKeyboardIdentifierName,
                       MemorySettings::Text(u"pcat_106key"));
  EXPECT_FALSE(ReadKeyboardIdentifier(store));
  store.SetSystemValue(kKeyboardParametersPath, kKeyboardIdentifierName,
                       MemorySettings::Text(u"PCAT_101KEY"));
  EXPECT_TRUE(ReadKeyboardIdentifier(store));
  // Stored without a terminator, or with an odd byte count: still read bounded.
  MemorySettings::Value raw = MemorySettings::Text(u"PCAT_106KEY");
  raw.bytes.resize(raw.bytes.size() - 1);
  store.SetSystemValue(kKeyboardParametersPath, kKeyboardIdentifierName, raw);
  EXPECT_FALSE(ReadKeyboardIdentifier(store));
  // Filling the whole 512-byte buffer without a terminator.
  MemorySettings::Value full;
  full.type = SettingsValueType::kOther;
  full.bytes.assign(kKeyboardIdentifierBytes, 'A');
  store.SetSystemValue(kKeyboardParametersPath, kKeyboardIdentifierName, full);
  EXPECT_TRUE(ReadKeyboardIdentifier(store));
  // Larger than the buffer: unreadable, so the Japanese table stays.
  full.bytes.assign(kKeyboardIdentifierBytes + 2, 'A');
  store.SetSystemValue(kKeyboardParametersPath, kKeyboardIdentifierName, full);
  EXPECT_FALSE(ReadKeyboardIdentifier(store));
}

TEST(SettingsKey, SubKeysAndGeometryNames) {
  MemorySettings store;
  char16_t name[64];
  SoftKeyboardSubKeyName(0xB4B4074F, 999999, name, 64);
  EXPECT_EQ(Text(name), u"SoftKeyboardWindow_100\\b4b4074f&000f423f");
  auto key = OpenSettingsKey(store, BoundedView(name));
  ASSERT_TRUE(key);
  EXPECT_TRUE(key->SetDword(u"xmag", 120));
  MemorySettings::Value value;
  EXPECT_TRUE(store.GetUserValue(
      u"Software\\Morvalen\\qv-padconf\\SoftKeyboardWindow_100\\b4b4074f&000f423f", u"xmag",
      value));
  // A sub-key name that would not fit in the key path is refused, not cut into another key.
  std::u16string longName(600, u'x');
  EXPECT_EQ(OpenSettingsKey(store, longName), nullptr);
}

TEST(CommandLine, OnlyTheWholeCloseSwitchCloses) {
  EXPECT_TRUE(IsCloseCommand(u"/CLOSE"));
  EXPECT_TRUE(IsCloseCommand(u"/close"));
  EXPECT_TRUE(IsCloseCommand(u"/ClOsE"));
  EXPECT_FALSE(IsCloseCommand(u""));
  EXPECT_FALSE(IsCloseCommand(u"/CLOSE now"));
  EXPECT_FALSE(IsCloseCommand(u" /CLOSE"));
  EXPECT_FALSE(IsCloseCommand(u"-close"));
}

TEST(ProgramPaths, FolderShortcutFileAndCutting) {
  ProgramPaths paths;
  SetProgramPath(paths, u"C:\\Program Files\\Morvalen\\qv-padconf.exe");
  EXPECT_EQ(Text(paths.programFolder), u"C:\\Program Files\\Morvalen");
  EXPECT_EQ(Text(paths.shortcutFile), u"C:\\Program Files\\Morvalen\\shortcut.ini");

  // A module path longer than a path buffer is cut to 259 characters.
  std::u16string longPath = u"C:\\" + std::u16string(300, u'd') + u"\\qv-padconf.exe";
  SetProgramPath(paths, longPath);
  EXPECT_EQ(Text(paths.programPath).size(), 259u);
  EXPECT_EQ(Text(paths.programFolder), u"C:");
  // A folder that leaves no room for the file name gives no shortcut file rather than a cut one.
  std::u16string nearlyFull = u"C:\\" + std::u16string(245, u'd') + u"\\a.exe";
  SetProgramPath(paths, nearlyFull);
  EXPECT_EQ(Text(paths.shortcutFile), u"");
}

TEST(DataFolders, LocalApplicationDataFromWindowsXpOn) {
  EXPECT_TRUE(UsesLocalApplicationData(5, 1));
  EXPECT_TRUE(UsesLocalApplicationData(6, 0));
  EXPECT_TRUE(UsesLocalApplicationData(10, 0));
  EXPECT_FALSE(UsesLocalApplicationData(5, 0));
  EXPECT_FALSE(UsesLocalApplicationData(4, 90));

  DataFolderPlan plan = PlanDataFolders(true, u"C:\\users\\root\\AppData\\Local", u"C:\\app");
  EXPECT_EQ(Text(plan.vendorFolder), u"C:\\users\\root\\AppData\\Local\\MORVALEN");
  EXPECT_EQ(Text(plan.dataFolder), u"C:\\users\\root\\AppData\\Local\\MORVALEN\\QV-PADCONF");
  EXPECT_EQ(Text(plan.softKeyFolder),
            u"C:\\users\\root\\AppData\\Local\\MORVALEN\\QV-PADCONF\\softkey\\");

  plan = PlanDataFolders(false, u"", u"C:\\app");
  EXPECT_EQ(Text(plan.vendorFolder), u"");
  EXPECT_EQ(Text(plan.dataFolder), u"C:\\app");
  EXPECT_EQ(Text(plan.softKeyFolder), u"C:\\app\\softkey\\");

  // No local application data folder, or one too long: no folder at all rather than a cut path
  // or a folder at the root of the drive.
  plan = PlanDataFolders(true, u"", u"C:\\app");
  EXPECT_EQ(Text(plan.dataFolder), u"");
  EXPECT_EQ(Text(plan.softKeyFolder), u"");
  plan = PlanDataFolders(true, u"C:\\" + std::u16string(250, u'x'), u"C:\\app");
  EXPECT_EQ(Text(plan.vendorFolder), u"");
  EXPECT_EQ(Text(plan.dataFolder), u"");
}

TEST(SingleInstance, AnExistingMutexMakesASecondStartWhateverItsRights) {
  using Call = InstanceMutexCall;
  // Nothing runs: the open fails with "not found", the create gives a new mutex.
  EXPECT_FALSE(IsSecondStart(Call::kOpen, false, 2));
  EXPECT_FALSE(IsSecondStart(Call::kCreate, true, 0));
  // An instance runs as this user.
  EXPECT_TRUE(IsSecondStart(Call::kOpen, true, 0));
  EXPECT_TRUE(IsSecondStart(Call::kCreate, true, kErrorAlreadyExists));
  // An instance runs elevated or as another user: both looks are refused.
  EXPECT_TRUE(IsSecondStart(Call::kOpen, false, kErrorAccessDenied));
  EXPECT_TRUE(IsSecondStart(Call::kCreate, false, kErrorAccessDenied));
  // Any other failure to create leaves the start a first one, running without the mutex.
  EXPECT_FALSE(IsSecondStart(Call::kCreate, false, 8));
}

}  // namespace
}  // namespace qv
