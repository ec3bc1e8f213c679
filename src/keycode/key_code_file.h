// Key-code files (".qvk"): every key code of a key pad behind a 16-byte header that names the
// model, for the models with extended settings followed by a 4-byte block with the buzzer and
// interface settings. Building and checking a file's bytes; the file dialogs and the disk are
// reached through KeyCodeFileSystem (key_code_editing.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/key_code_record.h"

namespace qv {

inline constexpr std::size_t kKeyCodeFileHeaderBytes = 16;
inline constexpr std::size_t kSettingsBlockBytes = 4;
inline constexpr std::uint16_t kKeyPadVendorId = 0xEA7C;

// The model identities (version << 16 | product id) with buzzer and interface settings: dialog
// 169 is offered for them, and their files use the extended header with the settings block.
bool HasExtendedSettings(std::uint32_t modelIdentity);

using SettingsBlock = std::array<std::uint8_t, kSettingsBlockBytes>;

// The settings block of a status byte: 1, interface (0 on 0x01001227, the model without an
// interface choice; 1 = PS/2, 2 = USB), 2, buzzer (1 = small, 2 = large, 0 = none).
SettingsBlock SettingsBlockFromStatus(std::uint32_t modelIdentity, std::uint8_t status);

// Whether a settings block carries its markers (else the settings stay as they are).
bool SettingsBlockIsUsable(const SettingsBlock& block);

// The status byte a file's settings block asks for on top of the key pad's current status (its
// bits 0-3 and 7 are kept); false when the block's markers are wrong (the settings stay as they
// are).
bool StatusFromSettingsBlock(const SettingsBlock& block, std::uint8_t currentStatus,
                             std::uint8_t& status);

// The whole file for a key pad: header, settings block (extended form, from `status`) and the
// first KeyCountForModel records, each as its first L bytes. A record whose read failed (L = 0)
// is written as an empty key (L = 1), so the records after it stay readable; a length beyond the
// record's 61 bytes is written as 61.
std::vector<std::uint8_t> BuildKeyCodeFile(std::uint32_t modelIdentity, std::uint8_t status,
                                           const KeyCodeRecords& records);

enum class KeyCodeFileVerdict {
  kValid,
  kForeign,  // another product's (or model version's) file
  kDamaged,  // no known header, a wrong checksum, or records that cannot be loaded
};

// A checked file: on kValid the records of keys 1..keyCount (stroke bytes beyond L are zero) and,
// for the extended form, its settings block.
struct KeyCodeFileContent {
  KeyCodeFileVerdict verdict = KeyCodeFileVerdict::kDamaged;
  bool extended = false;
  SettingsBlock settings{};
  int keyCount = 0;
  KeyCodeRecords records{};
};

// Checks a file's bytes for the key pad of `modelIdentity`: the header's identity first (a
// foreign file is reported as such even when it is also damaged), then the header's form and
// checksum, then the body as a whole: the settings block where the form has one and every
// record with 1 <= L <= 61 and complete. Bytes after the last record are ignored. A record longer
// than the model's stroke capacity is taken as it is: the key pad itself may hold one, and a file
// this program exported from it loads again.
KeyCodeFileContent CheckKeyCodeFile(std::span<const std::uint8_t> bytes,
                                    std::uint32_t modelIdentity);

// The model a file's header names: the product id, and in the extended form the model version.
struct KeyCodeFileModel {
  std::uint16_t productId = 0;
  bool versionNamed = false;
  std::uint16_t version = 0;
};

// False when the bytes do not start with a key-code file's header (either form, this vendor).
bool ReadKeyCodeFileModel(std::span<const std::uint8_t> bytes, KeyCodeFileModel& model);

}  // namespace qv
