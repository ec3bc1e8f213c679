#include "access/key_pad_table.h"

#include "device/device_link.h"

namespace qv {

CarriedAccess TakeCarriedAccess(const KeyPadSlot& slot) {
  CarriedAccess access;
  access.authDeclined = slot.authDeclined.load();
  access.accessState = slot.accessState.load();
  access.softKeyAuthenticated = slot.softKeyAuthenticated.load();
  access.settingsLocked = slot.settingsLocked.load();
  return access;
}

void InstallCarriedAccess(KeyPadSlot& slot, const CarriedAccess& access) {
  slot.authDeclined = access.authDeclined;
  slot.accessState = access.accessState;
  slot.softKeyAuthenticated = access.softKeyAuthenticated;
  slot.settingsLocked = access.settingsLocked;
}

bool KeyPadFolder(const KeyPadTable& table, std::u16string_view softKeyFolder, int slot,
                  char16_t (&folder)[kPathChars]) {
  folder[0] = 0;
  if (!IsSlot(slot)) return false;
  const KeyPadSlot& entry = table.slots[slot];
  if (!BoundedFormat(folder, u"%s%04x%06u",
                     {softKeyFolder, unsigned{ProductIdOf(entry.modelIdentity)},
                      unsigned{entry.serialNumber}})) {
    folder[0] = 0;
    return false;
  }
  return true;
}

}  // namespace qv
