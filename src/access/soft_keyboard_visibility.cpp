#include "access/soft_keyboard_visibility.h"

namespace qv {

bool MayShowSoftKeyboard(const KeyPadTable& table, int slot, bool touchEnabled) {
  return IsSlot(slot) && touchEnabled &&
         table.slots[slot].accessState.load() != AccessState::Locked;
}

}  // namespace qv
