#include "keycode/win32/key_input_dialog.h"

#include <commctrl.h>

#include "common/bounded_text.h"
#include "common/ids.h"
#include "common/win32/wait_cursor.h"
#include "common/win32/wide.h"
#include "common/win32/window_proc.h"
#include "keycode/capture.h"
#include "keycode/key_table.h"
#include "keycode/win32/capture_hook_win32.h"
#include "keycode/win32/key_code_list.h"
#include "keycode/win32/shortcut_dialog.h"

namespace qv {
namespace {

// One open key input dialog: its session, the capture and what list 1007 shows.
struct KeyInputDialog {
  KeyInputSession* session = nullptr;
  HWND window = nullptr;
  // The capture, shared with the hook's thread: every use takes its lock.
  CaptureSession capture;
  KeyCodeRecord display;
  bool capturing = false;  // the hook is installed for this dialog
  ShortcutDialogContext shortcutList;

  // Runs `change` on the capture under its lock and returns what it returns.
  template <typename Change>
  auto Capture(Change change) {
    const std::lock_guard<std::mutex> lock(capture.lock);
    return change(capture.capture);
  }
  CaptureState Snapshot() {
    return Capture([](CaptureState& state) { return state; });
  }

  INT_PTR HandleDialogMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// The open key input dialog.
HWND openKeyInputWindow = nullptr;

constexpr int kButtonIds[kKeyInputButtonCount] = {
    kKeyInputRepeat1, kKeyInputRepeat2, kKeyInputDelay1,  kKeyInputDelay2,
    kKeyInputDelay3,  kKeyInputHankaku, kKeyInputKatakana};
constexpr int kRepeatDelayIds[] = {kKeyInputRepeat1, kKeyInputRepeat2, kKeyInputDelay1,
                                   kKeyInputDelay2, kKeyInputDelay3};
constexpr std::uint8_t kHankakuKey = 0x01;
constexpr std::uint8_t kKatakanaKey = 0x43;

// Starts or resumes capture: with `reset` the capture starts afresh; the capacity follows the
// model in either case.
bool StartCapture(KeyInputDialog& dialog, bool reset) {
  if (dialog.capturing) return true;
  dialog.Capture([&](CaptureState& state) {
    BeginCapture(state, dialog.session->productId, reset);
    return 0;
  });
  dialog.capturing = InstallCaptureHook(dialog.capture);
  return dialog.capturing;
}

// Ends capture: the hook goes and every key still held gets its release in the entries.
void EndCapture(KeyInputDialog& dialog) {
  if (!dialog.capturing) return;
  RemoveCaptureHook();
  dialog.capturing = false;
  dialog.Capture([](CaptureState& state) { return FinishCapture(state); });
}

// The system removed the hook: a new one takes over the same capture, which goes on unfinished.
void RestartCapture(KeyInputDialog& dialog) {
  if (!dialog.capturing) return;
  RemoveCaptureHook();
  dialog.capturing = InstallCaptureHook(dialog.capture);
}

void Show(KeyInputDialog& dialog, bool scrollToEnd) {
  ShowKeyCode(dialog.window, dialog.display, scrollToEnd, dialog.session->nonJapaneseLayout);
}

// The display mirrors the capture's entries.
void ShowCapture(KeyInputDialog& dialog, bool scrollToEnd) {
  dialog.display = CaptureRecord(dialog.Snapshot());
  Show(dialog, scrollToEnd);
}

void Apply(HWND window, const ButtonPlan& plan) {
  for (int i = 0; i < kKeyInputButtonCount; ++i) {
    const ButtonChange change = plan.change[static_cast<std::size_t>(i)];
    if (change == ButtonChange::kKeep) continue;
    EnableWindow(GetDlgItem(window, kButtonIds[i]), change == ButtonChange::kEnable);
  }
  if (plan.focusToDialog) SetFocus(window);
}

void Beep() {
  MessageBeep(MB_ICONEXCLAMATION);
}

// A button's entries: a beep when refused, else one notification per entry appended.
void Apply(KeyInputDialog& dialog, const ButtonOutcome& outcome) {
  if (!outcome.accepted) {
    Beep();
    return;
  }
  const int last = dialog.Snapshot().length;
  for (int length = last - outcome.appended + 1; length <= last; ++length)
    SendMessageW(dialog.window, kEntriesChangedMessage, static_cast<WPARAM>(length), 0);
  Apply(dialog.window, outcome.plan);
}

void LoadDefaultKeyCode(KeyInputDialog& dialog) {
  KeyInputSession& session = *dialog.session;
  KeyCodeRecord read;
  bool readOk = false;
  if (session.readDefaultKeyCode) {
    const WaitCursor busy;  // the key pad answers, up to seconds over Bluetooth LE
    readOk = session.readDefaultKeyCode(session.edited->selectedKey + 1, read);
  }
  // A failed read leaves the display as it was, and that is replayed.
  if (AcceptDefaultKeyCode(readOk, read)) dialog.display = read;
  const KeyCodeRecord replayed = dialog.display;
  dialog.Capture([&](CaptureState& state) { return ReplayRecord(state, replayed); });
  ShowCapture(dialog, false);
  Apply(dialog.window, PlanAfterDefaultLoad(dialog.Snapshot(), session.productId));
}

void Clear(KeyInputDialog& dialog) {
  dialog.Capture([](CaptureState& state) {
    ResetCapture(state);
    return 0;
  });
  ShowCapture(dialog, false);
  Apply(dialog.window, PlanAfterClear(dialog.session->productId));
}

void OpenShortcutList(KeyInputDialog& dialog) {
  if (dialog.shortcutList.window != nullptr) return;
  dialog.shortcutList.shortcuts = dialog.session->shortcuts;
  dialog.shortcutList.nonJapaneseLayout = dialog.session->nonJapaneseLayout;
  dialog.shortcutList.keyInput = dialog.window;
  HWND list = CreateShortcutDialog(dialog.shortcutList);
  if (list == nullptr) return;
  RECT rect = {};
  GetWindowRect(dialog.window, &rect);
  SetWindowPos(list, nullptr, rect.right + GetSystemMetrics(SM_CXFRAME), rect.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(list, SW_SHOW);
  SetActiveWindow(dialog.window);
  SetFocus(dialog.window);
  EnableWindow(GetDlgItem(dialog.window, kKeyInputShortcuts), FALSE);
}

// A record to load is taken only from this thread, and only when it is one of the shortcut
// list's own records: the pointer is never followed on another sender's word.
void LoadRecord(KeyInputDialog& dialog, LPARAM lParam) {
  if ((InSendMessageEx(nullptr) & ISMEX_SEND) != 0) return;
  const KeyInputSession& session = *dialog.session;
  if (session.shortcuts == nullptr ||
      FindShortcutRecord(*session.shortcuts, reinterpret_cast<const void*>(lParam)) == nullptr) {
    return;
  }
  const auto& record = *reinterpret_cast<const KeyCodeRecord*>(lParam);
  dialog.Capture([&](CaptureState& state) { return ReplayRecord(state, record); });
  ShowCapture(dialog, true);
  Apply(dialog.window, PlanAfterRecordLoaded(dialog.Snapshot(), session.productId));
}

void Register(KeyInputDialog& dialog) {
  EndCapture(dialog);
  dialog.display = CaptureRecord(dialog.Snapshot());
  EditedKeyCodes& edited = *dialog.session->edited;
  edited.records[static_cast<std::size_t>(edited.selectedKey)] = dialog.display;
  EndDialog(dialog.window, kDialogOk);
}

void OnInitDialog(HWND window, KeyInputDialog& dialog) {
  dialog.window = window;
  dialog.display = KeyCodeRecord{};
  InitKeyCodeList(window);
  if (KeyInputModelFor(dialog.session->productId).repeatDelayHidden) {
    for (int id : kRepeatDelayIds) ShowWindow(GetDlgItem(window, id), SW_HIDE);
  }
  const unsigned keyNumber = static_cast<unsigned>(dialog.session->edited->selectedKey + 1);
  char16_t text[32];
  BoundedFormat(text, u"Key #%u", {keyNumber});
  SetDlgItemTextW(window, kControlKeyNumber, Wide(text));
  BoundedFormat(text, u"キー入力 #%u", {keyNumber});
  SetWindowTextW(window, Wide(text));
  dialog.capture.dialog = window;
  StartCapture(dialog, true);
  openKeyInputWindow = window;
}

bool OnCommand(KeyInputDialog& dialog, int id) {
  // A button's change of the capture, under its lock.
  auto press = [&](auto rule) { Apply(dialog, dialog.Capture(rule)); };
  switch (id) {
    case kKeyInputDefault:
      LoadDefaultKeyCode(dialog);
      return true;
    case kKeyInputClear:
      Clear(dialog);
      return true;
    case kKeyInputShortcuts:
      OpenShortcutList(dialog);
      return true;
    case kKeyInputHankaku:
      press([](CaptureState& state) { return PressJapaneseKey(state, kHankakuKey); });
      return true;
    case kKeyInputKatakana:
      press([](CaptureState& state) { return PressJapaneseKey(state, kKatakanaKey); });
      return true;
    case kKeyInputRepeat1:
      press([](CaptureState& state) { return PressRepeat1(state); });
      return true;
    case kKeyInputRepeat2:
      press([](CaptureState& state) { return PressRepeat2(state); });
      return true;
    case kKeyInputDelay1:
    case kKeyInputDelay2:
    case kKeyInputDelay3: {
      const auto delay = static_cast<std::uint8_t>(kDelay1 + id - kKeyInputDelay1);
      press([delay](CaptureState& state) { return PressDelay(state, delay); });
      return true;
    }
    case kDialogOk:
      Register(dialog);
      return true;
    case kDialogCancel:
      EndDialog(dialog.window, kDialogCancel);
      return true;
    default:
      return false;
  }
}

}  // namespace

INT_PTR KeyInputDialog::HandleDialogMessage(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(window, *this);
      return TRUE;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_ACTIVE || LOWORD(wParam) == WA_CLICKACTIVE) {
        StartCapture(*this, false);
      } else {
        EndCapture(*this);
        ShowCapture(*this, true);
      }
      return FALSE;
    case kEntriesChangedMessage:
      // The entries are the capture's own, whatever wParam says.
      ShowCapture(*this, true);
      Apply(window, PlanAfterEntriesChanged(Snapshot(), session->productId));
      return TRUE;
    case kCaptureHookLostMessage:
      RestartCapture(*this);
      return TRUE;
    case kLoadRecordMessage:
      LoadRecord(*this, lParam);
      return TRUE;
    case kCaptureNoticeMessage:
      if (wParam & kCaptureNoticeBeep) Beep();
      if (wParam & kCaptureNoticeLockButtons) {
        ButtonPlan plan;
        plan.Set({KeyInputButton::kDelay1, KeyInputButton::kDelay2, KeyInputButton::kDelay3,
                  KeyInputButton::kHankaku, KeyInputButton::kKatakana},
                 ButtonChange::kDisable);
        Apply(window, plan);
      }
      return TRUE;
    case WM_COMMAND:
      return OnCommand(*this, LOWORD(wParam)) ? TRUE : FALSE;
    case WM_DESTROY:
      EndCapture(*this);
      if (shortcutList.window != nullptr) DestroyWindow(shortcutList.window);
      if (openKeyInputWindow == window) openKeyInputWindow = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

INT_PTR RunKeyInputDialog(HWND owner, KeyInputSession& session) {
  if (session.edited == nullptr || session.edited->selectedKey < 0 ||
      session.edited->selectedKey >= kMaxKeys || openKeyInputWindow != nullptr) {
    return kDialogCancel;
  }
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  KeyInputDialog dialog;
  dialog.session = &session;
  dialog.capture.table = &KeyTableFor(session.nonJapaneseLayout);
  const INT_PTR result =
      DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kDialogKeyInput), owner,
                      DialogProcOf<KeyInputDialog>, reinterpret_cast<LPARAM>(&dialog));
  return result == kDialogOk ? kDialogOk : kDialogCancel;
}

HWND OpenKeyInputWindow() {
  return openKeyInputWindow;
}

}  // namespace qv
