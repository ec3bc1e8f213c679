#include "softkbd/win32/button_faces_win32.h"

#include <algorithm>
#include <string>

#include "common/bounded_text.h"
#include "common/win32/scoped_dc.h"
#include "common/win32/wide.h"

namespace qv {
namespace {

ButtonSize ClientSizeOf(HWND button) {
  RECT client{};
  GetClientRect(button, &client);
  return {client.right - client.left, client.bottom - client.top};
}

// Measures one line in the button's own device context, in a font made for the measurement only.
MeasureText MeasureOn(HWND button) {
  return [button](const CaptionFont& font, std::u16string_view line) {
    TextExtent extent;
    WindowDc dc(button);
    if (!dc) return extent;
    OwnedFont measureFont = MakeFont(font);
    SelectedObject selected(dc.get(), measureFont.get());
    SIZE size{};
    if (GetTextExtentPoint32W(dc.get(), reinterpret_cast<const wchar_t*>(line.data()),
                              static_cast<int>(line.size()), &size)) {
      extent = {size.cx, size.cy};
    }
    return extent;
  };
}

void SetButtonText(HWND button, std::u16string_view text) {
  SetWindowTextW(button, WideString(text).c_str());
}

void SetButtonFont(HWND button, const OwnedFont& font) {
  SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
}

}  // namespace

LOGFONTW LogFontOf(const CaptionFont& font) {
  LOGFONTW description{};
  description.lfHeight = font.height;
  description.lfWidth = font.width;
  description.lfWeight = font.weight;
  description.lfCharSet = 0;
  description.lfQuality = kCaptionFontQuality;
  description.lfPitchAndFamily = kCaptionFontPitchAndFamily;
  BoundedCopy(Utf16(description.lfFaceName), LF_FACESIZE, font.face);
  return description;
}

OwnedFont MakeFont(const CaptionFont& font) {
  const LOGFONTW description = LogFontOf(font);
  return OwnedFont(CreateFontIndirectW(&description));
}

ButtonFaces::ButtonFaces(const std::array<HWND, kLayoutCells>& buttons, SoftKeyFaces& faces,
                         int slot, bool paged, const LayoutTable& table)
    : buttons_(buttons), faces_(faces), slot_(slot), paged_(paged), table_(table) {}

int ButtonFaces::KeyOf(int j) const {
  return KeyForButton(paged_, page_, j);
}

bool ButtonFaces::KeyHasCaption(int key) {
  return faces_.AssetsLoaded(slot_) && !faces_.KeyCaption(slot_, key).empty();
}

bool ButtonFaces::KeyHasImage(int key) {
  return faces_.AssetsLoaded(slot_) && faces_.HasKeyImage(slot_, key);
}

void ButtonFaces::Refit(int page, std::int32_t captionSize) {
  page_ = page;
  FitTabCaptions();
  ResizeCaptionFont(captionSize);
  FitKeyCaptions();
  RefreshImages();
}

// Takes the image off button j and releases its copy; the button shows its text again.
void ButtonFaces::RemoveButtonImage(int j) {
  if (HWND button = buttons_[j]) {
    SendMessageW(button, BM_SETIMAGE, IMAGE_BITMAP, 0);
    SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, 0);
    const LONG_PTR style = GetWindowLongPtrW(button, GWL_STYLE);
    SetWindowLongPtrW(button, GWL_STYLE, style & ~static_cast<LONG_PTR>(BS_BITMAP | BS_ICON));
  }
  bitmaps_[j].reset();
  icons_[j].reset();
}

// Puts an image copy on button j, in the button style of its kind.
void ButtonFaces::SetButtonImage(int j, ButtonImage image) {
  OwnedBitmap bitmap;
  OwnedIcon icon;
  if (image.isIcon)
    icon.reset(static_cast<HICON>(image.handle));
  else
    bitmap.reset(static_cast<HBITMAP>(image.handle));
  HWND button = buttons_[j];
  if (!image.handle || !button) return;
  const LONG_PTR style =
      GetWindowLongPtrW(button, GWL_STYLE) & ~static_cast<LONG_PTR>(BS_BITMAP | BS_ICON);
  SetWindowLongPtrW(button, GWL_STYLE, style | (image.isIcon ? BS_ICON : BS_BITMAP));
  SendMessageW(button, BM_SETIMAGE, image.isIcon ? IMAGE_ICON : IMAGE_BITMAP,
               reinterpret_cast<LPARAM>(image.handle));
  // The previous copy goes only once the button shows the new one.
  bitmaps_[j] = std::move(bitmap);
  icons_[j] = std::move(icon);
  InvalidateRect(button, nullptr, TRUE);
}

// Fits each page tab's caption ("P1" .. "P6" without one) to the tab.
void ButtonFaces::FitTabCaptions() {
  if (!paged_) return;
  for (int page = 0; page < kPageCount; ++page) {
    HWND tab = buttons_[page];
    if (!tab) continue;
    const TextFace face =
        FitTabCaption(page, faces_.PageCaption(slot_, page), ClientSizeOf(tab), MeasureOn(tab));
    if (face.font) {
      OwnedFont font = MakeFont(*face.font);
      SetButtonFont(tab, font);
      fittedFonts_[page] = std::move(font);
    }
    SetButtonText(tab, face.text.view());
    RemoveButtonImage(page);
  }
}

// The shared caption font of the keys without a caption of their own, at the key size. A key
// that shows an image gets it too: its button must not keep the font that goes now.
void ButtonFaces::ResizeCaptionFont(std::int32_t size) {
  CaptionFont description = kKeyFont;
  description.height = CaptionFontHeight(size);
  description.width = 0;
  OwnedFont font = MakeFont(description);
  for (int j = paged_ ? kPageCount : 0; j < kLayoutCells; ++j) {
    const int key = KeyOf(j);
    if (!buttons_[j] || key < 0 || KeyHasCaption(key)) continue;
    SetButtonFont(buttons_[j], font);
    if (!KeyHasImage(key)) RemoveButtonImage(j);
  }
  // The buttons hold the new font now; the old one may go.
  captionFont_ = std::move(font);
}

void ButtonFaces::FitKeyCaptions() {
  const bool loaded = faces_.AssetsLoaded(slot_);
  for (int j = paged_ ? kPageCount : 0; j < kLayoutCells; ++j) {
    HWND button = buttons_[j];
    const int key = KeyOf(j);
    if (!button || key < 0) continue;
    const std::u16string_view caption =
        loaded ? faces_.KeyCaption(slot_, key) : std::u16string_view{};
    const TextFace face = FitKeyCaption(paged_, key, table_.cells[j].label, caption,
                                        ClientSizeOf(button), MeasureOn(button));
    if (caption.empty()) {
      SetButtonText(button, face.text.view());
      continue;
    }
    SetWindowTextW(button, L"");
    if (face.font) {
      OwnedFont font = MakeFont(*face.font);
      SetButtonFont(button, font);
      fittedFonts_[j] = std::move(font);
    }
    SetButtonText(button, face.text.view());
    RemoveButtonImage(j);
  }
}

void ButtonFaces::RefreshImages() {
  auto size = [](HWND button) {
    const ButtonSize client = ClientSizeOf(button);
    return std::min(client.height - 8, client.width - 8);
  };
  for (int j = 0; j < kLayoutCells; ++j) {
    HWND button = buttons_[j];
    if (!button) continue;
    if (paged_ && j < kPageCount) {
      SetButtonImage(j, faces_.TabImageCopy(slot_, j, size(button)));
    } else if (const int key = KeyOf(j); key >= 0) {
      SetButtonImage(j, faces_.KeyImageCopy(slot_, key, size(button)));
    }
  }
}

}  // namespace qv
