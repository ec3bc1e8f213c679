#include "keycode/win32/key_code_dialogs.h"

#include <cstdio>

#include "common/ids.h"
#include "common/win32/owned.h"
#include "common/win32/wait_cursor.h"
#include "common/win32/wide.h"
#include "common/win32/window_proc.h"
#include "device/device_commands.h"
#include "keycode/extended_settings.h"
#include "keycode/win32/key_code_list.h"

namespace qv {
namespace {

constexpr int kButtonFontPixels = 12;

COLORREF Rgb(Colour colour) {
  return RGB(colour.red, colour.green, colour.blue);
}

struct SettingsDialog {
  SettingsDialog(KeyCodeSettingsSession& s, HINSTANCE i) : session(s), instance(i) {}
  KeyCodeSettingsSession& session;
  HINSTANCE instance = nullptr;
  HWND dialog = nullptr;
  OwnedFont font;
  int originX = 0;
  int originY = 0;
  CellSize cell;

  KeyCodeEditing& editing() { return *session.editing; }
  EditedKeyCodes& edited() { return session.editing->edited; }
  std::uint16_t productId() { return session.editing->ProductId(); }
  UiWindow owner() { return reinterpret_cast<UiWindow>(dialog); }
  HWND Button(int index) { return GetDlgItem(dialog, kFirstKeyButtonId + index); }

  void ShowRecord(int key, bool scrollToEnd) {
    ShowKeyCode(dialog, edited().records[key], scrollToEnd, session.nonJapaneseLayout);
  }
  void RepaintAll() {
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  }

  INT_PTR HandleDialogMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

void CreateButtons(SettingsDialog& state, bool keysOnly, bool keysVisible) {
  const bool paged = KeyGridFor(state.productId()).kind == KeyGridKind::kPaged;
  for (const KeyButtonPlace& place : KeyButtonPlaces(
           state.productId(), state.originX, state.originY, state.cell, state.edited().page)) {
    const bool pageButton = paged && place.index < kPageCount;
    if (keysOnly && pageButton) continue;
    wchar_t caption[8] = {};
    std::swprintf(caption, 8, L"%u", place.caption);
    DWORD style = WS_CHILD | BS_OWNERDRAW;
    if (pageButton || !paged || keysVisible) style |= WS_VISIBLE;
    CreateWindowExW(0, L"button", caption, style, place.rect.x, place.rect.y, place.rect.width,
                    place.rect.height, state.dialog,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstKeyButtonId + place.index)),
                    state.instance, nullptr);
  }
}

void MoveBy(HWND dialog, int id, int dx, int dy) {
  HWND control = GetDlgItem(dialog, id);
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  SetWindowPos(control, nullptr, rect.left + dx, rect.top + dy, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void LayOutKeyButtons(SettingsDialog& state) {
  HWND dialog = state.dialog;
  HWND templateButton = GetDlgItem(dialog, kControlKeyButtonTemplate);
  RECT place{};
  GetWindowRect(templateButton, &place);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
  RECT client{};
  GetClientRect(templateButton, &client);
  state.originX = place.left;
  state.originY = place.top;
  state.cell = {client.right, client.bottom};

  const KeyGrid grid = KeyGridFor(state.productId());
  if (grid.widened) {
    RECT window{};
    GetWindowRect(dialog, &window);
    const int width = window.right - window.left;
    SetWindowPos(dialog, nullptr, window.left - kWideningShiftX, window.top, width + kWideningExtra,
                 window.bottom - window.top, SWP_NOZORDER | SWP_NOACTIVATE);
    MoveBy(dialog, IDOK, kWideningExtra, 0);
    MoveBy(dialog, IDCANCEL, kWideningExtra, 0);
    MoveBy(dialog, kControlKeyInput, kWideningExtra, kWideningDropKeyInput);
    state.cell = WidenedCellSize(state.productId(), width, state.originX);
  }
  if (grid.keyInputMovedDown) MoveBy(dialog, kControlKeyInput, 0, state.cell.height);
  DestroyWindow(templateButton);
  CreateButtons(state, false, false);
}

void SelectKeyButton(SettingsDialog& state, int index) {
  EditedKeyCodes& edited = state.edited();
  const int key = KeyIndexOfButton(state.productId(), edited.page, index);
  if (key < 0 || !IsWindowEnabled(state.Button(index))) return;
  if (edited.selectedButton >= 0 && edited.selectedButton != index)
    EnableWindow(state.Button(edited.selectedButton), TRUE);
  edited.selectedButton = index;
  edited.selectedKey = key;
  EnableWindow(state.Button(index), FALSE);
  state.ShowRecord(key, false);
  EnableWindow(GetDlgItem(state.dialog, kControlKeyInput), TRUE);
}

void ChangePage(SettingsDialog& state, int page) {
  EditedKeyCodes& edited = state.edited();
  if (page == edited.page && !IsWindowEnabled(state.Button(page - 1))) return;
  EnableWindow(state.Button(edited.page - 1), TRUE);
  edited.page = page;
  EnableWindow(state.Button(page - 1), FALSE);
  for (int key = 0; key < kKeysPerPage; ++key) DestroyWindow(state.Button(kPageCount + key));
  CreateButtons(state, true, true);
  ShowKeyCode(state.dialog, KeyCodeRecord{}, false, state.session.nonJapaneseLayout);
  EnableWindow(GetDlgItem(state.dialog, kControlKeyInput), FALSE);
}

void DrawButton(SettingsDialog& state, const DRAWITEMSTRUCT& item) {
  const int index = static_cast<int>(item.CtlID) - kFirstKeyButtonId;
  const bool pushed = (item.itemState & ODS_SELECTED) != 0;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  const int page = PageOfButton(state.productId(), index);
  const int key = KeyIndexOfButton(state.productId(), state.edited().page, index);

  COLORREF fill = Rgb(PageButtonFill(pushed || disabled));
  COLORREF text = Rgb(kPageText);
  if (page == 0) {
    const bool changed = key >= 0 && state.edited().changed[key];
    fill = Rgb(KeyButtonFill(pushed || disabled, changed, state.edited()));
    text = Rgb(kKeyText);
  }

  HDC dc = item.hDC;
  RECT face = item.rcItem;
  UINT frame = DFCS_BUTTONPUSH;
  if (pushed || disabled) {
    frame |= DFCS_PUSHED;
    OffsetRect(&face, 1, 1);
  }
  RECT frameRect = item.rcItem;
  DrawFrameControl(dc, &frameRect, DFC_BUTTON, frame);
  InflateRect(&face, -GetSystemMetrics(SM_CXEDGE), -GetSystemMetrics(SM_CYEDGE));
  OwnedBrush brush(CreateSolidBrush(fill));
  FillRect(dc, &face, brush.get());

  wchar_t caption[8] = {};
  GetWindowTextW(item.hwndItem, caption, 4);  // at most three characters
  SelectedObject selected(dc, state.font.get());
  SetBkMode(dc, TRANSPARENT);
  RECT shadow = face;
  OffsetRect(&shadow, 1, 0);
  SetTextColor(dc, Rgb(kButtonTextShadow));
  DrawTextW(dc, caption, -1, &shadow, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  SetTextColor(dc, text);
  DrawTextW(dc, caption, -1, &face, DT_CENTER | DT_VCENTER | DT_SINGLELINE);

  if (pushed && !disabled)
    PostMessageW(state.dialog, kKeyButtonPushedMessage, static_cast<WPARAM>(index), 0);
}

void RunKeyInput(SettingsDialog& state) {
  EditedKeyCodes& edited = state.edited();
  const int key = edited.selectedKey;
  if (key < 0 || !state.session.runKeyInput) return;
  if (state.session.runKeyInput(state.dialog) != 1) return;
  edited.changed[key] = true;
  if (edited.selectedButton >= 0) {
    // Enabling and disabling again repaints the selected button in its new colour.
    EnableWindow(state.Button(edited.selectedButton), TRUE);
    EnableWindow(state.Button(edited.selectedButton), FALSE);
  }
  state.ShowRecord(key, false);
}

FinishOutcome FinishWithWaitCursor(SettingsDialog& state) {
  const WaitCursor busy;  // the changed keys and settings are written
  return FinishKeyCodeSettings(state.editing(), state.owner());
}

void OnCommand(SettingsDialog& state, int id, int code) {
  if (id >= kFirstKeyButtonId) {
    // A keyboard click: push the button as the mouse does, so it is drawn pushed and selected.
    if (code == BN_CLICKED)
      PostMessageW(state.Button(id - kFirstKeyButtonId), WM_LBUTTONDOWN, MK_LBUTTON, 0);
    return;
  }
  switch (id) {
    case kControlKeyInput:
      RunKeyInput(state);
      break;
    case kControlImport: {
      const WaitCursor busy;  // a file's settings are merged into the status read now
      if (ImportKeyCodeFile(state.editing(), state.owner())) {
        if (state.edited().selectedKey >= 0) state.ShowRecord(state.edited().selectedKey, false);
        state.RepaintAll();
      }
      break;
    }
    case kControlExport: {
      const WaitCursor busy;  // the current settings are read and, on Yes, the edits written
      ExportAndApply(state.editing(), state.owner());
      state.RepaintAll();
      break;
    }
    case kControlExtendedSettings:
      RunExtendedSettingsDialog(state.instance, state.dialog, state.editing());
      break;
    case IDOK:
      switch (FinishWithWaitCursor(state)) {
        case FinishOutcome::kWritten:
          EndDialog(state.dialog, kSettingsWritten);
          break;
        case FinishOutcome::kLinkDown:
          EndDialog(state.dialog, kSettingsDropped);
          break;
        case FinishOutcome::kStayOpen:
          state.RepaintAll();
          break;
      }
      break;
    case IDCANCEL:
      CancelKeyCodeSettings(state.edited());
      EndDialog(state.dialog, kSettingsDropped);
      break;
    default:
      break;
  }
}

INT_PTR SettingsDialog::HandleDialogMessage(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    dialog = window;
    font.reset(CreateFontW(kButtonFontPixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L""));
    {
      const WaitCursor busy;  // every key is read from the key pad
      BeginKeyCodeSettings(editing());
    }
    LayOutKeyButtons(*this);
    InitKeyCodeList(dialog);
    if (HasExtendedSettings(editing().modelIdentity)) {
      HWND extended = GetDlgItem(dialog, kControlExtendedSettings);
      ShowWindow(extended, SW_SHOW);
      EnableWindow(extended, TRUE);
    }
    return TRUE;
  }
  switch (message) {
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item.CtlType != ODT_BUTTON || static_cast<int>(item.CtlID) < kFirstKeyButtonId)
        return FALSE;
      DrawButton(*this, item);
      return TRUE;
    }
    case kKeyButtonPushedMessage: {
      const int index = static_cast<int>(wParam);
      const int page = PageOfButton(productId(), index);
      if (page > 0)
        ChangePage(*this, page);
      else
        SelectKeyButton(*this, index);
      return TRUE;
    }
    case WM_COMMAND:
      OnCommand(*this, LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && session.openKeyInputWindow) {
        if (HWND keyInput = session.openKeyInputWindow()) SetFocus(keyInput);
      }
      return FALSE;
    default:
      return FALSE;
  }
}

// ---------------------------------------------------------------- extended settings

struct ExtendedDialog {
  KeyCodeEditing& editing;
  std::uint8_t working = 0;

  INT_PTR HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
};

int BuzzerControl(BuzzerChoice choice) {
  switch (choice) {
    case BuzzerChoice::kLarge:
      return kControlBuzzerLarge;
    case BuzzerChoice::kSmall:
      return kControlBuzzerSmall;
    case BuzzerChoice::kOff:
      return kControlBuzzerOff;
    default:
      return 0;
  }
}

INT_PTR ExtendedDialog::HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    const ExtendedSettingsView view = ExtendedSettingsOpen(editing.modelIdentity, working);
    for (int id : {kControlBuzzerLarge, kControlBuzzerSmall, kControlBuzzerOff})
      EnableWindow(GetDlgItem(dialog, id), view.buzzerEnabled);
    if (const int checked = BuzzerControl(view.buzzer))
      CheckDlgButton(dialog, checked, BST_CHECKED);
    for (int id : {kControlInterfaceGroup, kControlInterfacePs2, kControlInterfaceUsb})
      ShowWindow(GetDlgItem(dialog, id), view.interfaceShown ? SW_SHOW : SW_HIDE);
    for (int id : {kControlInterfacePs2, kControlInterfaceUsb})
      EnableWindow(GetDlgItem(dialog, id), view.interfaceEnabled);
    if (view.interfaceMode != InterfaceChoice::kNone)
      CheckDlgButton(
          dialog,
          view.interfaceMode == InterfaceChoice::kPs2 ? kControlInterfacePs2 : kControlInterfaceUsb,
          BST_CHECKED);
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  const int id = LOWORD(wParam);
  if (id == IDOK) {
    BuzzerChoice buzzer = BuzzerChoice::kNone;
    if (IsDlgButtonChecked(dialog, kControlBuzzerOff))
      buzzer = BuzzerChoice::kOff;
    else if (IsDlgButtonChecked(dialog, kControlBuzzerSmall))
      buzzer = BuzzerChoice::kSmall;
    else if (IsDlgButtonChecked(dialog, kControlBuzzerLarge))
      buzzer = BuzzerChoice::kLarge;
    InterfaceChoice interfaceMode = InterfaceChoice::kNone;
    if (IsDlgButtonChecked(dialog, kControlInterfaceUsb))
      interfaceMode = InterfaceChoice::kUsb;
    else if (IsDlgButtonChecked(dialog, kControlInterfacePs2))
      interfaceMode = InterfaceChoice::kPs2;
    working = ExtendedSettingsValue(editing.modelIdentity, working, buzzer, interfaceMode);
    editing.edited.pendingStatus = working;
    EndDialog(dialog, kSettingsWritten);
    return TRUE;
  }
  if (id == IDCANCEL) {
    EndDialog(dialog, kSettingsDropped);
    return TRUE;
  }
  return FALSE;
}

// ---------------------------------------------------------------- key check

struct KeyCheckDialog {
  const KeyCodeRecord& record;
  int keyIndex = 0;
  bool nonJapaneseLayout = false;

  INT_PTR HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
};

INT_PTR KeyCheckDialog::HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    wchar_t text[32] = {};
    std::swprintf(text, 32, L"Key #%u", static_cast<unsigned>(keyIndex + 1));
    SetDlgItemTextW(dialog, kControlKeyNumber, text);
    std::swprintf(text, 32, L"キー確認 #%u", static_cast<unsigned>(keyIndex + 1));
    SetWindowTextW(dialog, text);
    InitKeyCodeList(dialog);
    ShowKeyCode(dialog, record, false, nonJapaneseLayout);
    return TRUE;
  }
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

}  // namespace

INT_PTR RunKeyCodeSettingsDialog(HINSTANCE instance, HWND owner, KeyCodeSettingsSession& session) {
  if (session.editing == nullptr) return kSettingsDropped;
  SettingsDialog state(session, instance);
  const INT_PTR result =
      DialogBoxParamW(instance, MAKEINTRESOURCEW(kDialogKeyCodeSettings), owner,
                      DialogProcOf<SettingsDialog>, reinterpret_cast<LPARAM>(&state));
  return result == kSettingsWritten ? kSettingsWritten : kSettingsDropped;
}

INT_PTR RunExtendedSettingsDialog(HINSTANCE instance, HWND owner, KeyCodeEditing& editing) {
  ExtendedDialog state{editing};
  // A key pad whose status byte cannot be read has been reported; the dialog does not open.
  {
    const WaitCursor busy;  // the key pad's settings are read
    if (!ExtendedSettingsWorkingValue(editing, reinterpret_cast<UiWindow>(owner), state.working))
      return kSettingsDropped;
  }
  const INT_PTR result =
      DialogBoxParamW(instance, MAKEINTRESOURCEW(kDialogExtendedSettings), owner,
                      DialogProcOf<ExtendedDialog>, reinterpret_cast<LPARAM>(&state));
  return result == kSettingsWritten ? kSettingsWritten : kSettingsDropped;
}

void RunKeyCheckDialog(HINSTANCE instance, HWND owner, const KeyCodeRecord& record, int keyIndex,
                       bool nonJapaneseLayout) {
  KeyCheckDialog state{record, keyIndex, nonJapaneseLayout};
  DialogBoxParamW(instance, MAKEINTRESOURCEW(kDialogKeyCheck), owner, DialogProcOf<KeyCheckDialog>,
                  reinterpret_cast<LPARAM>(&state));
}

}  // namespace qv
