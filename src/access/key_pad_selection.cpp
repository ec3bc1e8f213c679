#include "access/key_pad_selection.h"

#include <algorithm>

#include "access/model_names.h"
#include "common/ids.h"
#include "device/device_link.h"

namespace qv {

std::u16string_view ModelLabel(std::uint32_t modelIdentity) {
  return TextsOfModel(modelIdentity).label;
}

void SelectionItemText(const KeyPadTable& table, int slot, char16_t (&text)[kSelectionItemChars]) {
  text[0] = 0;
  if (!IsSlot(slot)) return;
  const KeyPadSlot& entry = table.slots[slot];
  BoundedFormat(text, u"%06u%s", {unsigned{entry.serialNumber}, ModelLabel(entry.modelIdentity)});
}

std::vector<SelectionItem> BuildSelectionItems(const KeyPadTable& table, unsigned command) {
  std::vector<SelectionItem> items;
  const int count = CountedSlots(table);
  for (int slot = 0; slot < count; ++slot) {
    if (command == kCommandAuthenticateAgain &&
        table.slots[slot].accessState != AccessState::Locked)
      continue;
    SelectionItem item;
    item.slot = slot;
    SelectionItemText(table, slot, item.text);
    items.push_back(item);
  }
  std::stable_sort(items.begin(), items.end(), [](const SelectionItem& a, const SelectionItem& b) {
    return BoundedView(a.text) < BoundedView(b.text);
  });
  return items;
}

SelectionOpening DecideSelectionOpening(const std::vector<SelectionItem>& items) {
  // With no candidate, confirming would run the command on slot 0, which was not offered.
  if (items.empty()) return SelectionOpening::kCancelAtOnce;
  if (items.size() == 1) return SelectionOpening::kConfirmAtOnce;
  return SelectionOpening::kAskUser;
}

int ConfirmSelection(KeyPadTable& table, const std::vector<SelectionItem>& items,
                     std::ptrdiff_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= items.size()) {
    table.selectedKeyPad = 0;
    return kSelectionCancelled;
  }
  table.selectedKeyPad = static_cast<std::uint16_t>(items[static_cast<std::size_t>(index)].slot);
  return kSelectionChosen;
}

}  // namespace qv
