// The soft keyboards of the slots as the key pad scans see them: per slot the soft keyboard
// thread and window, the layout chosen for it, and its soft-key folder.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>

#include "access/access_ports.h"
#include "access/key_pad_table.h"
#include "keycode/key_code_record.h"

namespace qv {

class Win32SoftKeyboardHost : public SoftKeyboardHost {
 public:
  bool SoftKeyboardThreadExists(int slot) override;
  bool SoftKeyboardWindowExists(int slot) override;
  void StartSoftKeyboardThread(int slot, SoftKeyLayout layout) override;
  void CloseSoftKeyboardThread(int slot) override;
  void CreateFolder(std::u16string_view path) override;
  void LoadSoftKeyAssets(int slot) override;

  // What decides whether a soft keyboard may be shown: the slot's access state and the touch
  // switch.
  void Bind(const KeyPadTable* table, const std::atomic<std::uint32_t>* touchEnabled);
  // Shows or hides a slot's soft keyboard (to its icon when asked). It is shown only when its
  // window exists, the slot is not Locked and the touch function is on; a slot without a soft
  // keyboard window is left alone.
  void SetSoftKeyboardVisible(int slot, bool show, bool iconWhenHidden);
  // Whether the slot's soft keyboard is shown now.
  bool KeyboardShown(int slot);
  HWND SoftKeyboardWindow(int slot);
  // Forgets every slot (the main window's creation starts with no soft keyboard).
  void Clear();

 private:
  struct Slot {
    std::atomic<bool> started{false};
    std::atomic<HWND> window{nullptr};
    std::atomic<bool> shown{false};
    SoftKeyLayout layout = SoftKeyLayout::kStandard;
  };
  std::array<Slot, kMaxKeyPads> slots_;
  const KeyPadTable* table_ = nullptr;
  const std::atomic<std::uint32_t>* touchEnabled_ = nullptr;
};

}  // namespace qv
