#include "app/win32/registry_settings.h"

#include <windows.h>

#include "common/win32/wide.h"

namespace qv {
namespace {

class RegistryKey : public SettingsKey {
 public:
  explicit RegistryKey(HKEY key) : key_(key) {}
  ~RegistryKey() override { RegCloseKey(key_); }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  bool QueryValue(std::u16string_view name, std::uint32_t& value,
                  SettingsValueType& type) override {
    std::wstring valueName = WideString(name);
    DWORD storedType = 0;
    BYTE data[4] = {};
    DWORD size = sizeof data;
    if (RegQueryValueExW(key_, valueName.c_str(), nullptr, &storedType, data, &size) !=
        ERROR_SUCCESS) {
      return false;
    }
    value = 0;
    for (DWORD i = 0; i < size && i < 4; ++i)
      value |= static_cast<std::uint32_t>(data[i]) << (8 * i);
    type = storedType == REG_DWORD ? SettingsValueType::kDword
           : storedType == REG_SZ  ? SettingsValueType::kString
                                   : SettingsValueType::kOther;
    return true;
  }

  bool SetDword(std::u16string_view name, std::uint32_t value) override {
    std::wstring valueName = WideString(name);
    DWORD data = value;
    return RegSetValueExW(key_, valueName.c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&data), sizeof data) == ERROR_SUCCESS;
  }

 private:
  HKEY key_;
};

}  // namespace

std::unique_ptr<SettingsKey> RegistrySettings::CreateUserKey(std::u16string_view path) {
  std::wstring keyPath = WideString(path);
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return nullptr;
  }
  return std::make_unique<RegistryKey>(key);
}

bool RegistrySettings::ReadSystemValue(std::u16string_view keyPath, std::u16string_view name,
                                       std::uint8_t* buffer, std::size_t capacity,
                                       std::size_t& length) {
  std::wstring path = WideString(keyPath);
  std::wstring valueName = WideString(name);
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  DWORD size = static_cast<DWORD>(capacity);
  LONG result = RegQueryValueExW(key, valueName.c_str(), nullptr, nullptr, buffer, &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return false;
  length = size;
  return true;
}

}  // namespace qv
