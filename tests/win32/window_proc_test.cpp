// The window-procedure trampoline on real windows and resource dialogs: each window's messages
// reach the state it was created with, and nothing reaches a state before it is known or after
// its window has gone.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "common/win32/window_proc.h"
#include "resource.h"

namespace qv {
namespace {

constexpr UINT kProbeMessage = WM_APP + 0x3F0;

// Records what reached it and answers the probe with its own mark.
struct RecordingWindow {
  explicit RecordingWindow(LRESULT mark) : mark(mark) {}
  LRESULT mark;
  std::vector<UINT> messages;
  HWND seenWindow = nullptr;

  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    messages.push_back(message);
    seenWindow = window;
    if (message == kProbeMessage) return mark;
    return DefWindowProcW(window, message, wParam, lParam);
  }
  bool Saw(UINT message) const {
    for (UINT seen : messages)
      if (seen == message) return true;
    return false;
  }
};

struct RecordingDialog {
  explicit RecordingDialog(INT_PTR mark) : mark(mark) {}
  INT_PTR mark;
  std::vector<UINT> messages;
  HWND seenDialog = nullptr;

  INT_PTR HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    messages.push_back(message);
    seenDialog = dialog;
    if (message == kProbeMessage) {
      SetWindowLongPtrW(dialog, DWLP_MSGRESULT, mark);
      return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) return TRUE;
    return FALSE;
  }
};

const wchar_t kClassName[] = L"QvTrampolineProbe";

class WindowProcTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProcOf<RecordingWindow>;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);
  }
  static HWND Create(RecordingWindow* state) {
    return CreateWindowExW(0, kClassName, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                           GetModuleHandleW(nullptr), state);
  }
};

TEST_F(WindowProcTest, EachWindowsMessagesReachTheStateItWasCreatedWith) {
  RecordingWindow first(11), second(22);
  HWND one = Create(&first);
  HWND two = Create(&second);
  ASSERT_TRUE(one && two);
  EXPECT_EQ(WindowStateOf<RecordingWindow>(one), &first);
  EXPECT_EQ(WindowStateOf<RecordingWindow>(two), &second);
  // The state saw its own creation and answers for its own window only.
  EXPECT_TRUE(first.Saw(WM_NCCREATE));
  EXPECT_TRUE(first.Saw(WM_CREATE));
  EXPECT_EQ(SendMessageW(one, kProbeMessage, 0, 0), 11);
  EXPECT_EQ(SendMessageW(two, kProbeMessage, 0, 0), 22);
  EXPECT_EQ(first.seenWindow, one);
  EXPECT_EQ(second.seenWindow, two);

  // The last message still reaches the state; the window lets go of it then.
  DestroyWindow(one);
  EXPECT_TRUE(first.Saw(WM_DESTROY));
  EXPECT_EQ(first.messages.back(), static_cast<UINT>(WM_NCDESTROY));
  DestroyWindow(two);
  EXPECT_EQ(second.messages.back(), static_cast<UINT>(WM_NCDESTROY));
}

TEST_F(WindowProcTest, AWindowWithoutStateGetsDefaultProcessing) {
  HWND window = Create(nullptr);
  ASSERT_TRUE(window);
  SetWindowTextW(window, L"plain");
  wchar_t text[16] = {};
  GetWindowTextW(window, text, 16);
  EXPECT_STREQ(text, L"plain");
  EXPECT_EQ(SendMessageW(window, kProbeMessage, 0, 0), 0);
  DestroyWindow(window);
}

TEST_F(WindowProcTest, ADialogsMessagesReachItsStateFromInitialisationOn) {
  RecordingDialog first(33), second(44);
  HWND one = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), nullptr,
                                DialogProcOf<RecordingDialog>, reinterpret_cast<LPARAM>(&first));
  HWND two = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), nullptr,
                                DialogProcOf<RecordingDialog>, reinterpret_cast<LPARAM>(&second));
  ASSERT_TRUE(one && two);
  // The dialog's font arrives before its state is known; the state's first message is its
  // initialisation, on its own dialog.
  ASSERT_FALSE(first.messages.empty());
  EXPECT_EQ(first.messages.front(), static_cast<UINT>(WM_INITDIALOG));
  EXPECT_EQ(first.seenDialog, one);
  EXPECT_EQ(SendMessageW(one, kProbeMessage, 0, 0), 33);
  EXPECT_EQ(SendMessageW(two, kProbeMessage, 0, 0), 44);
  EXPECT_EQ(second.seenDialog, two);

  DestroyWindow(one);
  EXPECT_EQ(first.messages.back(), static_cast<UINT>(WM_NCDESTROY));
  const std::size_t seen = first.messages.size();
  DestroyWindow(two);
  EXPECT_EQ(first.messages.size(), seen);
  EXPECT_EQ(second.messages.back(), static_cast<UINT>(WM_NCDESTROY));
}

}  // namespace
}  // namespace qv
