#include "app/win32/registry_settings.h"

#include <windows.h>

#include <utility>

#include "common/win32/owned.h"
#include "common/win32/wide.h"

namespace qv {
namespace {

class RegistryKey : public SettingsKey {
 public:
  explicit RegistryKey(OwnedRegistryKey key) : key_(std::move(key)) {}

  bool QueryValue(std::u16string_view name, std::uint32_t& value,
                  SettingsValueType& type) override {
    std::wstring valueName = WideString(name);
    DWORD storedType = 0;
    BYTE data[4] = {};
    DWORD size = sizeof data;
    if (RegQueryValueExW(key_.get(), valueName.c_str(), nullptr, &storedType, data, &size) !=
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
    return RegSetValueExW(key_.get(), valueName.c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&data), sizeof data) == ERROR_SUCCESS;
  }

 private:
  OwnedRegistryKey key_;
};

}  // namespace

std::unique_ptr<SettingsKey> RegistrySettings::CreateUserKey(std::u16string_view path) {
  std::wstring keyPath = WideString(path);
  OwnedRegistryKey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
    return nullptr;
  }
  return std::make_unique<RegistryKey>(std::move(key));
}

bool RegistrySettings::ReadSystemValue(std::u16string_view keyPath, std::u16string_view name,
                                       std::uint8_t* buffer, std::size_t capacity,
                                       std::size_t& length) {
  std::wstring path = WideString(keyPath);
  std::wstring valueName = WideString(name);
  OwnedRegistryKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
    return false;
  }
  DWORD size = static_cast<DWORD>(capacity);
  const LONG result =
      RegQueryValueExW(key.get(), valueName.c_str(), nullptr, nullptr, buffer, &size);
  if (result != ERROR_SUCCESS) return false;
  length = size;
  return true;
}

}  // namespace qv
