#include "softkbd/win32/info_icon_window_win32.h"

#include <windowsx.h>

#include <string>
#include <utility>

#include "common/ids.h"
#include "common/win32/owned.h"
#include "common/win32/scoped_dc.h"
#include "common/win32/wide.h"
#include "common/win32/window_proc.h"
#include "softkbd/caption_fit.h"
#include "softkbd/soft_keyboard_controls.h"
#include "softkbd/soft_keyboard_start.h"
#include "softkbd/win32/button_faces_win32.h"

namespace qv {

static_assert(kMouseKeyLeft == MK_LBUTTON);

InfoIconWindow::InfoIconWindow(const KeyPadTable& table, std::uint32_t serialNumber,
                               std::function<void()> clicked)
    : table_(table), serialNumber_(serialNumber), clicked_(std::move(clicked)) {}

bool InfoIconWindow::Create(const wchar_t* className, int slot) {
  if (!RegisterWindowClassOf<InfoIconWindow>(className, kIconApp)) return false;
  RECT workArea{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
  const ScreenRect icon =
      InfoIconRect({workArea.left, workArea.top, workArea.right, workArea.bottom}, slot);
  // Created without WS_VISIBLE: the icon stays hidden until the keyboard is hidden to it.
  window_ = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, className, L"",
                            WS_POPUP, icon.left, icon.top, kInfoIconSize, kInfoIconSize, nullptr,
                            nullptr, GetModuleHandleW(nullptr), this);
  return window_ != nullptr;
}

void InfoIconWindow::Show(bool shown) {
  if (!window_) return;
  if (shown) {
    // Above the other always-on-top windows, another key pad's keyboard among them.
    SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  } else {
    ShowWindow(window_, SW_HIDE);
  }
  React(window_, OnInfoIconEvent(press_, InfoIconEvent::kShown));
}

// Carries out what an event asks of the window; true when it handled the message.
bool InfoIconWindow::React(HWND window, const InfoIconReaction& reaction, LPARAM point) {
  if (reaction.clicked && clicked_) clicked_();
  if (reaction.alpha >= 0)
    SetLayeredWindowAttributes(window, 0, static_cast<BYTE>(reaction.alpha), LWA_ALPHA);
  if (!reaction.startMove) return false;
  // The system's move loop takes the mouse; its release ends the move, not a click.
  POINT screen{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
  ClientToScreen(window, &screen);
  SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(screen.x, screen.y));
  return true;
}

void InfoIconWindow::Close() {
  if (window_) SendMessageW(window_, WM_CLOSE, 0, 0);
}

void InfoIconWindow::Paint(HWND window) {
  PaintDc dc(window);
  if (!dc) return;
  {
    OwnedMemoryDc memory(CreateCompatibleDC(dc.get()));
    if (memory && picture_) {
      SelectedObject selected(memory.get(), picture_);
      BitBlt(dc.get(), 0, 0, kInfoIconSize, kInfoIconSize, memory.get(), 0, 0,
             SRCCOPY | CAPTUREBLT);
    }
  }
  if (!InfoIconShowsSerial(table_.keyPadCount.load())) return;
  CaptionFont description = kSerialFont;
  description.height = 15;
  OwnedFont font = MakeFont(description);
  SelectedObject selected(dc.get(), font.get());
  SetBkColor(dc.get(), RGB(224, 224, 255));
  char16_t serial[32];
  InfoIconSerialText(serialNumber_, serial);
  const std::wstring text = WideString(std::u16string_view(serial));
  TextOutW(dc.get(), 3, 18, text.c_str(), static_cast<int>(text.size()));
}

LRESULT InfoIconWindow::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_CREATE:
    case WM_COMMAND:
      return 0;
    case WM_MOVE:
      React(window, OnInfoIconEvent(press_, InfoIconEvent::kMoved));
      break;
    case WM_EXITSIZEMOVE:
      React(window, OnInfoIconEvent(press_, InfoIconEvent::kMoveEnded));
      return 0;
    case WM_PAINT:
      Paint(window);
      return 0;
    case WM_LBUTTONDOWN:
      OnInfoIconEvent(press_, InfoIconEvent::kLeftDown, LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_MOUSEMOVE:
      if (React(window,
                OnInfoIconEvent(press_, InfoIconEvent::kMouseMove, LOWORD(lParam), HIWORD(lParam),
                                static_cast<std::uint32_t>(wParam)),
                lParam)) {
        return 0;
      }
      break;
    case WM_LBUTTONUP:
      React(window, OnInfoIconEvent(press_, InfoIconEvent::kLeftUp));
      return 0;
    case WM_DESTROY:
      window_ = nullptr;
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace qv
