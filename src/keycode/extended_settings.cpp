#include "keycode/extended_settings.h"

#include "device/device_commands.h"

namespace qv {
namespace {

BuzzerChoice BuzzerOf(std::uint8_t status) {
  switch (status & kStatusVolumeMask) {
    case kStatusVolumeNone:
      return BuzzerChoice::kOff;
    case kStatusVolumeSmall:
      return BuzzerChoice::kSmall;
    case kStatusVolumeLarge:
      return BuzzerChoice::kLarge;
    default:
      return BuzzerChoice::kNone;  // 0x20 is no volume
  }
}

InterfaceChoice InterfaceOf(std::uint8_t status) {
  return (status & kStatusInterfacePs2) ? InterfaceChoice::kPs2 : InterfaceChoice::kUsb;
}

}  // namespace

ExtendedSettingsView ExtendedSettingsOpen(std::uint32_t modelIdentity, std::uint8_t working) {
  ExtendedSettingsView view;
  switch (modelIdentity) {
    case kModel01001227:
      view.buzzerEnabled = true;
      view.buzzer = BuzzerOf(working);
      break;
    case kModel0100142A:
      view.buzzerEnabled = true;
      view.buzzer = BuzzerOf(working);
      view.interfaceShown = false;
      view.interfaceEnabled = true;
      view.interfaceMode = InterfaceOf(working);
      break;
    case kModel02001227:
    case kModel02001865:
      view.buzzerEnabled = true;
      view.buzzer = BuzzerOf(working);
      view.interfaceEnabled = true;
      view.interfaceMode = InterfaceOf(working);
      break;
    default:
      break;
  }
  return view;
}

std::uint8_t ExtendedSettingsValue(std::uint32_t modelIdentity, std::uint8_t working,
                                   BuzzerChoice buzzer, InterfaceChoice interfaceMode) {
  std::uint8_t volume = kStatusVolumeNone;
  if (buzzer == BuzzerChoice::kSmall) volume = kStatusVolumeSmall;
  if (buzzer == BuzzerChoice::kLarge) volume = kStatusVolumeLarge;
  std::uint8_t interfaceBit = 0;
  switch (modelIdentity) {
    case kModel0100142A:
    case kModel02001227:
    case kModel02001865:
      interfaceBit = interfaceMode == InterfaceChoice::kUsb ? 0 : kStatusInterfacePs2;
      break;
    default:
      break;
  }
  return static_cast<std::uint8_t>(interfaceBit | (working & 0x8F) | volume);
}

}  // namespace qv
