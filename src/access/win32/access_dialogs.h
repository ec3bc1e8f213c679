// The Win32 side of the access control: the dialog procedures of the key pad selection (129),
// the password prompt (130), the password registration (131), the password error dialog (132),
// the main menu dialog (137) and the soft keyboard menu (173), and AccessUi over them and
// ShowUiMessage. The procedures only show what the portable flows decide and hand every button
// back to them.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "access/access_control.h"
#include "access/access_menus.h"
#include "access/key_pad_selection.h"

namespace qv {

inline HWND WindowHandle(UiWindow window) {
  return reinterpret_cast<HWND>(window);
}
inline UiWindow UiWindowOf(HWND window) {
  return reinterpret_cast<UiWindow>(window);
}

// What dialog 129 shows.
struct KeyPadSelectionParams {
  KeyPadTable* table = nullptr;
  unsigned command = 0;
  std::vector<SelectionItem> items;  // filled when the dialog opens
};
// What dialog 173 shows.
struct SoftKeyMenuParams {
  KeyPadTable* table = nullptr;
  std::function<HWND(int slot)> softKeyboardWindowOf;  // null window: the slot has none
};

// Runs dialog 137 owned by `owner`: 1, 2 or the button 1019-1023 pressed.
int TrayMenuDialog(HINSTANCE instance, HWND owner, AccessPorts& ports);
// Runs dialog 173 owned by a soft keyboard window: 1, 2, 1020 (lock) or 1022 (password setting).
int SoftKeyMenuDialog(HINSTANCE instance, HWND owner, KeyPadTable& table,
                      std::function<HWND(int slot)> softKeyboardWindowOf);

// The access flows' dialogs and message boxes, from the resources of `instance`.
class Win32AccessUi : public AccessUi {
 public:
  explicit Win32AccessUi(HINSTANCE instance) : instance_(instance) {}
  int RunPasswordPrompt(UiWindow owner, PasswordPromptSession& session) override;
  int RunPasswordErrorDialog(UiWindow owner) override;
  int RunPasswordRegistration(UiWindow owner, PasswordRegistrationSession& session) override;
  int RunKeyPadSelection(UiWindow owner, KeyPadTable& table, unsigned command) override;
  int ShowMessage(UiWindow owner, const AccessMessage& message) override;
  void ErrorBeep() override;
  void BringToForeground(UiWindow window) override;

 private:
  HINSTANCE instance_;
};

}  // namespace qv
