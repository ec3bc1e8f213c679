#include "keycode/win32/key_input_dialog.h"

#include <commctrl.h>

#include "common/bounded_text.h"
#include "common/ids.h"
#include "common/win32/wide.h"
#include "keycode/capture.h"
#include "keycode/key_table.h"
#include "keycode/win32/key_code_list.h"
#include "keycode/win32/shortcut_dialog.h"

namespace qv {
namespace {

// One open key input dialog: its session, the capture and what list 1007 shows.
struct KeyInputDialog {
  KeyInputSession* session = nullptr;
  const KeyTable* table = nullptr;
  HWND window = nullptr;
  CaptureState capture;
  KeyCodeRecord display;
  // The hook handle is kept until unhooking succeeds; hookInstalled says whether capture runs.
  HHOOK hook = nullptr;
  bool hookInstalled = false;
  ShortcutDialogContext shortcutList;
};

// A hook procedure gets no user data: the dialog whose hook is installed (only one key input
// dialog exists at a time), set while the hook is installed.
KeyInputDialog* captureDialog = nullptr;
// The open key input dialog.
HWND openKeyInputWindow = nullptr;

constexpr int kButtonIds[kKeyInputButtonCount] = {
    kKeyInputRepeat1, kKeyInputRepeat2, kKeyInputDelay1,  kKeyInputDelay2,
    kKeyInputDelay3,  kKeyInputHankaku, kKeyInputKatakana};
constexpr int kRepeatDelayIds[] = {kKeyInputRepeat1, kKeyInputRepeat2, kKeyInputDelay1,
                                   kKeyInputDelay2, kKeyInputDelay3};
constexpr std::uint8_t kHankakuKey = 0x01;
constexpr std::uint8_t kKatakanaKey = 0x43;

KeyInputDialog* DialogOf(HWND window) {
  return reinterpret_cast<KeyInputDialog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT CALLBACK CaptureHookProc(int code, WPARAM wParam, LPARAM lParam) {
  KeyInputDialog* dialog = captureDialog;
  const auto* info = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
  if (dialog == nullptr || code != HC_ACTION || info == nullptr)
    return CallNextHookEx(nullptr, code, wParam, lParam);
  KeyEvent event;
  event.action = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN || wParam == WM_KEYUP ||
                 wParam == WM_SYSKEYUP;
  event.vk = static_cast<std::uint16_t>(info->vkCode);
  event.extended = (info->flags & LLKHF_EXTENDED) != 0;
  event.release = wParam == WM_KEYUP || wParam == WM_SYSKEYUP;
  const CaptureVerdict verdict = OnCaptureKey(dialog->capture, event, *dialog->table);
  if (verdict.appended) {
    PostMessageW(dialog->window, kEntriesChangedMessage, static_cast<WPARAM>(verdict.newLength),
                 static_cast<LPARAM>(verdict.vk));
  }
  const unsigned notice = (verdict.beep ? kCaptureNoticeBeep : 0u) |
                          (verdict.lockEditButtons ? kCaptureNoticeLockButtons : 0u);
  if (notice != 0) PostMessageW(dialog->window, kCaptureNoticeMessage, notice, 0);
  if (verdict.passOn) return CallNextHookEx(nullptr, code, wParam, lParam);
  return 1;
}

bool InstallCaptureHook(KeyInputDialog& dialog, bool reset) {
  if (dialog.hookInstalled) return true;
  if (dialog.hook == nullptr) {
    dialog.hook = SetWindowsHookExW(WH_KEYBOARD_LL, CaptureHookProc, GetModuleHandleW(nullptr), 0);
  }
  BeginCapture(dialog.capture, dialog.session->productId, reset);
  if (dialog.hook == nullptr) return false;
  dialog.hookInstalled = true;
  captureDialog = &dialog;
  return true;
}

// Ends capture: the hook goes and every key still held gets its release in the entries.
void RemoveCaptureHook(KeyInputDialog& dialog) {
  if (!dialog.hookInstalled) return;
  if (UnhookWindowsHookEx(dialog.hook)) dialog.hook = nullptr;
  dialog.hookInstalled = false;
  // A hook that could not be removed finds no dialog and passes every event on.
  captureDialog = nullptr;
  FinishCapture(dialog.capture);
}

void Show(KeyInputDialog& dialog, bool scrollToEnd) {
  ShowKeyCode(dialog.window, dialog.display, scrollToEnd, dialog.session->nonJapaneseLayout);
}

// The display mirrors the capture's entries.
void ShowCapture(KeyInputDialog& dialog, bool scrollToEnd) {
  dialog.display = CaptureRecord(dialog.capture);
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
  const int first = dialog.capture.length - outcome.appended + 1;
  for (int length = first; length <= dialog.capture.length; ++length)
    SendMessageW(dialog.window, kEntriesChangedMessage, static_cast<WPARAM>(length), 0);
  Apply(dialog.window, outcome.plan);
}

void LoadDefaultKeyCode(KeyInputDialog& dialog) {
  KeyInputSession& session = *dialog.session;
  KeyCodeRecord read;
  const bool readOk = session.readDefaultKeyCode &&
                      session.readDefaultKeyCode(session.edited->selectedKey + 1, read);
  // A failed read leaves the display as it was, and that is replayed.
  if (AcceptDefaultKeyCode(readOk, read)) dialog.display = read;
  ReplayRecord(dialog.capture, dialog.display);
  ShowCapture(dialog, false);
  Apply(dialog.window, PlanAfterDefaultLoad(dialog.capture, session.productId));
}

void Clear(KeyInputDialog& dialog) {
  ResetCapture(dialog.capture);
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
  ReplayRecord(dialog.capture, *reinterpret_cast<const KeyCodeRecord*>(lParam));
  ShowCapture(dialog, true);
  Apply(dialog.window, PlanAfterRecordLoaded(dialog.capture, session.productId));
}

void Register(KeyInputDialog& dialog) {
  RemoveCaptureHook(dialog);
  dialog.display = CaptureRecord(dialog.capture);
  EditedKeyCodes& edited = *dialog.session->edited;
  edited.records[static_cast<std::size_t>(edited.selectedKey)] = dialog.display;
  EndDialog(dialog.window, kDialogOk);
}

void OnInitDialog(HWND window, KeyInputDialog& dialog) {
  dialog.window = window;
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&dialog));
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
  InstallCaptureHook(dialog, true);
  openKeyInputWindow = window;
}

bool OnCommand(KeyInputDialog& dialog, int id) {
  CaptureState& capture = dialog.capture;
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
      Apply(dialog, PressJapaneseKey(capture, kHankakuKey));
      return true;
    case kKeyInputKatakana:
      Apply(dialog, PressJapaneseKey(capture, kKatakanaKey));
      return true;
    case kKeyInputRepeat1:
      Apply(dialog, PressRepeat1(capture));
      return true;
    case kKeyInputRepeat2:
      Apply(dialog, PressRepeat2(capture));
      return true;
    case kKeyInputDelay1:
    case kKeyInputDelay2:
    case kKeyInputDelay3:
      Apply(dialog, PressDelay(capture, static_cast<std::uint8_t>(kDelay1 + id - kKeyInputDelay1)));
      return true;
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

INT_PTR CALLBACK KeyInputDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    OnInitDialog(window, *reinterpret_cast<KeyInputDialog*>(lParam));
    return TRUE;
  }
  KeyInputDialog* dialog = DialogOf(window);
  if (dialog == nullptr) return FALSE;
  switch (message) {
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_ACTIVE || LOWORD(wParam) == WA_CLICKACTIVE) {
        InstallCaptureHook(*dialog, false);
      } else {
        RemoveCaptureHook(*dialog);
        ShowCapture(*dialog, true);
      }
      return FALSE;
    case kEntriesChangedMessage:
      // The entries are the capture's own, whatever wParam says.
      ShowCapture(*dialog, true);
      Apply(window, PlanAfterEntriesChanged(dialog->capture, dialog->session->productId));
      return TRUE;
    case kLoadRecordMessage:
      LoadRecord(*dialog, lParam);
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
      return OnCommand(*dialog, LOWORD(wParam)) ? TRUE : FALSE;
    case WM_DESTROY:
      RemoveCaptureHook(*dialog);
      if (dialog->shortcutList.window != nullptr) DestroyWindow(dialog->shortcutList.window);
      if (openKeyInputWindow == window) openKeyInputWindow = nullptr;
      return FALSE;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR RunKeyInputDialog(HWND owner, KeyInputSession& session) {
  if (session.edited == nullptr || session.edited->selectedKey < 0 ||
      session.edited->selectedKey >= kMaxKeys || openKeyInputWindow != nullptr) {
    return kDialogCancel;
  }
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  KeyInputDialog dialog;
  dialog.session = &session;
  dialog.table = &KeyTableFor(session.nonJapaneseLayout);
  const INT_PTR result =
      DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kDialogKeyInput), owner,
                      KeyInputDialogProc, reinterpret_cast<LPARAM>(&dialog));
  return result == kDialogOk ? kDialogOk : kDialogCancel;
}

HWND OpenKeyInputWindow() {
  return openKeyInputWindow;
}

}  // namespace qv
