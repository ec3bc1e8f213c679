#include "common/settings_store.h"

#include "common/bounded_text.h"

namespace qv {

std::unique_ptr<SettingsKey> OpenSettingsKey(SettingsPort& port, std::u16string_view subKey) {
  if (subKey.empty()) return port.CreateUserKey(kSettingsKeyPath);
  char16_t path[kSettingsKeyChars];
  // A path that does not fit would name another key: refuse it rather than cut it.
  if (!BoundedFormat(path, u"%s\\%s", {kSettingsKeyPath, subKey})) return nullptr;
  return port.CreateUserKey(BoundedView(path));
}

bool ReadTouchSetting(SettingsPort& port, std::uint32_t& rawValue) {
  rawValue = 0;
  std::unique_ptr<SettingsKey> key = OpenSettingsKey(port, {});
  if (!key) return false;
  std::uint32_t value = 0;
  SettingsValueType type = SettingsValueType::kOther;
  if (!key->QueryValue(kTouchValueName, value, type)) return false;
  if (type != SettingsValueType::kDword) return false;
  rawValue = value;
  return true;
}

bool WriteTouchSetting(SettingsPort& port, std::uint32_t value) {
  std::unique_ptr<SettingsKey> key = OpenSettingsKey(port, {});
  if (!key) return false;
  key->SetDword(kTouchValueName, value);
  return true;
}

bool ReadKeyboardIdentifier(SettingsPort& port) {
  std::uint8_t bytes[kKeyboardIdentifierBytes] = {};
  std::size_t length = 0;
  if (!port.ReadSystemValue(kKeyboardParametersPath, kKeyboardIdentifierName, bytes, sizeof bytes,
                            length)) {
    return false;
  }
  if (length > sizeof bytes) length = sizeof bytes;
  // The stored data may lack its terminator or be of another type: take the UTF-16 units up to
  // the first zero or the end of what was read, never beyond the buffer.
  char16_t text[kKeyboardIdentifierBytes / 2 + 1] = {};
  std::size_t units = length / 2;
  for (std::size_t i = 0; i < units; ++i) {
    text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  return !EqualsIgnoreAsciiCase(BoundedView(text), kJapaneseKeyboardIdentifier);
}

bool SoftKeyboardSubKeyName(std::uint32_t modelIdentity, std::uint32_t serialNumber, char16_t* dest,
                            std::size_t capacity) {
  if (BoundedFormat(dest, capacity, u"%s\\%08x&%08x",
                    {kSoftKeyboardKeyName, modelIdentity, serialNumber})) {
    return true;
  }
  if (capacity > 0) dest[0] = 0;
  return false;
}

}  // namespace qv
