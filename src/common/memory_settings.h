// A settings store kept in memory: the registry's stand-in for the native tests and for any
// build without a registry. Values keep their type, as the registry does.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "common/settings_store.h"

namespace qv {

class MemorySettings : public SettingsPort {
 public:
  struct Value {
    SettingsValueType type = SettingsValueType::kDword;
    std::vector<std::uint8_t> bytes;
  };

  std::unique_ptr<SettingsKey> CreateUserKey(std::u16string_view path) override;
  bool ReadSystemValue(std::u16string_view keyPath, std::u16string_view name, std::uint8_t* buffer,
                       std::size_t capacity, std::size_t& length) override;

  // Seeding and inspection.
  void SetUserValue(std::u16string_view path, std::u16string_view name, Value value);
  bool GetUserValue(std::u16string_view path, std::u16string_view name, Value& value) const;
  bool HasUserKey(std::u16string_view path) const;
  void SetSystemValue(std::u16string_view path, std::u16string_view name, Value value);
  // When set, no user key can be created (an unwritable registry).
  void SetUserKeysUnavailable(bool unavailable) { unavailable_ = unavailable; }

  static Value Dword(std::uint32_t v);
  static Value Text(std::u16string_view text);  // REG_SZ with its terminator

 private:
  using ValueMap = std::map<std::u16string, Value>;
  class Key;
  static std::u16string Fold(std::u16string_view text);  // registry names ignore case

  mutable std::mutex mutex_;
  std::map<std::u16string, ValueMap> user_;
  std::map<std::u16string, ValueMap> system_;
  bool unavailable_ = false;
};

}  // namespace qv
