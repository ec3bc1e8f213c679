#include "common/memory_settings.h"

#include <algorithm>
#include <cstring>

namespace qv {

class MemorySettings::Key : public SettingsKey {
 public:
  Key(MemorySettings& owner, std::u16string path) : owner_(owner), path_(std::move(path)) {}

  bool QueryValue(std::u16string_view name, std::uint32_t& value,
                  SettingsValueType& type) override {
    Value stored;
    if (!owner_.GetUserValue(path_, name, stored)) return false;
    if (stored.bytes.size() > 4) return false;
    value = 0;
    for (std::size_t i = 0; i < stored.bytes.size(); ++i) value |= stored.bytes[i] << (8 * i);
    type = stored.type;
    return true;
  }
  bool SetDword(std::u16string_view name, std::uint32_t value) override {
    owner_.SetUserValue(path_, name, Dword(value));
    return true;
  }

 private:
  MemorySettings& owner_;
  std::u16string path_;
};

std::u16string MemorySettings::Fold(std::u16string_view text) {
  std::u16string folded(text);
  for (char16_t& c : folded)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return folded;
}

std::unique_ptr<SettingsKey> MemorySettings::CreateUserKey(std::u16string_view path) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (unavailable_) return nullptr;
  user_[Fold(path)];
  return std::make_unique<Key>(*this, Fold(path));
}

bool MemorySettings::ReadSystemValue(std::u16string_view keyPath, std::u16string_view name,
                                     std::uint8_t* buffer, std::size_t capacity,
                                     std::size_t& length) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto key = system_.find(Fold(keyPath));
  if (key == system_.end()) return false;
  auto value = key->second.find(Fold(name));
  if (value == key->second.end()) return false;
  if (value->second.bytes.size() > capacity) return false;
  std::copy(value->second.bytes.begin(), value->second.bytes.end(), buffer);
  length = value->second.bytes.size();
  return true;
}

void MemorySettings::SetUserValue(std::u16string_view path, std::u16string_view name, Value value) {
  std::lock_guard<std::mutex> lock(mutex_);
  user_[Fold(path)][Fold(name)] = std::move(value);
}

bool MemorySettings::GetUserValue(std::u16string_view path, std::u16string_view name,
                                  Value& value) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto key = user_.find(Fold(path));
  if (key == user_.end()) return false;
  auto found = key->second.find(Fold(name));
  if (found == key->second.end()) return false;
  value = found->second;
  return true;
}

bool MemorySettings::HasUserKey(std::u16string_view path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return user_.count(Fold(path)) != 0;
}

void MemorySettings::SetSystemValue(std::u16string_view path, std::u16string_view name,
                                    Value value) {
  std::lock_guard<std::mutex> lock(mutex_);
  system_[Fold(path)][Fold(name)] = std::move(value);
}

MemorySettings::Value MemorySettings::Dword(std::uint32_t v) {
  Value value;
  value.type = SettingsValueType::kDword;
  for (int i = 0; i < 4; ++i) value.bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  return value;
}

MemorySettings::Value MemorySettings::Text(std::u16string_view text) {
  Value value;
  value.type = SettingsValueType::kString;
  for (char16_t c : text) {
    value.bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    value.bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  value.bytes.push_back(0);
  value.bytes.push_back(0);
  return value;
}

}  // namespace qv
