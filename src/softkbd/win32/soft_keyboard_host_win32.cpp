#include "softkbd/win32/soft_keyboard_host_win32.h"

#include <string>

#include "access/key_pad_table.h"
#include "common/win32/wide.h"
#include "softkey_assets/win32/soft_key_assets_win32.h"

namespace qv {

bool Win32SoftKeyboardHost::SoftKeyboardThreadExists(int slot) {
  return IsSlot(slot) && slots_[slot].started.load();
}

bool Win32SoftKeyboardHost::SoftKeyboardWindowExists(int slot) {
  return IsSlot(slot) && slots_[slot].window.load() != nullptr;
}

void Win32SoftKeyboardHost::StartSoftKeyboardThread(int slot, SoftKeyLayout layout) {
  if (!IsSlot(slot) || slots_[slot].started.load()) return;
  slots_[slot].layout = layout;
  slots_[slot].started = true;
  // The soft keyboard's own thread and window join here with the soft keyboard; until then the
  // slot is marked as started so that the scans keep their bookkeeping.
}

void Win32SoftKeyboardHost::CloseSoftKeyboardThread(int slot) {
  if (!IsSlot(slot) || !slots_[slot].started.load()) return;
  slots_[slot].started = false;
  if (HWND window = slots_[slot].window.exchange(nullptr)) {
    // The soft keyboard thread ends its message loop when its window closes.
    SendMessageW(window, WM_CLOSE, 0, 0);
  }
  slots_[slot].shown = false;
}

void Win32SoftKeyboardHost::CreateFolder(std::u16string_view path) {
  std::wstring folder = WideString(path);
  CreateDirectoryW(folder.c_str(), nullptr);
}

void Win32SoftKeyboardHost::LoadSoftKeyAssets(int slot) {
  LoadProcessSoftKeyAssets(slot);
}

void Win32SoftKeyboardHost::Bind(const KeyPadTable* table,
                                 const std::atomic<std::uint32_t>* touchEnabled) {
  table_ = table;
  touchEnabled_ = touchEnabled;
}

void Win32SoftKeyboardHost::SetSoftKeyboardVisible(int slot, bool show, bool) {
  if (!IsSlot(slot) || !table_ || !touchEnabled_) return;
  HWND window = slots_[slot].window.load();
  if (!window || !MayShowSoftKeyboard(*table_, slot, touchEnabled_->load() != 0)) return;
  // The page layout and the info icon join here with the soft keyboard window.
  ShowWindow(window, show ? SW_SHOWNA : SW_HIDE);
  slots_[slot].shown = show;
}

void Win32SoftKeyboardHost::HideForCommand(int slot) {
  if (!IsSlot(slot)) return;
  if (HWND window = slots_[slot].window.load()) ShowWindow(window, SW_HIDE);
  slots_[slot].shown = false;
}

void Win32SoftKeyboardHost::ShowRevealed(int slot) {
  if (!IsSlot(slot)) return;
  HWND window = slots_[slot].window.load();
  if (!window) return;
  slots_[slot].shown = true;
  ShowWindow(window, SW_SHOWNA);
}

bool Win32SoftKeyboardHost::KeyboardShown(int slot) {
  return IsSlot(slot) && slots_[slot].shown.load();
}

bool Win32SoftKeyboardHost::HiddenToIcon(int slot) {
  return IsSlot(slot) && slots_[slot].hiddenToIcon.load();
}

HWND Win32SoftKeyboardHost::SoftKeyboardWindow(int slot) {
  return IsSlot(slot) ? slots_[slot].window.load() : nullptr;
}

void Win32SoftKeyboardHost::Clear() {
  for (Slot& slot : slots_) {
    slot.started = false;
    slot.window = nullptr;
    slot.shown = false;
    slot.hiddenToIcon = false;
  }
}

}  // namespace qv
