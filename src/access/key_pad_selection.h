// The items of the key pad selection dialog (129): one per candidate slot, the serial number
// and the model's label, in the order of the dialog's sorted combo box.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "access/key_pad_table.h"

namespace qv {

// Item texts are built in 20 characters: at most 19 shown.
inline constexpr std::size_t kSelectionItemChars = 20;

struct SelectionItem {
  char16_t text[kSelectionItemChars] = {};
  int slot = 0;  // kept with the item, so two items of the same text are still told apart
};

// The label appended to a serial number, e.g. " (Tarn)"; empty for the unnamed models.
std::u16string_view ModelLabel(std::uint32_t modelIdentity);

// "%06u" of the slot's serial number followed by its model label, cut to 19 characters.
void SelectionItemText(const KeyPadTable& table, int slot, char16_t (&text)[kSelectionItemChars]);

// The candidates of the counted slots in the combo box's order (by text; equal texts in slot
// order). For the re-authentication command only Locked slots are candidates.
std::vector<SelectionItem> BuildSelectionItems(const KeyPadTable& table, unsigned command);

enum class SelectionOpening {
  kCancelAtOnce,   // no candidate: the dialog ends as cancelled
  kConfirmAtOnce,  // one candidate: chosen without asking
  kAskUser,
};
SelectionOpening DecideSelectionOpening(const std::vector<SelectionItem>& items);

// Dialog results.
inline constexpr int kSelectionChosen = 1;
inline constexpr int kSelectionCancelled = 2;

// Ends the dialog with item `index` chosen (kSelectionChosen, selectedKeyPad = its slot), or
// with kSelectionCancelled and selectedKeyPad = 0 when the index names no item.
int ConfirmSelection(KeyPadTable& table, const std::vector<SelectionItem>& items,
                     std::ptrdiff_t index);

}  // namespace qv
