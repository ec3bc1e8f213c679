// The program's message boxes: a UiMessage shown by ShowUiMessage has its title, text, icon,
// buttons and default button, gets the extra style asked for, and answers with the button the
// user pressed.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "common/win32/ui_message_win32.h"
#include "win32/dialog_user.h"

namespace qv {
namespace {

using testing::ItemText;
using testing::Press;
using testing::User;
using testing::WaitForDialog;

constexpr int kMessageTextId = 0xFFFF;

// The icon a message box shows (the system's own boxes keep it in control 20; Wine's in 1088).
HICON IconOf(HWND box) {
  for (int id : {20, 1088}) {
    if (HWND icon = GetDlgItem(box, id))
      return reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0));
  }
  return nullptr;
}

// The button that has the keyboard focus when the box opens: Enter presses it.
int FocusedButtonOf(HWND box, DWORD thread) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(thread, &info) || !info.hwndFocus || GetParent(info.hwndFocus) != box)
    return 0;
  return GetDlgCtrlID(info.hwndFocus);
}

struct SeenBox {
  std::atomic<bool> found{false};
  std::wstring text;
  bool hasOk = false, hasYes = false, hasNo = false;
  int defaultButton = 0;
  HICON icon = nullptr;
  bool otherWindowEnabled = true;
};

// Plays the user: notes what the box titled `title` shows (and whether `other` can be used
// meanwhile), then presses `button`.
User AnswerBox(const std::wstring& title, int button, SeenBox& seen, HWND other = nullptr) {
  return User([&seen, title, button, other](DWORD owner) {
    HWND box = WaitForDialog(owner, title);
    if (!box) return;
    seen.text = ItemText(box, kMessageTextId);
    seen.hasOk = GetDlgItem(box, IDOK) != nullptr;
    seen.hasYes = GetDlgItem(box, IDYES) != nullptr;
    seen.hasNo = GetDlgItem(box, IDNO) != nullptr;
    seen.defaultButton = FocusedButtonOf(box, owner);
    seen.icon = IconOf(box);
    seen.otherWindowEnabled = other == nullptr || IsWindowEnabled(other);
    seen.found = true;
    Press(box, button);
  });
}

// Shows `message` (with `extraStyle`) while the user answers it with `button`; the answer.
int ShowAndAnswer(const UiMessage& message, const std::wstring& title, int button, SeenBox& seen,
                  UINT extraStyle = 0, HWND other = nullptr) {
  User user = AnswerBox(title, button, seen, other);
  const int answer = ShowUiMessage(nullptr, message, extraStyle);
  user.Finished();
  return answer;
}

TEST(ShowUiMessageTest, AYesNoQuestionWithTheSecondButtonDefaultAnswersNo) {
  const UiMessage question{u"確認の箱", u"書き込みますか?", MessageIcon::kWarning,
                           MessageButtons::kYesNo, true};
  SeenBox seen;
  const int answer = ShowAndAnswer(question, L"確認の箱", IDNO, seen);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(answer, kMessageNo);
  EXPECT_EQ(seen.text, L"書き込みますか?");
  EXPECT_TRUE(seen.hasYes && seen.hasNo);
  EXPECT_FALSE(seen.hasOk);
  EXPECT_EQ(seen.defaultButton, IDNO);
  EXPECT_EQ(seen.icon, LoadIconW(nullptr, IDI_WARNING));
  EXPECT_TRUE(seen.otherWindowEnabled);
}

TEST(ShowUiMessageTest, AYesNoQuestionDefaultsToYesAndAnswersYes) {
  const UiMessage question{u"問いの箱", u"続けますか?", MessageIcon::kInformation,
                           MessageButtons::kYesNo, false};
  SeenBox seen;
  const int answer = ShowAndAnswer(question, L"問いの箱", IDYES, seen);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(answer, kMessageYes);
  EXPECT_EQ(seen.defaultButton, IDYES);
  EXPECT_EQ(seen.icon, LoadIconW(nullptr, IDI_INFORMATION));
}

TEST(ShowUiMessageTest, AnErrorTakesTheExtraStyleAskedFor) {
  // The text is a view into a longer buffer: only its own characters are shown.
  const std::u16string buffer = u"キーパッドが外れましたXYZ";
  const UiMessage error{u"エラーの箱", std::u16string_view(buffer).substr(0, 11),
                        MessageIcon::kError};
  // Task-modal: the thread's other windows cannot be used while the box is open.
  HWND other = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 20, 20, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(other);
  SeenBox seen;
  const int answer = ShowAndAnswer(error, L"エラーの箱", IDOK, seen, MB_TASKMODAL, other);
  DestroyWindow(other);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(answer, kMessageOk);
  EXPECT_EQ(seen.text, L"キーパッドが外れました");
  EXPECT_TRUE(seen.hasOk);
  EXPECT_FALSE(seen.hasYes || seen.hasNo);
  EXPECT_EQ(seen.icon, LoadIconW(nullptr, IDI_ERROR));
  EXPECT_FALSE(seen.otherWindowEnabled);
}

}  // namespace
}  // namespace qv
