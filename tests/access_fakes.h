// Stand-ins for the windowing side of the key pad scans, shared by the test programs: no soft
// keyboards, and a presence check that shows nothing.
#pragma once

#include <string_view>

#include "access/access_ports.h"

namespace qv::testing {

class NoSoftKeyboards : public SoftKeyboardHost {
 public:
  bool SoftKeyboardThreadExists(int) override { return false; }
  bool SoftKeyboardWindowExists(int) override { return false; }
  void StartSoftKeyboardThread(int, SoftKeyLayout) override {}
  void CloseSoftKeyboardThread(int) override {}
  void CreateFolder(std::u16string_view) override {}
  void LoadSoftKeyAssets(int) override {}
};

class QuietPresenceUi : public PresenceCheckUi {
 public:
  void ShowForcedCloseMessage() override {}
  void CloseOwnedWindows() override {}
};

}  // namespace qv::testing
