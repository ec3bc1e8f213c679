#include "keycode/key_code_file.h"

#include <algorithm>

#include "device/device_commands.h"
#include "keycode/key_table.h"

namespace qv {
namespace {

constexpr std::uint8_t kBasicMagic[] = {'Q', 'V', '-', 'P', 'A', 'D', 'C', 'O', 'N', 'F'};
constexpr std::uint8_t kExtendedMagic[] = {'Q', 'V', '2', 'P', 'A', 'D'};
constexpr std::uint8_t kVendorLow = kKeyPadVendorId & 0xFF;
constexpr std::uint8_t kVendorHigh = kKeyPadVendorId >> 8;

// Settings block markers and values.
constexpr std::uint8_t kInterfaceMarker = 1;
constexpr std::uint8_t kBuzzerMarker = 2;
constexpr std::uint8_t kInterfaceNone = 0;
constexpr std::uint8_t kInterfacePs2 = 1;
constexpr std::uint8_t kInterfaceUsb = 2;
constexpr std::uint8_t kBuzzerNone = 0;
constexpr std::uint8_t kBuzzerSmall = 1;
constexpr std::uint8_t kBuzzerLarge = 2;
// Status bits a settings block leaves as the key pad has them: access bits and bits 0-3.
constexpr std::uint8_t kKeptStatusBits = 0x8F;

std::uint8_t Low(std::uint16_t value) {
  return static_cast<std::uint8_t>(value & 0xFF);
}
std::uint8_t High(std::uint16_t value) {
  return static_cast<std::uint8_t>(value >> 8);
}

// Byte 15 of a header: makes the 16 bytes add up to 0 modulo 256.
void SetChecksum(std::uint8_t* header) {
  unsigned sum = 0;
  for (std::size_t i = 0; i + 1 < kKeyCodeFileHeaderBytes; ++i) sum += header[i];
  header[kKeyCodeFileHeaderBytes - 1] = static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

}  // namespace

bool HasExtendedSettings(std::uint32_t modelIdentity) {
  switch (modelIdentity) {
    case kModel01001227:
    case kModel02001227:
    case kModel0100142A:
    case kModel02001865:
      return true;
    default:
      return false;
  }
}

SettingsBlock SettingsBlockFromStatus(std::uint32_t modelIdentity, std::uint8_t status) {
  std::uint8_t connection = kInterfaceNone;
  if (modelIdentity != kModel01001227)
    connection = (status & kStatusInterfacePs2) ? kInterfacePs2 : kInterfaceUsb;
  std::uint8_t buzzer = kBuzzerNone;
  if ((status & kStatusVolumeMask) == kStatusVolumeSmall) buzzer = kBuzzerSmall;
  if ((status & kStatusVolumeMask) == kStatusVolumeLarge) buzzer = kBuzzerLarge;
  return {kInterfaceMarker, connection, kBuzzerMarker, buzzer};
}

bool SettingsBlockIsUsable(const SettingsBlock& block) {
  return block[0] == kInterfaceMarker && block[2] == kBuzzerMarker;
}

bool StatusFromSettingsBlock(const SettingsBlock& block, std::uint8_t currentStatus,
                             std::uint8_t& status) {
  if (!SettingsBlockIsUsable(block)) return false;
  std::uint8_t value = currentStatus & kKeptStatusBits;
  if (block[1] == kInterfacePs2) value |= kStatusInterfacePs2;
  if (block[3] == kBuzzerSmall) value |= kStatusVolumeSmall;
  if (block[3] == kBuzzerLarge) value |= kStatusVolumeLarge;
  status = value;
  return true;
}

std::vector<std::uint8_t> BuildKeyCodeFile(std::uint32_t modelIdentity, std::uint8_t status,
                                           const KeyCodeRecords& records) {
  const auto productId = static_cast<std::uint16_t>(modelIdentity & 0xFFFF);
  const auto version = static_cast<std::uint16_t>(modelIdentity >> 16);
  const bool extended = HasExtendedSettings(modelIdentity);

  std::vector<std::uint8_t> file(kKeyCodeFileHeaderBytes, 0);
  if (extended) {
    std::copy(std::begin(kExtendedMagic), std::end(kExtendedMagic), file.begin());
    file[6] = kVendorLow;
    file[7] = kVendorHigh;
    file[8] = Low(productId);
    file[9] = High(productId);
    file[10] = Low(version);
    file[11] = High(version);
  } else {
    std::copy(std::begin(kBasicMagic), std::end(kBasicMagic), file.begin());
    file[10] = kVendorLow;
    file[11] = kVendorHigh;
    file[12] = Low(productId);
    file[13] = High(productId);
  }
  SetChecksum(file.data());
  if (extended) {
    const SettingsBlock block = SettingsBlockFromStatus(modelIdentity, status);
    file.insert(file.end(), block.begin(), block.end());
  }

  const int keys = KeyCountForModel(productId);
  for (int key = 0; key < keys; ++key) {
    const KeyCodeRecord& record = records[key];
    const int length = std::clamp<int>(record.length(), 1, kRecordBytes);
    file.push_back(static_cast<std::uint8_t>(length));
    file.insert(file.end(), record.bytes.begin() + 1, record.bytes.begin() + length);
  }
  return file;
}

KeyCodeFileContent CheckKeyCodeFile(std::span<const std::uint8_t> bytes,
                                    std::uint32_t modelIdentity) {
  KeyCodeFileContent content;
  if (bytes.size() < kKeyCodeFileHeaderBytes) return content;  // not even a header: damaged
  const std::uint8_t* header = bytes.data();
  const auto productId = static_cast<std::uint16_t>(modelIdentity & 0xFFFF);
  const auto version = static_cast<std::uint16_t>(modelIdentity >> 16);

  const bool basic = std::equal(std::begin(kBasicMagic), std::end(kBasicMagic), header) &&
                     header[10] == kVendorLow && header[11] == kVendorHigh;
  const bool extended = !basic &&
                        std::equal(std::begin(kExtendedMagic), std::end(kExtendedMagic), header) &&
                        header[6] == kVendorLow && header[7] == kVendorHigh;
  bool faulty = !basic && !extended;

  unsigned sum = 0;
  for (std::size_t i = 0; i < kKeyCodeFileHeaderBytes; ++i) sum += header[i];
  if ((sum & 0xFF) != 0) faulty = true;

  // The identity fields of the header's form; an unrecognised header is read as the basic form.
  bool foreign = false;
  if (extended) {
    foreign = header[8] != Low(productId) || header[9] != High(productId) ||
              header[10] != Low(version) || header[11] != High(version);
  } else {
    foreign = header[12] != Low(productId) || header[13] != High(productId);
  }
  if (foreign) {
    content.verdict = KeyCodeFileVerdict::kForeign;
    return content;
  }
  if (faulty) return content;

  // The body is checked whole before anything is taken from it.
  std::size_t at = kKeyCodeFileHeaderBytes;
  if (extended) {
    if (bytes.size() - at < kSettingsBlockBytes) return content;
    std::copy_n(bytes.begin() + at, kSettingsBlockBytes, content.settings.begin());
    at += kSettingsBlockBytes;
  }
  const int keys = KeyCountForModel(productId);
  for (int key = 0; key < keys; ++key) {
    if (at >= bytes.size()) return content;
    const int length = bytes[at++];
    if (length < 1 || length > kRecordBytes) return content;
    if (bytes.size() - at < static_cast<std::size_t>(length - 1)) return content;
    KeyCodeRecord& record = content.records[key];
    record.bytes[0] = static_cast<std::uint8_t>(length);
    std::copy_n(bytes.begin() + at, length - 1, record.bytes.begin() + 1);
    at += length - 1;
  }
  content.verdict = KeyCodeFileVerdict::kValid;
  content.extended = extended;
  content.keyCount = keys;
  return content;
}

bool ReadKeyCodeFileModel(std::span<const std::uint8_t> bytes, KeyCodeFileModel& model) {
  if (bytes.size() < kKeyCodeFileHeaderBytes) return false;
  const std::uint8_t* header = bytes.data();
  if (std::equal(std::begin(kBasicMagic), std::end(kBasicMagic), header) &&
      header[10] == kVendorLow && header[11] == kVendorHigh) {
    model = {};
    model.productId = static_cast<std::uint16_t>(header[12] | (header[13] << 8));
    return true;
  }
  if (std::equal(std::begin(kExtendedMagic), std::end(kExtendedMagic), header) &&
      header[6] == kVendorLow && header[7] == kVendorHigh) {
    model.productId = static_cast<std::uint16_t>(header[8] | (header[9] << 8));
    model.versionNamed = true;
    model.version = static_cast<std::uint16_t>(header[10] | (header[11] << 8));
    return true;
  }
  return false;
}

}  // namespace qv
