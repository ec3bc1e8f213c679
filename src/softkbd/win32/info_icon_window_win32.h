// The info icon of one soft keyboard: a 48 x 48 layered window near the bottom-right corner of
// the work area that stands for a keyboard hidden to it. It shows the hide icon's picture (with
// the key pad's serial number when several key pads are attached), a click brings the keyboard
// back and a drag moves the icon.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "access/key_pad_table.h"
#include "softkbd/soft_keyboard_controls.h"

namespace qv {

class InfoIconWindow {
 public:
  // `clicked` runs on the icon's thread when the icon is clicked (not dragged).
  InfoIconWindow(const KeyPadTable& table, std::uint32_t serialNumber,
                 std::function<void()> clicked);

  // Registers the class `className` (an earlier registration is fine) and creates the hidden
  // icon of `slot` on the calling thread; false when it could not be made.
  bool Create(const wchar_t* className, int slot);
  // The picture it shows; owned by the caller, which keeps it while the icon exists.
  void SetPicture(HBITMAP picture) { picture_ = picture; }
  HWND window() const { return window_; }
  // Shows it above the other always-on-top windows or hides it, fully opaque either way.
  void Show(bool shown);
  // Closes the window (on its own thread).
  void Close();

  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void Paint(HWND window);
  bool React(HWND window, const InfoIconReaction& reaction, LPARAM point = 0);

  const KeyPadTable& table_;
  std::uint32_t serialNumber_;
  std::function<void()> clicked_;
  HWND window_ = nullptr;
  HBITMAP picture_ = nullptr;
  // Where the left button went down, in client coordinates.
  InfoIconPress press_;
};

}  // namespace qv
