// The owner of a HID collection's preparsed data (hid.dll), apart from owned.h so that only the
// HID code pulls in the HID headers.
#pragma once

#include <windows.h>

// hidsdi.h defines the types hidpi.h needs, so it comes first.
extern "C" {
#include <hidsdi.h>

#include <hidpi.h>
}

#include "common/win32/owned.h"

namespace qv {

struct PreparsedDataTraits {
  using type = PHIDP_PREPARSED_DATA;
  static type Invalid() { return nullptr; }
  static void Close(type data) { HidD_FreePreparsedData(data); }
};
using OwnedPreparsedData = Owned<PreparsedDataTraits>;

}  // namespace qv
