// The faces of a soft keyboard's buttons: the fonts fitted to each caption, the keys' shared
// caption font and the copies of the user images the buttons show. Everything a button shows
// is owned here and released only once no button shows it any more.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>

#include "common/win32/owned.h"
#include "softkbd/caption_fit.h"
#include "softkbd/layout.h"
#include "softkbd/soft_key_buttons.h"
#include "softkbd/win32/soft_key_faces_win32.h"

namespace qv {

LOGFONTW LogFontOf(const CaptionFont& font);
OwnedFont MakeFont(const CaptionFont& font);

class ButtonFaces {
 public:
  // The buttons of one keyboard: `buttons` must outlive this object; `faces` gives the slot's
  // captions and images.
  ButtonFaces(const std::array<HWND, kLayoutCells>& buttons, SoftKeyFaces& faces, int slot,
              bool paged, const LayoutTable& table);

  // The buttons of `page`, each with the face its plan gives, the keys' shared caption font
  // made for `captionSize`.
  void Refit(int page, std::int32_t captionSize);

 private:
  ButtonFaceInput InputOf(int j);
  void ShowFace(int j, const ButtonFacePlan& plan, const OwnedFont& shared);
  void SetButtonImage(int j, ButtonImage image);
  void RemoveButtonImage(int j);
  int KeyOf(int j) const;

  const std::array<HWND, kLayoutCells>& buttons_;
  SoftKeyFaces& faces_;
  int slot_;
  bool paged_;
  const LayoutTable& table_;
  int page_ = 0;
  OwnedFont captionFont_;
  std::array<OwnedFont, kLayoutCells> fittedFonts_;  // per button: its key's or tab's own font
  std::array<OwnedBitmap, kLayoutCells> bitmaps_;
  std::array<OwnedIcon, kLayoutCells> icons_;
};

}  // namespace qv
