#include "softkbd/win32/soft_keyboard_view_win32.h"

#include <windowsx.h>

namespace qv {
namespace {

unsigned TimerPeriod(SoftKeyboardTimer timer) {
  switch (timer) {
    case SoftKeyboardTimer::kRepeatWatch:
      return kRepeatWatchMs;
    case SoftKeyboardTimer::kPageFollow:
      return kPageFollowMs;
    case SoftKeyboardTimer::kBlink:
      return kBlinkMs;
  }
  return kBlinkMs;
}

}  // namespace

SoftKeyboardWindow::SoftKeyboardWindow(const SoftKeyboardThreadContext& threadContext)
    : thread(threadContext),
      services(*threadContext.services),
      state(MakeSoftKeyboardState(*services.table, threadContext.slot, threadContext.layout)),
      core{*services.table,
           *services.keyCodes,
           *services.settings,
           *threadContext.injector,
           *services.touchEnabled,
           *services.nonJapaneseLayout,
           *this},
      faces(keyButtons, *services.faces, state.slot, state.paged, *state.table),
      infoIcon(*services.table, state.serialNumber, [this] {
        OnInfoIconClicked(state, core);
        Publish();
      }) {}

void SoftKeyboardWindow::Publish() {
  thread.shown->store(state.keyboardShown);
  thread.hiddenToIcon->store(state.hiddenToIcon);
}

int SoftKeyboardWindow::ButtonIndex(HWND button) const {
  for (int j = 0; j < kLayoutCells; ++j) {
    if (button && keyButtons[j] == button) return j;
  }
  return -1;
}

HeldButtonSample SoftKeyboardWindow::SampleHeldButton() const {
  HeldButtonSample sample;
  if (state.heldRepeatButton < 0) return sample;
  HWND button = keyButtons[state.heldRepeatButton];
  POINT cursor{};
  RECT area{};
  if (!button || !GetCursorPos(&cursor) || !GetClientRect(button, &area)) return sample;
  // The button shows itself pushed only while the left button is down on it.
  sample.pushed = (SendMessageW(button, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
  MapWindowPoints(button, nullptr, reinterpret_cast<POINT*>(&area), 2);
  sample.cursor = {cursor.x, cursor.y};
  sample.buttonArea = {area.left, area.top, area.right, area.bottom};
  sample.buttonAtCursor = ButtonIndex(WindowFromPoint(cursor));
  return sample;
}

ScreenRect SoftKeyboardWindow::WindowRect() const {
  RECT rect{};
  GetWindowRect(window, &rect);
  return {rect.left, rect.top, rect.right, rect.bottom};
}

HeaderIcon SoftKeyboardWindow::HeaderIconAtPoint(LPARAM screenPoint) const {
  return HeaderIconAt(WindowRect(), GetSystemMetrics(SM_CXFRAME), GetSystemMetrics(SM_CYFRAME),
                      GET_X_LPARAM(screenPoint), GET_Y_LPARAM(screenPoint));
}

void SoftKeyboardWindow::SetStaticImage(HWND control, HBITMAP image) {
  if (!control || !image) return;
  const auto previous = reinterpret_cast<HBITMAP>(
      SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(image)));
  // A static of the version 6 controls shows a copy of a 32-bit bitmap and hands the copy back
  // when the image changes; the copy is its caller's to delete. Our own bitmaps stay.
  if (!previous) return;
  for (const OwnedBitmap& own : bitmaps) {
    if (own.get() == previous) return;
  }
  const OwnedBitmap handedBack(previous);
}

void SoftKeyboardWindow::PlaceButtons(const std::array<PixelRect, kLayoutCells>& buttons,
                                      const std::array<PixelRect, 3>& icons) {
  for (int i = 0; i < 3; ++i) {
    if (headerIcons[i]) {
      MoveWindow(headerIcons[i], icons[i].x, icons[i].y, icons[i].width, icons[i].height, TRUE);
    }
  }
  HDWP positions = BeginDeferWindowPos(kLayoutCells);
  for (int j = 0; j < kLayoutCells && positions; ++j) {
    const PixelRect& rect = buttons[j];
    positions = DeferWindowPos(positions, keyButtons[j], nullptr, rect.x, rect.y, rect.width,
                               rect.height, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (positions) EndDeferWindowPos(positions);
}

void SoftKeyboardWindow::PlaceTabs(const std::array<PixelRect, kPageCount>& tabs) {
  HDWP positions = BeginDeferWindowPos(kPageCount);
  for (int j = 0; j < kPageCount && positions; ++j) {
    const PixelRect& tab = tabs[j];
    positions = DeferWindowPos(positions, keyButtons[j], nullptr, tab.x, tab.y, tab.width,
                               tab.height, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (positions) EndDeferWindowPos(positions);
}

void SoftKeyboardWindow::CheckTab(int page) {
  for (int j = 0; j < kPageCount; ++j) {
    SendMessageW(keyButtons[j], BM_SETCHECK, j == page ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

void SoftKeyboardWindow::RefitFaces(int page, std::int32_t captionSize) {
  faces.Refit(page, captionSize);
}

void SoftKeyboardWindow::ShowHeaderLook(HeaderIcon icon, HeaderLook look) {
  const int index = static_cast<int>(icon) - static_cast<int>(HeaderIcon::kClose);
  const int bitmap = HeaderLookBitmap(icon, look);
  if (index < 0 || index >= 3 || bitmap < 0) return;
  SetStaticImage(headerIcons[index], bitmaps[bitmap].get());
}

void SoftKeyboardWindow::StartTimer(SoftKeyboardTimer timer) {
  SetTimer(window, static_cast<UINT_PTR>(timer), TimerPeriod(timer), nullptr);
}

void SoftKeyboardWindow::StopTimer(SoftKeyboardTimer timer) {
  KillTimer(window, static_cast<UINT_PTR>(timer));
}

void SoftKeyboardWindow::ShowKeyboard(bool shown) {
  ShowWindow(window, shown ? SW_SHOWNA : SW_HIDE);
}

void SoftKeyboardWindow::ShowInfoIcon(bool shown) {
  infoIcon.Show(shown);
}

void SoftKeyboardWindow::EnableButton(int button, bool enabled) {
  if (button >= 0 && button < kLayoutCells) EnableWindow(keyButtons[button], enabled);
}

void SoftKeyboardWindow::Repaint() {
  InvalidateRect(window, nullptr, TRUE);
}

void SoftKeyboardWindow::OpenMenu(unsigned menuId, ScreenPoint point) {
  OwnedMenu menu(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(menuId)));
  if (!menu) return;
  if (HMENU popup = GetSubMenu(menu.get(), 0)) {
    TrackPopupMenu(popup, TPM_RIGHTALIGN | TPM_BOTTOMALIGN, point.x, point.y, 0, window, nullptr);
  }
}

int SoftKeyboardWindow::RunMenuDialog() {
  return services.dialogs ? services.dialogs->RunSoftKeyMenu(window) : 0;
}

void SoftKeyboardWindow::PostShellCommand(std::uint16_t command, std::uint16_t notificationCode) {
  HWND main = services.mainWindow ? services.mainWindow->load() : nullptr;
  if (!main) return;
  // Posted: the command opens its own dialog on the main thread, and this thread keeps serving
  // its windows; a main window that closes meanwhile waits for nobody.
  PostMessageW(main, WM_COMMAND, MAKEWPARAM(command, notificationCode), 0);
  SetForegroundWindow(main);
}

void SoftKeyboardWindow::RequestActivePage() {
  if (requests)
    requests->AskActivePage();
  else
    PostMessageW(window, kActivePageAnswerMessage, 0, 0);
}

void SoftKeyboardWindow::RequestStatus() {
  if (requests)
    requests->AskStatus();
  else
    PostMessageW(window, kStatusAnswerMessage, 0, 0);
}

void SoftKeyboardWindow::SelectKeyPadPage(int pageNumber) {
  if (requests) requests->SelectPage(pageNumber);
}

}  // namespace qv
