// The names under which the user sees the key pad models: the label of the selection dialog's
// items and the title of the password prompt, both from one table.
#pragma once

#include <cstdint>
#include <string_view>

namespace qv {

struct ModelTexts {
  std::u16string_view label;  // appended to the serial number, e.g. " (Tarn)"; may be empty
  std::u16string_view
      promptTitle;  // e.g. "ユーザー認証　《Tarn》"; empty: the resource title stays
};

// The texts of a model identity; both empty for the unnamed models.
ModelTexts TextsOfModel(std::uint32_t modelIdentity);

}  // namespace qv
