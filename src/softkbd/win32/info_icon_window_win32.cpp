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
  SetLayeredWindowAttributes(window_, 0, 255, LWA_ALPHA);
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
  // With several key pads each icon says whose keyboard it stands for.
  if (table_.keyPadCount.load() < 2) return;
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
      // Half transparent while it is dragged.
      SetLayeredWindowAttributes(window, 0, 128, LWA_ALPHA);
      break;
    case WM_EXITSIZEMOVE:
      SetLayeredWindowAttributes(window, 0, 255, LWA_ALPHA);
      return 0;
    case WM_PAINT:
      Paint(window);
      return 0;
    case WM_LBUTTONDOWN:
      pressX_ = LOWORD(lParam);
      pressY_ = HIWORD(lParam);
      return 0;
    case WM_MOUSEMOVE:
      if (InfoIconDragStarts(pressX_, pressY_, LOWORD(lParam), HIWORD(lParam),
                             wParam == MK_LBUTTON)) {
        // The system's move loop takes the mouse; its release ends the move, not a click.
        POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ClientToScreen(window, &point);
        SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
        return 0;
      }
      break;
    case WM_LBUTTONUP:
      if (clicked_) clicked_();
      SetLayeredWindowAttributes(window, 0, 255, LWA_ALPHA);
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
