#include "softkbd/win32/button_faces_win32.h"

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

void ButtonFaces::Refit(int page, std::int32_t captionSize) {
  page_ = page;
  CaptionFont description = kKeyFont;
  description.height = CaptionFontHeight(captionSize);
  description.width = 0;
  OwnedFont shared = MakeFont(description);
  for (int j = 0; j < kLayoutCells; ++j) {
    HWND button = buttons_[j];
    if (!button) continue;
    const ButtonFacePlan plan = PlanButtonFace(InputOf(j), MeasureOn(button));
    if (plan.shown) ShowFace(j, plan, shared);
  }
  // The buttons hold the new shared font now; the old one may go.
  captionFont_ = std::move(shared);
}

ButtonFaceInput ButtonFaces::InputOf(int j) {
  ButtonFaceInput input;
  input.paged = paged_;
  input.page = page_;
  input.button = j;
  input.cellLabel = table_.cells[j].label;
  input.assetsLoaded = faces_.AssetsLoaded(slot_);
  input.size = ClientSizeOf(buttons_[j]);
  if (paged_ && j < kPageCount) {
    input.caption = faces_.PageCaption(slot_, j);
    input.hasImage = faces_.HasPageImage(slot_, j);
  } else if (const int key = KeyOf(j); key >= 0) {
    input.caption = faces_.KeyCaption(slot_, key);
    input.hasImage = faces_.HasKeyImage(slot_, key);
  }
  return input;
}

// Gives button j the font, text and image of its plan; `shared` is the keys' new shared font.
void ButtonFaces::ShowFace(int j, const ButtonFacePlan& plan, const OwnedFont& shared) {
  HWND button = buttons_[j];
  switch (plan.font) {
    case ButtonFont::kShared:
      SetButtonFont(button, shared);
      break;
    case ButtonFont::kFitted: {
      OwnedFont font = MakeFont(*plan.fittedFont);
      SetButtonFont(button, font);
      // The button's earlier fitted font goes once it shows this one.
      fittedFonts_[j] = std::move(font);
      break;
    }
    case ButtonFont::kKeep:
      break;
  }
  SetButtonText(button, plan.text.view());
  ButtonImage image;
  if (plan.image) {
    image = paged_ && j < kPageCount ? faces_.TabImageCopy(slot_, j, plan.imageSize)
                                     : faces_.KeyImageCopy(slot_, KeyOf(j), plan.imageSize);
  }
  if (image.handle)
    SetButtonImage(j, image);
  else
    RemoveButtonImage(j);
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

}  // namespace qv
