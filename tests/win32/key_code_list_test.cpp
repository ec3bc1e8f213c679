// The key-code list of the key-code dialogs: columns, row texts of both keyboard layouts,
// refilling, and scrolling to the last strokes.
#include "keycode/win32/key_code_list.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace qv {
namespace {

// A window holding a report-style list view with the id of the dialogs' list.
class KeyCodeListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    dialog_ = CreateWindowExW(0, L"STATIC", L"key codes", WS_POPUP, 0, 0, 400, 300, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(dialog_, nullptr);
    list_ = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 300,
                            110, dialog_, reinterpret_cast<HMENU>(INT_PTR{kKeyCodeListId}),
                            GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(list_, nullptr);
  }
  void TearDown() override {
    if (dialog_ != nullptr) DestroyWindow(dialog_);
  }

  int RowCount() const { return static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0)); }

  std::wstring Text(int row, int subItem) const {
    wchar_t text[64] = {};
    LVITEMW item = {};
    item.iSubItem = subItem;
    item.pszText = text;
    item.cchTextMax = 64;
    SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
    return text;
  }

  // Rows as (key column, state column), read through the sub-items the columns show.
  std::vector<std::pair<std::wstring, std::wstring>> Rows() const {
    std::vector<std::pair<std::wstring, std::wstring>> rows;
    for (int row = 0; row < RowCount(); ++row)
      rows.emplace_back(Text(row, ColumnSubItem(0)), Text(row, ColumnSubItem(1)));
    return rows;
  }

  int ColumnSubItem(int column) const {
    LVCOLUMNW info = {};
    info.mask = LVCF_SUBITEM;
    SendMessageW(list_, LVM_GETCOLUMNW, static_cast<WPARAM>(column),
                 reinterpret_cast<LPARAM>(&info));
    return info.iSubItem;
  }

  HWND dialog_ = nullptr;
  HWND list_ = nullptr;
};

KeyCodeRecord Record(std::vector<std::uint8_t> strokes) {
  KeyCodeRecord record;
  record.bytes[0] = static_cast<std::uint8_t>(strokes.size() + 1);
  for (std::size_t i = 0; i < strokes.size(); ++i) record.bytes[i + 1] = strokes[i];
  return record;
}

TEST_F(KeyCodeListTest, KeyColumnInFrontOfStateColumnWithTheirShareOfTheWidth) {
  RECT client = {};
  GetClientRect(list_, &client);
  const int width = client.right - GetSystemMetrics(SM_CXVSCROLL);
  InitKeyCodeList(dialog_);

  HWND header = reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETHEADER, 0, 0));
  ASSERT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 2);
  const std::pair<const wchar_t*, int> columns[] = {{L"キー", width * 60 / 100},
                                                    {L"状態", width * 40 / 100}};
  for (int i = 0; i < 2; ++i) {
    wchar_t title[32] = {};
    LVCOLUMNW info = {};
    info.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    info.pszText = title;
    info.cchTextMax = 32;
    ASSERT_TRUE(SendMessageW(list_, LVM_GETCOLUMNW, static_cast<WPARAM>(i),
                             reinterpret_cast<LPARAM>(&info)));
    EXPECT_EQ(std::wstring(title), columns[i].first) << i;
    EXPECT_EQ(info.cx, columns[i].second) << i;
    EXPECT_EQ(info.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT) << i;
  }
  EXPECT_TRUE(SendMessageW(list_, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT);
  EXPECT_EQ(static_cast<COLORREF>(SendMessageW(list_, LVM_GETTEXTCOLOR, 0, 0)), RGB(0, 0, 255));
}

TEST_F(KeyCodeListTest, OneRowPerStrokeInRecordOrderAndRefilledEachTime) {
  InitKeyCodeList(dialog_);
  // Shift(left) press, Q press, [Repeat1], Q release, release bit on [Repeat1], [Delay2].
  ShowKeyCode(dialog_, Record({44, 17, 0x4D, 0x91, 0xCD, 0x49}), false, false);
  const std::vector<std::pair<std::wstring, std::wstring>> expected = {
      {L" Shift(左) ", L"ON"}, {L" Ｑ ", L"ON"},         {L" [Repeat1] ", L"SET"},
      {L" Ｑ ", L"OFF"},       {L" [Repeat1] ", L"OFF"}, {L" [Delay2] ", L"SET"}};
  EXPECT_EQ(Rows(), expected);

  // The other layout names key 29 and leaves key 14 without a name.
  ShowKeyCode(dialog_, Record({29, 14 | 0x80}), false, true);
  const std::vector<std::pair<std::wstring, std::wstring>> other = {{L" ＼ ", L"ON"},
                                                                    {L"  ", L"OFF"}};
  EXPECT_EQ(Rows(), other);
  ShowKeyCode(dialog_, Record({29}), false, false);
  EXPECT_EQ(Text(0, ColumnSubItem(0)), L"  ");

  // An empty key, and a length byte of 0, leave the list empty.
  ShowKeyCode(dialog_, Record({}), false, false);
  EXPECT_EQ(RowCount(), 0);
  ShowKeyCode(dialog_, Record({17, 0x91}), false, false);
  ShowKeyCode(dialog_, KeyCodeRecord{}, false, false);
  EXPECT_EQ(RowCount(), 0);
}

TEST_F(KeyCodeListTest, ScrollingToTheEndBringsTheLastStrokeIntoView) {
  InitKeyCodeList(dialog_);
  std::vector<std::uint8_t> strokes;
  for (int i = 0; i < 10; ++i) {
    strokes.push_back(static_cast<std::uint8_t>(17 + i));
    strokes.push_back(static_cast<std::uint8_t>((17 + i) | 0x80));
  }
  const KeyCodeRecord record = Record(strokes);

  ShowKeyCode(dialog_, record, false, false);
  ASSERT_EQ(RowCount(), 20);
  const int perPage = static_cast<int>(SendMessageW(list_, LVM_GETCOUNTPERPAGE, 0, 0));
  ASSERT_LT(perPage, 20) << "the list must be too small for all rows";
  EXPECT_EQ(SendMessageW(list_, LVM_GETTOPINDEX, 0, 0), 0);

  ShowKeyCode(dialog_, record, true, false);
  const int top = static_cast<int>(SendMessageW(list_, LVM_GETTOPINDEX, 0, 0));
  EXPECT_GT(top, 0);
  EXPECT_GE(top + perPage, 20) << "the last stroke is out of view";
}

}  // namespace
}  // namespace qv
