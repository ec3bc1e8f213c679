// The settings store against the real registry.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/win32/registry_settings.h"
#include "common/settings_store.h"

namespace qv {
namespace {

const wchar_t* const kKey = L"Software\\Morvalen\\qv-padconf";
const wchar_t* const kParameters = L"SYSTEM\\CurrentControlSet\\Services\\i8042prt\\Parameters";

void SetString(HKEY root, const wchar_t* key, const wchar_t* name, const wchar_t* text) {
  HKEY opened;
  ASSERT_EQ(RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                 static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
  RegCloseKey(opened);
}

class RegistrySettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }

  static bool QueryDword(const wchar_t* name, DWORD& value, DWORD& type) {
    DWORD size = sizeof value;
    return RegGetValueW(HKEY_CURRENT_USER, kKey, name, RRF_RT_ANY, &type, &value, &size) ==
           ERROR_SUCCESS;
  }

  RegistrySettings settings;
};

TEST_F(RegistrySettingsTest, TouchSettingMissingStringAndNonZero) {
  std::uint32_t raw = 7;
  // Missing: the read fails and leaves 0; start-up then writes a REG_DWORD 0.
  EXPECT_FALSE(ReadTouchSetting(settings, raw));
  EXPECT_EQ(raw, 0u);
  EXPECT_TRUE(WriteTouchSetting(settings, 0));
  DWORD value = 9, type = 0;
  ASSERT_TRUE(QueryDword(L"t_enable", value, type));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, 0u);

  // Stored as a string: treated as missing, and replaced by a REG_DWORD.
  SetString(HKEY_CURRENT_USER, kKey, L"t_enable", L"1");
  EXPECT_FALSE(ReadTouchSetting(settings, raw));
  SetString(HKEY_CURRENT_USER, kKey, L"t_enable", L"a long text that does not fit in four bytes");
  EXPECT_FALSE(ReadTouchSetting(settings, raw));
  EXPECT_TRUE(WriteTouchSetting(settings, 0));
  ASSERT_TRUE(QueryDword(L"t_enable", value, type));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));

  // Any non-zero DWORD enables.
  EXPECT_TRUE(WriteTouchSetting(settings, 5));
  EXPECT_TRUE(ReadTouchSetting(settings, raw));
  EXPECT_EQ(raw, 5u);
}

TEST_F(RegistrySettingsTest, SoftKeyboardSubKeyIsCreatedBelowTheSettingsKey) {
  char16_t name[128];
  SoftKeyboardSubKeyName(0x0100130D, 123, name, 128);
  std::unique_ptr<SettingsKey> key = OpenSettingsKey(settings, name);
  ASSERT_TRUE(key);
  EXPECT_TRUE(key->SetDword(u"left", 40));
  key.reset();  // closes it
  DWORD value = 0, size = sizeof value;
  EXPECT_EQ(
      RegGetValueW(HKEY_CURRENT_USER,
                   L"Software\\Morvalen\\qv-padconf\\SoftKeyboardWindow_100\\0100130d&0000007b",
                   L"left", RRF_RT_REG_DWORD, nullptr, &value, &size),
      ERROR_SUCCESS);
  EXPECT_EQ(value, 40u);
}

TEST(RegistryKeyboardIdentifier, AbsentJapaneseAndOther) {
  RegistrySettings settings;
  HKEY key;
  // The key may be missing (as under Wine) or present without the value: both read as Japanese.
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kParameters, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    RegDeleteValueW(key, L"OverrideKeyboardIdentifier");
    RegCloseKey(key);
  }
  EXPECT_FALSE(ReadKeyboardIdentifier(settings));

  SetString(HKEY_LOCAL_MACHINE, kParameters, L"OverrideKeyboardIdentifier", L"pcat_106key");
  EXPECT_FALSE(ReadKeyboardIdentifier(settings));
  SetString(HKEY_LOCAL_MACHINE, kParameters, L"OverrideKeyboardIdentifier", L"PCAT_106KEY");
  EXPECT_FALSE(ReadKeyboardIdentifier(settings));
  SetString(HKEY_LOCAL_MACHINE, kParameters, L"OverrideKeyboardIdentifier", L"PCAT_101KEY");
  EXPECT_TRUE(ReadKeyboardIdentifier(settings));

  // Stored as binary without a terminator: read bounded, still compared as text.
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kParameters, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  const wchar_t raw[] = L"PCAT_106KEY";
  RegSetValueExW(key, L"OverrideKeyboardIdentifier", 0, REG_BINARY,
                 reinterpret_cast<const BYTE*>(raw), 11 * sizeof(wchar_t));
  EXPECT_FALSE(ReadKeyboardIdentifier(settings));
  RegDeleteValueW(key, L"OverrideKeyboardIdentifier");
  RegCloseKey(key);
}

}  // namespace
}  // namespace qv
