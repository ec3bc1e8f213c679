// The extended settings of dialog 169: the buzzer volume and, on some models, the interface
// (PS/2 or USB), both bits of the key pad's status byte. Which radio buttons the dialog shows,
// enables and checks, and the status byte its choice makes.
#pragma once

#include <cstdint>

namespace qv {

enum class BuzzerChoice { kNone, kLarge, kSmall, kOff };  // kNone: no radio checked
enum class InterfaceChoice { kNone, kPs2, kUsb };

struct ExtendedSettingsView {
  bool buzzerEnabled = false;
  BuzzerChoice buzzer = BuzzerChoice::kNone;
  bool interfaceShown = true;  // group box 1043 and its radios
  bool interfaceEnabled = false;
  InterfaceChoice interfaceMode = InterfaceChoice::kNone;
};

// The dialog as it opens for a model identity and the working status byte (the pending status,
// or what the key pad reports).
ExtendedSettingsView ExtendedSettingsOpen(std::uint32_t modelIdentity, std::uint8_t working);

// The new status byte of "登録": the chosen volume bits (0x00 without a choice), the interface bit
// on the models that have an interface choice, and the working value's bits 0-3 and 7.
std::uint8_t ExtendedSettingsValue(std::uint32_t modelIdentity, std::uint8_t working,
                                   BuzzerChoice buzzer, InterfaceChoice interfaceMode);

}  // namespace qv
