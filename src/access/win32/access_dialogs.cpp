#include "access/win32/access_dialogs.h"

#include <imm.h>

#include <string>

#include "common/secure_zero.h"
#include "common/win32/ui_message_win32.h"
#include "common/win32/wide.h"
#include "common/win32/window_proc.h"
#include "resource.h"

namespace qv {
namespace {

// A dialog over one object of the flow it shows: `Handle` gets every message with that object.
template <typename Data, INT_PTR (*Handle)(HWND, UINT, WPARAM, Data&)>
struct DialogOver {
  Data& data;
  INT_PTR HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return Handle(dialog, message, wParam, data);
  }
};

// Runs dialog `id` of `instance` over `data` and returns how it ended.
template <typename Data, INT_PTR (*Handle)(HWND, UINT, WPARAM, Data&)>
int RunDialogOver(HINSTANCE instance, int id, HWND owner, Data& data) {
  using Dialog = DialogOver<Data, Handle>;
  Dialog state{data};
  return static_cast<int>(DialogBoxParamW(instance, MAKEINTRESOURCEW(id), owner,
                                          DialogProcOf<Dialog>, reinterpret_cast<LPARAM>(&state)));
}

// Text fields whose content is a password: the input method is switched off for them.
void SwitchInputMethodOff(HWND dialog, int controlId) {
  ImmAssociateContext(GetDlgItem(dialog, controlId), nullptr);
}

// A field's text, at most `Chars - 1` characters, as the view the portable side takes.
template <std::size_t Chars>
std::u16string_view ReadField(HWND dialog, int controlId, wchar_t (&buffer)[Chars]) {
  buffer[0] = 0;
  GetDlgItemTextW(dialog, controlId, buffer, static_cast<int>(Chars));
  buffer[Chars - 1] = 0;
  return BoundedView(Utf16(buffer), Chars);
}

void ClearAndFocus(HWND dialog, int firstId, int secondId) {
  SetDlgItemTextW(dialog, firstId, L"");
  if (secondId != 0) SetDlgItemTextW(dialog, secondId, L"");
  SetFocus(GetDlgItem(dialog, firstId));
}

void EnableControl(HWND dialog, int controlId, bool enabled) {
  EnableWindow(GetDlgItem(dialog, controlId), enabled ? TRUE : FALSE);
}

void ShowControl(HWND dialog, int controlId, bool shown) {
  ShowWindow(GetDlgItem(dialog, controlId), shown ? SW_SHOW : SW_HIDE);
}

void ApplyControlState(HWND dialog, const DialogControlState& control) {
  EnableControl(dialog, control.id, control.enabled);
  ShowControl(dialog, control.id, control.shown);
  if (control.checked >= 0)
    CheckDlgButton(dialog, control.id, control.checked ? BST_CHECKED : BST_UNCHECKED);
}

bool IsChecked(HWND dialog, int controlId) {
  return IsDlgButtonChecked(dialog, controlId) == BST_CHECKED;
}

// ---------------------------------------------------------------- dialog 129

INT_PTR KeyPadSelectionMessage(HWND dialog, UINT message, WPARAM wParam,
                               KeyPadSelectionParams& selection) {
  switch (message) {
    case WM_INITDIALOG: {
      KeyPadTable& table = *selection.table;
      selection.items = BuildSelectionItems(table, selection.command);
      // The combo box sorts its items itself: each item keeps its slot as item data.
      for (const SelectionItem& item : selection.items) {
        const LRESULT index = SendDlgItemMessageW(dialog, IDC_KEYBOARD_LIST, CB_ADDSTRING, 0,
                                                  reinterpret_cast<LPARAM>(Wide(item.text)));
        if (index >= 0)
          SendDlgItemMessageW(dialog, IDC_KEYBOARD_LIST, CB_SETITEMDATA, static_cast<WPARAM>(index),
                              static_cast<LPARAM>(item.slot));
      }
      table.selectedKeyPad = 0;
      SendDlgItemMessageW(dialog, IDC_KEYBOARD_LIST, CB_SETCURSEL, 0, 0);
      switch (DecideSelectionOpening(selection.items)) {
        case SelectionOpening::kCancelAtOnce:
          EndDialog(dialog, ConfirmSelection(table, selection.items, -1));
          break;
        case SelectionOpening::kConfirmAtOnce:
          EndDialog(dialog, ConfirmSelection(table, selection.items, 0));
          break;
        case SelectionOpening::kAskUser:
          break;
      }
      return TRUE;
    }
    case WM_COMMAND: {
      if (LOWORD(wParam) == IDOK) {
        std::ptrdiff_t chosen = -1;
        const LRESULT index = SendDlgItemMessageW(dialog, IDC_KEYBOARD_LIST, CB_GETCURSEL, 0, 0);
        if (index != CB_ERR) {
          const LRESULT slot = SendDlgItemMessageW(dialog, IDC_KEYBOARD_LIST, CB_GETITEMDATA,
                                                   static_cast<WPARAM>(index), 0);
          for (std::size_t i = 0; i < selection.items.size(); ++i)
            if (selection.items[i].slot == slot) chosen = static_cast<std::ptrdiff_t>(i);
        }
        EndDialog(dialog, ConfirmSelection(*selection.table, selection.items, chosen));
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, ConfirmSelection(*selection.table, selection.items, -1));
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

// ---------------------------------------------------------------- dialog 130

INT_PTR PasswordPromptMessage(HWND dialog, UINT message, WPARAM wParam,
                              PasswordPromptSession& prompt) {
  switch (message) {
    case WM_INITDIALOG: {
      PromptView view;
      prompt.Describe(view);
      if (view.title[0] != 0) SetWindowTextW(dialog, Wide(view.title));
      SetDlgItemTextW(dialog, IDC_SERIAL_NUMBER, Wide(view.serial));
      SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
      SetForegroundWindow(dialog);
      SwitchInputMethodOff(dialog, IDC_PASSWORD);
      prompt.Opened();
      return TRUE;
    }
    case WM_COMMAND: {
      if (LOWORD(wParam) == IDOK) {
        wchar_t typed[kPromptPasswordChars + 1];
        const SubmitOutcome outcome =
            prompt.Submit(ReadField(dialog, IDC_PASSWORD, typed), UiWindowOf(dialog));
        SecureZero(typed, sizeof typed);
        if (outcome.endDialog)
          EndDialog(dialog, outcome.result);
        else
          ClearAndFocus(dialog, IDC_PASSWORD, 0);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, prompt.Cancel());
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

// ---------------------------------------------------------------- dialog 131

INT_PTR PasswordRegistrationMessage(HWND dialog, UINT message, WPARAM wParam,
                                    PasswordRegistrationSession& registration) {
  switch (message) {
    case WM_INITDIALOG: {
      SwitchInputMethodOff(dialog, IDC_NEW_PASSWORD);
      SwitchInputMethodOff(dialog, IDC_CONFIRM_PASSWORD);
      registration.Opened();
      return TRUE;
    }
    case WM_COMMAND: {
      if (LOWORD(wParam) == IDOK) {
        wchar_t entry[kRegistrationPasswordChars + 1];
        wchar_t confirmation[kRegistrationPasswordChars + 1];
        const std::u16string_view entryText = ReadField(dialog, IDC_NEW_PASSWORD, entry);
        const std::u16string_view confirmationText =
            ReadField(dialog, IDC_CONFIRM_PASSWORD, confirmation);
        const SubmitOutcome outcome =
            registration.Submit(entryText, confirmationText, UiWindowOf(dialog));
        SecureZero(entry, sizeof entry);
        SecureZero(confirmation, sizeof confirmation);
        if (outcome.endDialog)
          EndDialog(dialog, outcome.result);
        else
          ClearAndFocus(dialog, IDC_NEW_PASSWORD, IDC_CONFIRM_PASSWORD);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, registration.Cancel());
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

// ---------------------------------------------------------------- dialog 132

// The error dialog shows nothing of a flow.
struct NoFlowData {};

INT_PTR PasswordErrorMessage(HWND dialog, UINT message, WPARAM wParam, NoFlowData&) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      // Only its two buttons end it; Esc (IDCANCEL) is swallowed.
      if (PasswordErrorDialogEndsWith(LOWORD(wParam))) EndDialog(dialog, LOWORD(wParam));
      return TRUE;
    default:
      return FALSE;
  }
}

// ---------------------------------------------------------------- dialog 137

INT_PTR TrayMenuMessage(HWND dialog, UINT message, WPARAM wParam, AccessPorts& access) {
  switch (message) {
    case WM_INITDIALOG: {
      for (const DialogControlState& control : TrayMenuDialogControls(OpenTrayMenuDialog(access)))
        ApplyControlState(dialog, control);
      SetForegroundWindow(dialog);
      SetFocus(dialog);
      return FALSE;  // the focus was set here
    }
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (id == IDC_MENU_TOUCH) {
        if (HIWORD(wParam) == BN_CLICKED)
          ToggleTouchFromTrayMenu(access, IsChecked(dialog, IDC_MENU_TOUCH));
        return TRUE;
      }
      if (TrayMenuDialogEndsWith(id)) {
        EndDialog(dialog, id);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

// ---------------------------------------------------------------- dialog 173

INT_PTR SoftKeyMenuMessage(HWND dialog, UINT message, WPARAM wParam, SoftKeyMenuParams& menu) {
  switch (message) {
    case WM_INITDIALOG: {
      const HWND owner = GetWindow(dialog, GW_OWNER);
      const SoftKeyMenuPlan plan =
          OpenSoftKeyMenu(*menu.table, UiWindowOf(owner), [&menu](int slot) -> UiWindow {
            return menu.softKeyboardWindowOf ? UiWindowOf(menu.softKeyboardWindowOf(slot)) : 0;
          });
      if (plan.forKeyPad) {
        CheckDlgButton(dialog, IDC_SETTINGS_LOCKED,
                       plan.settingsLocked ? BST_CHECKED : BST_UNCHECKED);
        if (plan.lockEnabled) EnableControl(dialog, IDC_MENU_LOCK, true);
        SetForegroundWindow(dialog);
        SetFocus(dialog);
        return FALSE;
      }
      return TRUE;
    }
    case WM_COMMAND: {
      const int result =
          SoftKeyMenuCommand(*menu.table, LOWORD(wParam), IsChecked(dialog, IDC_SETTINGS_LOCKED));
      if (result == 0) return FALSE;
      EndDialog(dialog, result);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

int TrayMenuDialog(HINSTANCE instance, HWND owner, AccessPorts& ports) {
  return RunDialogOver<AccessPorts, TrayMenuMessage>(instance, IDD_TRAY_MENU, owner, ports);
}

int SoftKeyMenuDialog(HINSTANCE instance, HWND owner, KeyPadTable& table,
                      std::function<HWND(int slot)> softKeyboardWindowOf) {
  SoftKeyMenuParams params;
  params.table = &table;
  params.softKeyboardWindowOf = std::move(softKeyboardWindowOf);
  return RunDialogOver<SoftKeyMenuParams, SoftKeyMenuMessage>(instance, IDD_SOFTKEY_MENU, owner,
                                                              params);
}

// ---------------------------------------------------------------- AccessUi

int Win32AccessUi::RunPasswordPrompt(UiWindow owner, PasswordPromptSession& session) {
  return RunDialogOver<PasswordPromptSession, PasswordPromptMessage>(instance_, IDD_PASSWORD_PROMPT,
                                                                     WindowHandle(owner), session);
}

int Win32AccessUi::RunPasswordErrorDialog(UiWindow owner) {
  NoFlowData none;
  return RunDialogOver<NoFlowData, PasswordErrorMessage>(instance_, IDD_PASSWORD_ERROR,
                                                         WindowHandle(owner), none);
}

int Win32AccessUi::RunPasswordRegistration(UiWindow owner, PasswordRegistrationSession& session) {
  return RunDialogOver<PasswordRegistrationSession, PasswordRegistrationMessage>(
      instance_, IDD_PASSWORD_REGISTRATION, WindowHandle(owner), session);
}

int Win32AccessUi::RunKeyPadSelection(UiWindow owner, KeyPadTable& table, unsigned command) {
  KeyPadSelectionParams params;
  params.table = &table;
  params.command = command;
  return RunDialogOver<KeyPadSelectionParams, KeyPadSelectionMessage>(
      instance_, IDD_KEYBOARD_SELECTION, WindowHandle(owner), params);
}

int Win32AccessUi::ShowMessage(UiWindow owner, const AccessMessage& message) {
  return ShowUiMessage(WindowHandle(owner), message);
}

void Win32AccessUi::ErrorBeep() {
  MessageBeep(MB_ICONEXCLAMATION);
}

void Win32AccessUi::BringToForeground(UiWindow window) {
  if (window != 0) SetForegroundWindow(WindowHandle(window));
}

}  // namespace qv
