#include "keycode/win32/shortcut_dialog.h"

#include <commctrl.h>

#include "common/bounded_text.h"
#include "common/ids.h"
#include "common/win32/wide.h"
#include "common/win32/window_proc.h"
#include "keycode/win32/key_code_list.h"

namespace qv {
namespace {

constexpr COLORREF kShortcutTextColour = RGB(0, 0, 255);
constexpr char16_t kShortcutColumnTitle[] = u"ショートカット";
constexpr char16_t kDescriptionColumnTitle[] = u"説明";

void FillList(HWND dialog, const ShortcutList& shortcuts) {
  HWND list = GetDlgItem(dialog, kShortcutListId);
  const DWORD styles = LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP;
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles);
  SendMessageW(list, LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(kShortcutTextColour));
  RECT client = {};
  GetClientRect(list, &client);
  int width = client.right - client.left - GetSystemMetrics(SM_CXVSCROLL);
  if (width < 0) width = 0;
  InsertListColumn(list, kDescriptionColumnTitle, width * 60 / 100, 1);
  InsertListColumn(list, kShortcutColumnTitle, width * 40 / 100, 0);
  int row = 0;
  for (const Shortcut& entry : shortcuts.entries) {
    char16_t keyText[kShortcutTextChars];
    char16_t description[kShortcutTextChars];
    BoundedCopy(keyText, BoundedView(entry.keyText));
    BoundedCopy(description, BoundedView(entry.description));
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = Wide(keyText);
    const int index =
        static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (index < 0) continue;
    item.iItem = index;
    item.iSubItem = 1;
    item.pszText = Wide(description);
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&item));
    ++row;
  }
  SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE);
  SendMessageW(list, LVM_SETCOLUMNWIDTH, 1, LVSCW_AUTOSIZE);
}

int SelectedRow(HWND dialog) {
  return static_cast<int>(SendDlgItemMessageW(dialog, kShortcutListId, LVM_GETNEXTITEM,
                                              static_cast<WPARAM>(-1), LVNI_SELECTED));
}

// "入力": the selected row's key code goes to the key input dialog; then, as for a cancel, the
// key input dialog's button comes back and the list goes.
void Close(HWND dialog, ShortcutDialogContext& context, bool enter) {
  const int row = SelectedRow(dialog);
  const ShortcutList& shortcuts = *context.shortcuts;
  if (enter && row >= 0 && row < static_cast<int>(shortcuts.entries.size())) {
    const KeyCodeRecord& record =
        shortcuts.entries[static_cast<std::size_t>(row)].RecordFor(context.nonJapaneseLayout);
    SendMessageW(context.keyInput, kLoadRecordMessage, 0, reinterpret_cast<LPARAM>(&record));
  }
  EnableWindow(GetDlgItem(context.keyInput, kKeyInputShortcuts), TRUE);
  DestroyWindow(dialog);
}

}  // namespace

INT_PTR ShortcutDialogContext::HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam,
                                                   LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      window = dialog;
      FillList(dialog, *shortcuts);
      EnableWindow(GetDlgItem(dialog, kDialogOk), FALSE);
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header == nullptr || header->idFrom != static_cast<UINT_PTR>(kShortcutListId))
        return FALSE;
      EnableWindow(GetDlgItem(dialog, kDialogOk), SelectedRow(dialog) >= 0);
      // A double click inserts the chosen row as "入力" does. So does Enter in the list, which
      // the list view tells as NM_RETURN (the list is modeless inside the key input dialog's
      // modal loop, which gives it no dialog keys); it is posted, so the list view has returned
      // before its window goes. The arrow keys move the selection in the list itself.
      if (header->code == static_cast<UINT>(NM_DBLCLK)) Close(dialog, *this, true);
      if (header->code == static_cast<UINT>(NM_RETURN) && SelectedRow(dialog) >= 0)
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(kDialogOk, BN_CLICKED), 0);
      return TRUE;
    }
    case WM_ACTIVATE:
      // Activated, the list takes the keyboard: the arrow keys choose a row at once.
      if (LOWORD(wParam) != WA_INACTIVE) {
        SetFocus(GetDlgItem(dialog, kShortcutListId));
        return TRUE;
      }
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) == kDialogOk || LOWORD(wParam) == kDialogCancel) {
        Close(dialog, *this, LOWORD(wParam) == kDialogOk);
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      Close(dialog, *this, false);
      return TRUE;
    case WM_NCDESTROY:
      window = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

HWND CreateShortcutDialog(ShortcutDialogContext& context) {
  if (context.shortcuts == nullptr) return nullptr;
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kDialogShortcuts),
                            context.keyInput, DialogProcOf<ShortcutDialogContext>,
                            reinterpret_cast<LPARAM>(&context));
}

}  // namespace qv
