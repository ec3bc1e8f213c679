#include "emulator/demo_key_pads.h"

#include "device/device_link.h"

namespace qv {
namespace {

std::vector<std::u16string_view> Split(std::u16string_view text, char16_t separator) {
  std::vector<std::u16string_view> parts;
  for (;;) {
    const std::size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::u16string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

// The whole field as a number of `base`; false for an empty field, a foreign character or a
// value beyond 32 bits.
bool ParseNumber(std::u16string_view field, unsigned base, std::uint32_t& value) {
  if (field.empty() || field.size() > 10) return false;
  std::uint64_t result = 0;
  for (char16_t c : field) {
    unsigned digit;
    if (c >= u'0' && c <= u'9')
      digit = c - u'0';
    else if (c >= u'a' && c <= u'f')
      digit = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
      digit = c - u'A' + 10;
    else
      return false;
    if (digit >= base) return false;
    result = result * base + digit;
  }
  if (result > 0xFFFFFFFFu) return false;
  value = static_cast<std::uint32_t>(result);
  return true;
}

}  // namespace

EmulatedKeyPad DemoKeyPadSpec(std::uint16_t productId, std::uint16_t version, std::uint32_t serial,
                              const std::string& password) {
  EmulatedKeyPad keyPadSpec;
  keyPadSpec.productId = productId;
  keyPadSpec.bluetooth = version == kBleVersion || version == kBleVersion0777;
  keyPadSpec.version = keyPadSpec.bluetooth ? 0 : version;
  keyPadSpec.zeroAttributes = keyPadSpec.bluetooth;
  keyPadSpec.serial = serial % 1000000;
  keyPadSpec.password = password;
  keyPadSpec.status = password.empty() ? 0x00 : 0x01;
  return keyPadSpec;
}

std::vector<EmulatedKeyPad> ParseDemoKeyPads(std::u16string_view list) {
  std::vector<EmulatedKeyPad> keyPadSpecs;
  for (std::u16string_view item : Split(list, u',')) {
    std::vector<std::u16string_view> fields = Split(item, u'/');
    fields.resize(4);
    std::uint32_t productId = 0, version = 0x0100, serial = 1;
    if (!ParseNumber(fields[0], 16, productId) || productId > 0xFFFF ||
        !IsKnownProductId(static_cast<std::uint16_t>(productId)))
      continue;
    if (!fields[1].empty() && (!ParseNumber(fields[1], 16, version) || version > 0xFFFF)) continue;
    if (!fields[2].empty() && !ParseNumber(fields[2], 10, serial)) continue;
    std::string password;
    for (char16_t c : fields[3]) password += static_cast<char>(c & 0x7F);
    keyPadSpecs.push_back(DemoKeyPadSpec(static_cast<std::uint16_t>(productId),
                                         static_cast<std::uint16_t>(version), serial, password));
  }
  return keyPadSpecs;
}

}  // namespace qv
