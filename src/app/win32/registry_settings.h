// The settings store on the real registry.
#pragma once

#include "common/settings_store.h"

namespace qv {

class RegistrySettings : public SettingsPort {
 public:
  std::unique_ptr<SettingsKey> CreateUserKey(std::u16string_view path) override;
  bool ReadSystemValue(std::u16string_view keyPath, std::u16string_view name, std::uint8_t* buffer,
                       std::size_t capacity, std::size_t& length) override;
};

}  // namespace qv
