#include "keycode/win32/key_code_list.h"

#include <commctrl.h>

#include <vector>

#include "common/bounded_text.h"
#include "common/win32/wide.h"
#include "keycode/key_table.h"

namespace qv {
namespace {

constexpr char16_t kKeyColumnTitle[] = u"キー";
constexpr char16_t kStateColumnTitle[] = u"状態";
constexpr int kKeySubItem = 0;
constexpr int kStateSubItem = 1;
constexpr std::size_t kStateChars = 8;

wchar_t* WideText(char16_t* text) {
  return reinterpret_cast<wchar_t*>(text);
}

}  // namespace

void InsertListColumn(HWND list, const char16_t* title, int width, int subItem) {
  char16_t text[32];
  BoundedCopy(text, BoundedView(title, 32));
  LVCOLUMNW column = {};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  column.fmt = LVCFMT_LEFT;
  column.cx = width;
  column.pszText = Wide(text);
  column.iSubItem = subItem;
  // Each column goes in front of the ones already there.
  SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
}

void InitKeyCodeList(HWND dialog) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  HWND list = GetDlgItem(dialog, kKeyCodeListId);
  if (list == nullptr) return;

  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  SendMessageW(list, LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(kKeyCodeTextColour));

  RECT client = {};
  GetClientRect(list, &client);
  int width = client.right - client.left - GetSystemMetrics(SM_CXVSCROLL);
  if (width < 0) width = 0;
  InsertListColumn(list, kStateColumnTitle, width * 40 / 100, kStateSubItem);
  InsertListColumn(list, kKeyColumnTitle, width * 60 / 100, kKeySubItem);
}

void ShowKeyCode(HWND dialog, const KeyCodeRecord& record, bool scrollToEnd,
                 bool nonJapaneseLayout) {
  HWND list = GetDlgItem(dialog, kKeyCodeListId);
  if (list == nullptr) return;
  SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);

  std::vector<KeyCodeRow> rows = KeyCodeRows(record, KeyTableFor(nonJapaneseLayout));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(i);
    item.iSubItem = kKeySubItem;
    item.pszText = WideText(rows[i].key);
    const int index =
        static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (index < 0) continue;

    char16_t state[kStateChars];
    BoundedCopy(state, rows[i].state);
    item.iItem = index;
    item.iSubItem = kStateSubItem;
    item.pszText = WideText(state);
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&item));
  }
  if (scrollToEnd) SendMessageW(list, LVM_SCROLL, 0, KeyCodeListScrollDistance(record));
}

}  // namespace qv
