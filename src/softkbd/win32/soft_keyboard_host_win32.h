// The soft keyboards of the slots as the key pad scans see them: per slot the soft keyboard
// thread and window, the layout chosen for it, and its soft-key folder.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>

#include "access/access_ports.h"
#include "access/key_pad_table.h"
#include "access/soft_keyboard_visibility.h"
#include "keycode/key_code_record.h"

namespace qv {

class Win32SoftKeyboardHost : public SoftKeyboardHost, public SoftKeyboardVisibility {
 public:
  bool SoftKeyboardThreadExists(int slot) override;
  bool SoftKeyboardWindowExists(int slot) override;
  void StartSoftKeyboardThread(int slot, SoftKeyLayout layout) override;
  void CloseSoftKeyboardThread(int slot) override;
  void CreateFolder(std::u16string_view path) override;
  void LoadSoftKeyAssets(int slot) override;

  // What decides whether a soft keyboard may be shown or hidden: the slot's access state and the
  // touch switch.
  void Bind(const KeyPadTable* table, const std::atomic<std::uint32_t>* touchEnabled);
  bool KeyboardShown(int slot) override;
  bool HiddenToIcon(int slot) override;
  // Changes nothing unless the slot has a soft keyboard window that MayShowSoftKeyboard allows.
  void SetSoftKeyboardVisible(int slot, bool show, bool iconWhenHidden) override;
  void HideForCommand(int slot) override;
  void ShowRevealed(int slot) override;
  HWND SoftKeyboardWindow(int slot);
  // Forgets every slot (the main window's creation starts with no soft keyboard).
  void Clear();

 private:
  struct Slot {
    std::atomic<bool> started{false};
    std::atomic<HWND> window{nullptr};
    std::atomic<bool> shown{false};
    std::atomic<bool> hiddenToIcon{false};
    SoftKeyLayout layout = SoftKeyLayout::kStandard;
  };
  std::array<Slot, kMaxKeyPads> slots_;
  const KeyPadTable* table_ = nullptr;
  const std::atomic<std::uint32_t>* touchEnabled_ = nullptr;
};

}  // namespace qv
