// The soft keyboard's window procedure: a message map over the keyboard's portable events.
#include <windowsx.h>

#include <string>

#include "common/win32/owned.h"
#include "common/win32/scoped_dc.h"
#include "common/win32/ui_message_win32.h"
#include "common/win32/wide.h"
#include "softkbd/soft_key_commands.h"
#include "softkbd/win32/hot_key_hook_win32.h"
#include "softkbd/win32/soft_keyboard_view_win32.h"

namespace qv {
namespace {

// What a menu command shows and changes on this window.
class WindowCommandUi final : public SoftKeyCommandUi {
 public:
  explicit WindowCommandUi(SoftKeyboardWindow& kb) : kb_(kb) {}
  int RunImageDialog(AssetTarget target) override {
    return Dialogs().RunImageDialog(kb_.window, kb_.state.slot, target);
  }
  int RunTextDialog(AssetTarget target) override {
    return Dialogs().RunTextDialog(kb_.window, kb_.state.slot, target);
  }
  int RunKeyInput(int key) override {
    return Dialogs().RunKeyInput(kb_.window, kb_.state.slot, key);
  }
  void RunKeyCheck(int key) override { Dialogs().RunKeyCheck(kb_.window, kb_.state.slot, key); }
  int RunSettingsPrompt() override {
    return Dialogs().RunSettingsPrompt(kb_.window, kb_.state.slot);
  }
  bool WindowOpen() override { return !kb_.state.closed; }
  void StartBlink(AssetTarget target) override { qv::StartBlink(kb_.state, kb_.core, target); }
  void StopBlink() override { qv::StopBlink(kb_.state, kb_.core); }
  void Relayout() override { LayoutPage(kb_.state, kb_.core, kb_.state.currentPage); }
  void Tell(const UiMessage& message) override {
    ShowUiMessage(kb_.state.closed ? nullptr : kb_.window, message, MB_TOPMOST);
  }
  bool StartExchange(KeyPadExchange exchange) override {
    return kb_.requests && kb_.requests->StartCommandExchange(std::move(exchange));
  }

 private:
  SoftKeyDialogs& Dialogs() { return *kb_.services.dialogs; }
  SoftKeyboardWindow& kb_;
};

// Runs `step` of the window's menu command with what the command works with; nothing without
// the shell's dialogs, the key pads' device or the editing copy.
template <typename Step>
void CommandStep(SoftKeyboardWindow& kb, Step step) {
  const SoftKeyboardServices& services = kb.services;
  if (!services.dialogs || !services.device || !services.edited) return;
  SoftKeyCommandContext context{*services.table, *services.device, *services.keyCodes,
                                *services.edited};
  WindowCommandUi ui(kb);
  step(context, ui);
  // The window went while the dialog was open: the command has handed over its last exchange,
  // whose answer nobody waits for, and the exchanges end now.
  if (kb.state.closed && kb.command.step != SoftKeyCommandStep::kInDialog) {
    AbandonSoftKeyCommand(context, ui, kb.command);
    kb.requests.reset();
  }
}

void RunMenuCommand(SoftKeyboardWindow& kb, std::uint16_t command) {
  // The slot and target are this window's own for the whole command.
  const AssetTarget target = kb.state.menuTarget;
  CommandStep(kb, [&](SoftKeyCommandContext& context, SoftKeyCommandUi& ui) {
    StartSoftKeyCommand(context, ui, kb.command, kb.state.slot, command, target);
  });
}

void OnCommandAnswer(SoftKeyboardWindow& kb, ExchangeAnswer answer) {
  CommandStep(kb, [&](SoftKeyCommandContext& context, SoftKeyCommandUi& ui) {
    OnSoftKeyCommandAnswer(context, ui, kb.command, answer);
  });
}

// White around the buttons and header images, and the line under the page tabs.
void PaintBackground(SoftKeyboardWindow& kb) {
  RECT client{};
  GetClientRect(kb.window, &client);
  OwnedRegion region(CreateRectRgn(0, 0, client.right, client.bottom));
  auto cutOut = [&](HWND control) {
    RECT rect{};
    if (!control || !GetWindowRect(control, &rect)) return;
    MapWindowPoints(nullptr, kb.window, reinterpret_cast<POINT*>(&rect), 2);
    OwnedRegion part(CreateRectRgn(rect.left, rect.top, rect.right, rect.bottom));
    CombineRgn(region.get(), region.get(), part.get(), RGN_DIFF);
  };
  for (HWND button : kb.keyButtons) cutOut(button);
  cutOut(kb.logoStatic);
  for (HWND icon : kb.headerIcons) cutOut(icon);
  PaintDc dc(kb.window);
  if (!dc) return;
  FillRgn(dc.get(), region.get(), static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  if (!kb.state.paged) return;
  const TabUnderline line = TabUnderlineFor(*kb.state.table, kb.state.scale, client.right);
  auto fill = [&dc](const ScreenRect& r, COLORREF colour) {
    const RECT rect{r.left, r.top, r.right, r.bottom};
    OwnedBrush brush(CreateSolidBrush(colour));
    FillRect(dc.get(), &rect, brush.get());
  };
  fill(line.dark, RGB(120, 120, 255));
  fill(line.light, RGB(200, 200, 255));
}

FrameState FrameStateOf(HWND window) {
  if (IsZoomed(window)) return FrameState::kMaximized;
  if (IsIconic(window)) return FrameState::kMinimized;
  return FrameState::kNormal;
}

// The system maximizes a window with a maximize box when it is dragged to the top of the screen
// (or asked to by another program): the state is taken back before anything moves, and the
// keyboard stays where it is.
void RefuseMaximized(HWND window, WINDOWPOS* position) {
  const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  if (!(style & WS_MAXIMIZE) || !position) return;
  SetWindowLongPtrW(window, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_MAXIMIZE));
  position->flags |= SWP_NOMOVE | SWP_NOSIZE;
}

ScreenPoint PointOf(LPARAM screenPoint) {
  return {GET_X_LPARAM(screenPoint), GET_Y_LPARAM(screenPoint)};
}

void OnContextMenu(SoftKeyboardWindow& kb, HWND button, LPARAM screenPoint) {
  const int j = kb.ButtonIndex(button);
  if (!kb.services.dialogs || j < 0) return;
  ScreenPoint point = PointOf(screenPoint);
  if (point.x == -1 && point.y == -1) {  // the menu key: at the button
    RECT rect{};
    GetWindowRect(button, &rect);
    point = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  }
  OnButtonRightClick(kb.state, kb.core, j, point);
}

void OnTimer(SoftKeyboardWindow& kb, WPARAM timer) {
  switch (static_cast<SoftKeyboardTimer>(timer)) {
    case SoftKeyboardTimer::kRepeatWatch:
      OnRepeatWatchTick(kb.state, kb.core, HeldButtonStillDown(kb.state, kb.SampleHeldButton()));
      break;
    case SoftKeyboardTimer::kPageFollow:
      OnPageFollowTick(kb.state, kb.core);
      break;
    case SoftKeyboardTimer::kBlink:
      OnBlinkTick(kb.state, kb.core);
      break;
  }
}

bool OnCommand(SoftKeyboardWindow& kb, WPARAM wParam) {
  const auto id = static_cast<std::uint16_t>(LOWORD(wParam));
  if (IsSoftKeyCommand(id)) {
    RunMenuCommand(kb, id);
    return true;
  }
  const int j = static_cast<int>(id) - kFirstSoftKeyButtonId;
  if (HIWORD(wParam) != BN_CLICKED || j < 0 || j >= kLayoutCells) return false;
  OnKeyClicked(kb.state, kb.core, j);
  return true;
}

void OnDestroy(SoftKeyboardWindow& kb) {
  OnClosing(kb.state, kb.core);
  // The key pad exchanges end before the rescan that closes this window closes the link; a
  // command waiting for one of them resumes its key pad first. A command whose dialog is open
  // (this runs inside the dialog's loop) still needs them when the dialog returns: it ends them.
  if (kb.command.step != SoftKeyCommandStep::kInDialog) {
    CommandStep(kb, [&](SoftKeyCommandContext& context, SoftKeyCommandUi& ui) {
      AbandonSoftKeyCommand(context, ui, kb.command);
    });
    kb.requests.reset();
  }
  kb.infoIcon.Close();
  OnSoftKeyboardWindowDestroyed();
  PostQuitMessage(0);
}

// The messages of the key buttons, the header and the window's own frame.
bool HandleInput(SoftKeyboardWindow& kb, UINT message, WPARAM wParam, LPARAM lParam,
                 LRESULT& result) {
  SoftKeyboardState& state = kb.state;
  result = 0;
  switch (message) {
    case WM_MOUSEACTIVATE:
      // A click must leave the focus where the typing goes.
      result = MA_NOACTIVATE;
      return true;
    case WM_NCHITTEST: {
      const LRESULT hit = DefWindowProcW(kb.window, message, wParam, lParam);
      OnHeaderHover(state, kb.core, kb.HeaderIconAtPoint(lParam));
      result = hit == HTCLIENT ? HTCAPTION : hit;  // the background drags the window
      return true;
    }
    case WM_NCLBUTTONDOWN:
      return OnHeaderPressed(state, kb.core, kb.HeaderIconAtPoint(lParam));
    case WM_NCLBUTTONDBLCLK:
      // The second press of a double click: on an icon it is a press; on the header it must
      // not maximize the always-on-top keyboard over the screen.
      OnHeaderPressed(state, kb.core, kb.HeaderIconAtPoint(lParam));
      return true;
    case WM_SYSCOMMAND:
      return (wParam & 0xFFF0) == SC_MAXIMIZE;
    case WM_NCLBUTTONUP:
      return OnHeaderReleased(state, kb.core, kb.HeaderIconAtPoint(lParam));
    case WM_NCRBUTTONDOWN:
      if (kb.services.dialogs) {
        OnBackgroundRightClick(state, kb.core, PointOf(lParam),
                               kb.HeaderIconAtPoint(lParam) != HeaderIcon::kNone);
      }
      return true;
    case WM_CONTEXTMENU:
      OnContextMenu(kb, reinterpret_cast<HWND>(wParam), lParam);
      return true;
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT) {
        OnHeaderHover(state, kb.core, HeaderIcon::kNone);
        if (HIWORD(lParam) == WM_LBUTTONDOWN) {
          OnKeyPressed(state, kb.core, kb.ButtonIndex(reinterpret_cast<HWND>(wParam)));
        }
      }
      return false;
    case WM_COMMAND:
      return OnCommand(kb, wParam);
    default:
      return false;
  }
}

// The messages of the window's geometry and drawing, its timers and the other threads' requests.
bool HandleWindow(SoftKeyboardWindow& kb, UINT message, WPARAM wParam, LPARAM lParam,
                  LRESULT& result) {
  SoftKeyboardState& state = kb.state;
  result = 0;
  switch (message) {
    case WM_CREATE:
      OnSoftKeyboardWindowCreated();
      return true;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      info->ptMinTrackSize = {kMinTrackSize, kMinTrackSize};
      // Maximized, the keyboard would keep its own place and size.
      RECT rect{};
      if (GetWindowRect(kb.window, &rect) && rect.right > rect.left) {
        info->ptMaxPosition = {rect.left, rect.top};
        info->ptMaxSize = {rect.right - rect.left, rect.bottom - rect.top};
      }
      return true;
    }
    case WM_WINDOWPOSCHANGING:
      RefuseMaximized(kb.window, reinterpret_cast<WINDOWPOS*>(lParam));
      return false;
    case WM_ERASEBKGND:
      return true;
    case WM_PAINT:
      PaintBackground(kb);
      return true;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) == kb.serialStatic)
        result = reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
      return true;
    case WM_MOVE:
      OnMoved(state, kb.core, kb.WindowRect(), FrameStateOf(kb.window));
      return false;
    case WM_SIZE:
      if (!state.layoutInitialised) return false;
      OnResized(state, kb.core, LOWORD(lParam), HIWORD(lParam), kb.WindowRect(),
                FrameStateOf(kb.window));
      return true;
    case WM_TIMER:
      OnTimer(kb, wParam);
      return true;
    case kVisibilityMessage:
      OnVisibilityRequest(state, kb.core, static_cast<VisibilityRequest>(wParam));
      return true;
    case kToggleSoftKeyboardMessage:
      OnHotKeyToggle(state, kb.core);
      return true;
    case kActivePageAnswerMessage:
      OnActivePageAnswer(state, kb.core, wParam != 0, static_cast<std::uint8_t>(lParam));
      return true;
    case kStatusAnswerMessage:
      OnStatusAnswer(state, kb.core, wParam != 0, static_cast<std::uint8_t>(lParam));
      return true;
    case kCommandAnswerMessage:
      OnCommandAnswer(kb, ExchangeAnswer{wParam != 0, static_cast<std::uint8_t>(lParam)});
      return true;
    case WM_DESTROY:
      OnDestroy(kb);
      return true;
    default:
      return false;
  }
}

}  // namespace

LRESULT SoftKeyboardWindow::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!window) window = hwnd;
  LRESULT result = 0;
  const bool handled = HandleInput(*this, message, wParam, lParam, result) ||
                       HandleWindow(*this, message, wParam, lParam, result);
  Publish();
  return handled ? result : DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace qv
