// The resource script: strings, menu, accelerators, version block and the dialogs with their
// exact texts (the dialogs are created modeless with a plain procedure and read back).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "resource.h"

namespace {

std::wstring Title(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

// Every static text of a dialog (controls without an id of their own carry -1 / 0xFFFF).
std::vector<std::wstring> StaticTexts(HWND dialog) {
  std::vector<std::wstring> texts;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t className[64] = {};
    GetClassNameW(child, className, 64);
    if (lstrcmpiW(className, L"Static") == 0 && (GetDlgCtrlID(child) & 0xFFFF) == 0xFFFF &&
        (GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
      texts.push_back(Title(child));
    }
  }
  return texts;
}

struct DialogCase {
  int id;
  const wchar_t* title;
  std::vector<std::pair<int, const wchar_t*>> controls;  // id, text
  std::vector<const wchar_t*> statics;
};

TEST(Resources, StringTableAndAccelerators) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  wchar_t text[100] = {};
  const std::pair<int, const wchar_t*> strings[] = {{103, L"qv-padconf"},
                                                    {104, L"ルミナキーボード"},
                                                    {105, L"QV_PADCONF_SOFT_LUMKEYS"},
                                                    {106, L"QV_PADCONF_LUMICON"},
                                                    {109, L"QV_PADCONF_LUMKEYS"}};
  for (const auto& [id, expected] : strings) {
    ASSERT_GT(LoadStringW(instance, id, text, 100), 0) << id;
    EXPECT_EQ(std::wstring(text), expected) << id;
  }
  HACCEL table = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
  ASSERT_NE(table, nullptr);
  ACCEL entries[4] = {};
  ASSERT_EQ(CopyAcceleratorTableW(table, entries, 4), 2);
  for (const ACCEL& entry : entries) {
    if (entry.cmd == 0) continue;
    EXPECT_EQ(entry.cmd, IDM_ABOUT);
    EXPECT_TRUE(entry.key == '?' || entry.key == '/');
  }
  EXPECT_NE(LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP)), nullptr);
}

TEST(Resources, TrayMenuPositionsAndTexts) {
  HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU));
  ASSERT_NE(menu, nullptr);
  HMENU popup = GetSubMenu(menu, 0);
  ASSERT_NE(popup, nullptr);
  const std::pair<UINT, const wchar_t*> items[] = {{32781, L"再認証(&R)..."},
                                                   {32783, L"ロック(&L)..."},
                                                   {0, nullptr},
                                                   {32777, L"キーコード設定(&K)..."},
                                                   {32778, L"パスワード設定(&P)..."},
                                                   {32779, L"出荷状態初期化(&I)..."},
                                                   {32804, L"タッチ機能有効化(&T)"},
                                                   {0, nullptr},
                                                   {104, L"バージョン情報(&A)..."},
                                                   {0, nullptr},
                                                   {105, L"終了(&X)"}};
  ASSERT_EQ(GetMenuItemCount(popup), 11);
  for (int position = 0; position < 11; ++position) {
    const auto& [id, text] = items[position];
    if (!text) {
      EXPECT_EQ(GetMenuState(popup, position, MF_BYPOSITION) & MF_SEPARATOR,
                static_cast<UINT>(MF_SEPARATOR))
          << position;
      continue;
    }
    EXPECT_EQ(GetMenuItemID(popup, position), id) << position;
    wchar_t label[64] = {};
    GetMenuStringW(popup, position, label, 64, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(label), text) << position;
  }
  // The lock entry is disabled in the resource.
  EXPECT_TRUE(GetMenuState(popup, 1, MF_BYPOSITION) & MF_GRAYED);
  DestroyMenu(menu);
}

TEST(Resources, DialogsCarryTheirTextsAndControls) {
  const DialogCase cases[] = {
      {103,
       L"バージョン情報",
       {{1000, L""}, {1, L"OK"}},
       {L"ルミナキーボード アプリケーション", L"Version"}},
      {129,
       L"ルミナキーボード選択",
       {{1, L"OK"}, {2, L"キャンセル"}},
       {L"複数のルミナキーボードが接続されています。", L"操作するキーボードを選択してください。",
        L"キーボードシリアル番号"}},
      {130,
       L"ユーザー認証",
       {{1006, L""}, {1002, L""}, {1, L"OK"}, {2, L"キャンセル"}},
       {L"ルミナキーボード シリアル番号", L"パスワード"}},
      {131,
       L"パスワード登録",
       {{1003, L""}, {1004, L""}, {1, L"登録"}, {2, L"キャンセル"}},
       {L"パスワード入力", L"パスワード確認",
        L"何も入力しないで登録した場合、パスワードなしに設定されます。"}},
      {132,
       L"パスワードエラー",
       {{1004, L"再入力"}, {1005, L"初期化"}},
       {L"パスワードが正しくありません。",
        L"パスワードを入力し直す場合は再入力をクリックしてください。",
        L"※ "
        L"初期化を行うと既に登録されているパスワード、キーコードは全て工場出荷初期状態に戻ります。"
        L"ご注意ください。"}},
      {137,
       L"ルミナキーボード メニュー",
       {{1019, L"再認証(&P)"},
        {1020, L"ロック(&L)"},
        {1021, L"キーコード設定(&K)"},
        {1022, L"パスワード設定(&P)"},
        {1023, L"出荷状態初期化(&I)"},
        {1044, L"タッチ機能有効化"}},
       {}},
      {173,
       L"ルミナキーボードメニュー",
       {{1020, L"ロック"}, {1022, L"パスワード設定"}, {1, L"OK"}, {1042, L"設定禁止"}},
       {}},
      {169,
       L"拡張設定",
       {{1037, L"大"},
        {1038, L"小"},
        {1039, L"無し"},
        {1043, L"動作種別インターフェース"},
        {1040, L"PS/2"},
        {1041, L"USB"},
        {1, L"登録"},
        {2, L"中止"}},
       {}},
      {163,
       L"イメージの指定",
       {{1035, L"クリックしてイメージを選択"},
        {1031, L"参照…"},
        {1, L"OK"},
        {2, L"キャンセル"},
        {3, L"イメージ削除"}},
       {L"ソフトキーイメージ"}},
      {164,
       L"テキスト指定",
       {{1033, L""}, {1, L"OK"}, {2, L"キャンセル"}},
       {L"指定できる文字数は最大８文字です。", L"８文字を超えた文字は削除されます。",
        L"イメージの指定がされていた場合、イメージが優先されます。",
        L"テキストを表示したい場合は、イメージを削除する必要があります。"}},
  };
  for (const DialogCase& dialogCase : cases) {
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(dialogCase.id),
                                     nullptr, PlainDialogProc, 0);
    ASSERT_NE(dialog, nullptr) << dialogCase.id;
    EXPECT_EQ(Title(dialog), dialogCase.title) << dialogCase.id;
    for (const auto& [id, text] : dialogCase.controls) {
      HWND control = GetDlgItem(dialog, id);
      ASSERT_NE(control, nullptr) << dialogCase.id << "/" << id;
      EXPECT_EQ(Title(control), text) << dialogCase.id << "/" << id;
    }
    std::vector<std::wstring> statics = StaticTexts(dialog);
    std::vector<std::wstring> expected(dialogCase.statics.begin(), dialogCase.statics.end());
    EXPECT_EQ(statics, expected) << dialogCase.id;
    DestroyWindow(dialog);
  }
}

TEST(Resources, ControlStylesThatMatter) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  HWND selection = CreateDialogParamW(instance, MAKEINTRESOURCEW(129), nullptr, PlainDialogProc, 0);
  ASSERT_NE(selection, nullptr);
  LONG_PTR comboStyle = GetWindowLongPtrW(GetDlgItem(selection, 1001), GWL_STYLE);
  EXPECT_EQ(comboStyle & 0x3, CBS_DROPDOWNLIST);
  EXPECT_TRUE(comboStyle & CBS_SORT);
  DestroyWindow(selection);

  HWND prompt = CreateDialogParamW(instance, MAKEINTRESOURCEW(130), nullptr, PlainDialogProc, 0);
  ASSERT_NE(prompt, nullptr);
  EXPECT_TRUE(GetWindowLongPtrW(GetDlgItem(prompt, 1002), GWL_STYLE) & ES_PASSWORD);
  EXPECT_TRUE(GetWindowLongPtrW(GetDlgItem(prompt, 1006), GWL_STYLE) & SS_CENTER);
  DestroyWindow(prompt);

  HWND menu = CreateDialogParamW(instance, MAKEINTRESOURCEW(137), nullptr, PlainDialogProc, 0);
  ASSERT_NE(menu, nullptr);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(menu, 1020)));
  DestroyWindow(menu);

  // The image dialog's "参照…" is there but hidden.
  HWND image = CreateDialogParamW(instance, MAKEINTRESOURCEW(163), nullptr, PlainDialogProc, 0);
  ASSERT_NE(image, nullptr);
  EXPECT_FALSE(GetWindowLongPtrW(GetDlgItem(image, 1031), GWL_STYLE) & WS_VISIBLE);
  DestroyWindow(image);
}

}  // namespace
