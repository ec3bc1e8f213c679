// One soft keyboard window on its thread: the portable state and events of the keyboard, the
// window handles they act on, and the view that carries the events' requests out in Win32.
// Shared by the window procedure, the view and the thread that creates the window.
#pragma once

#include <windows.h>

#include <array>
#include <memory>

#include "common/win32/owned.h"
#include "softkbd/soft_keyboard_state.h"
#include "softkbd/win32/button_faces_win32.h"
#include "softkbd/win32/info_icon_window_win32.h"
#include "softkbd/win32/key_pad_requests_win32.h"
#include "softkbd/win32/soft_keyboard_window_win32.h"

namespace qv {

class SoftKeyboardWindow final : public SoftKeyboardView {
 public:
  explicit SoftKeyboardWindow(const SoftKeyboardThreadContext& thread);
  SoftKeyboardWindow(const SoftKeyboardWindow&) = delete;
  SoftKeyboardWindow& operator=(const SoftKeyboardWindow&) = delete;

  // The message map (soft_keyboard_window_win32.cpp).
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  // SoftKeyboardView (soft_keyboard_view_win32.cpp).
  void PlaceButtons(const std::array<PixelRect, kLayoutCells>& buttons,
                    const std::array<PixelRect, 3>& headerIcons) override;
  void PlaceTabs(const std::array<PixelRect, kPageCount>& tabs) override;
  void CheckTab(int page) override;
  void RefitFaces(int page, std::int32_t captionSize) override;
  void ShowHeaderLook(HeaderIcon icon, HeaderLook look) override;
  void StartTimer(SoftKeyboardTimer timer) override;
  void StopTimer(SoftKeyboardTimer timer) override;
  void ShowKeyboard(bool shown) override;
  void ShowInfoIcon(bool shown) override;
  void EnableButton(int button, bool enabled) override;
  void Repaint() override;
  void OpenMenu(unsigned menuId, ScreenPoint point) override;
  int RunMenuDialog() override;
  void PostShellCommand(std::uint16_t command, std::uint16_t notificationCode) override;
  void RequestActivePage() override;
  void RequestStatus() override;
  void SelectKeyPadPage(int pageNumber) override;

  // Gives the host what the main thread reads of the keyboard: keyboardShown and hiddenToIcon.
  // The only place where the host's mirror of them is written.
  void Publish();
  // The button with this window handle, -1 for none.
  int ButtonIndex(HWND button) const;
  // What the repeat watch sees of the held repeating key's button now.
  HeldButtonSample SampleHeldButton() const;
  ScreenRect WindowRect() const;
  HeaderIcon HeaderIconAtPoint(LPARAM screenPoint) const;
  // Puts an image on a header static; a copy the static made of it is released.
  void SetStaticImage(HWND control, HBITMAP image);

  const SoftKeyboardThreadContext& thread;
  const SoftKeyboardServices& services;
  SoftKeyboardState state;
  SoftKeyboardContext core;

  HWND window = nullptr;
  HWND logoStatic = nullptr;
  HWND serialStatic = nullptr;
  std::array<HWND, 3> headerIcons{};  // close, hide, menu
  std::array<HWND, kLayoutCells> keyButtons{};
  std::array<OwnedBitmap, kHeaderBitmapCount> bitmaps;
  OwnedFont serialFont;
  ButtonFaces faces;
  InfoIconWindow infoIcon;
  std::unique_ptr<KeyPadRequests> requests;
  // The menu command on its way between its key pad exchanges.
  SoftKeyCommandRun command;
};

}  // namespace qv
