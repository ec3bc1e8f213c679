// The program's persistent settings: one key of its own under the current user's registry, and
// one read-only system value that tells whether the PC keyboard is a Japanese 106-key keyboard.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace qv {

// Key below HKEY_CURRENT_USER.
inline constexpr std::u16string_view kSettingsKeyPath = u"Software\\Morvalen\\qv-padconf";
inline constexpr std::u16string_view kTouchValueName = u"t_enable";
// Key below HKEY_LOCAL_MACHINE and its value.
inline constexpr std::u16string_view kKeyboardParametersPath =
    u"SYSTEM\\CurrentControlSet\\Services\\i8042prt\\Parameters";
inline constexpr std::u16string_view kKeyboardIdentifierName = u"OverrideKeyboardIdentifier";
inline constexpr std::u16string_view kJapaneseKeyboardIdentifier = u"PCAT_106KEY";
inline constexpr std::u16string_view kSoftKeyboardKeyName = u"SoftKeyboardWindow_100";
// Full key paths are formed in buffers of this many characters.
inline constexpr std::size_t kSettingsKeyChars = 512;
// The keyboard identifier is read into a buffer of this many bytes.
inline constexpr std::size_t kKeyboardIdentifierBytes = 512;

enum class SettingsValueType { kDword, kString, kOther };

// An open key; closing happens when the object goes away.
class SettingsKey {
 public:
  virtual ~SettingsKey() = default;
  // Reads a value of at most 4 bytes. False when the value is missing or does not fit in 4
  // bytes; otherwise `type` tells what was stored and `value` holds its first 4 bytes
  // (little-endian, zero-extended).
  virtual bool QueryValue(std::u16string_view name, std::uint32_t& value,
                          SettingsValueType& type) = 0;
  virtual bool SetDword(std::u16string_view name, std::uint32_t value) = 0;
};

class SettingsPort {
 public:
  virtual ~SettingsPort() = default;
  // Creates or opens a key below HKEY_CURRENT_USER with full access; null on failure.
  virtual std::unique_ptr<SettingsKey> CreateUserKey(std::u16string_view path) = 0;
  // Reads the raw bytes of a value below HKEY_LOCAL_MACHINE, read-only, whatever its type, into
  // `buffer` (at most `capacity` bytes). False when the key or value is missing or unreadable
  // (a value larger than the buffer is unreadable).
  virtual bool ReadSystemValue(std::u16string_view keyPath, std::u16string_view name,
                               std::uint8_t* buffer, std::size_t capacity, std::size_t& length) = 0;
};

// Creates or opens the settings key (subKey empty) or a sub-key below it, the full path formed
// as "%s\%s"; null on failure. The key is closed when the result goes away.
std::unique_ptr<SettingsKey> OpenSettingsKey(SettingsPort& port, std::u16string_view subKey);

// Reads "t_enable" into rawValue (0 first). True only if it exists and is a REG_DWORD.
bool ReadTouchSetting(SettingsPort& port, std::uint32_t& rawValue);

// Writes "t_enable" as a REG_DWORD; false if the key cannot be opened.
bool WriteTouchSetting(SettingsPort& port, std::uint32_t value);

// Whether the keyboard is not a Japanese 106-key keyboard: true when the system's
// "OverrideKeyboardIdentifier" exists and differs, ignoring case, from "PCAT_106KEY". The value
// is read bounded and terminated whatever type it was stored with.
bool ReadKeyboardIdentifier(SettingsPort& port);

// Name of the sub-key holding one key pad's soft keyboard geometry:
// "SoftKeyboardWindow_100\<model identity>&<serial number>", each as 8 lower-case hex digits.
// False, with an empty name, when it does not fit: a cut name would name another key pad's key.
bool SoftKeyboardSubKeyName(std::uint32_t modelIdentity, std::uint32_t serialNumber, char16_t* dest,
                            std::size_t capacity);

}  // namespace qv
