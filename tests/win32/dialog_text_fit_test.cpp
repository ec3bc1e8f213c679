// Every dialog of the resource script shows its texts whole: each static text, push button,
// check box and radio button is measured in the dialog's own font and must fit its control,
// every control must lie inside its dialog and no two controls may cover each other. The dialogs
// are found by enumerating the module's dialog resources, so a dialog added later is checked too.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/win32/owned.h"

namespace qv {
namespace {

// The dialogs are laid out for Meiryo; under Wine they are measured in IPAGothic, which replaces
// it. Meiryo's glyphs are a little wider, so a single line must fit with a tenth of its width to
// spare, and a wrapped text is wrapped at a tenth less than its control's width. Meiryo's lines
// are also notably taller (about 1.3 to 1.5 times at the same em size): a wrapped text must fit
// with 35 % of its height to spare. A single line needs no height margin, because a dialog unit
// is an eighth of the dialog font's own line height, so a control's height grows with the font.
constexpr int kWidthMarginPercent = 110;
constexpr int kWrappedHeightMarginPercent = 135;

// Room that a button's frame and focus rectangle take on each side, and the gap between a check
// box's (or radio button's) glyph and its text.
constexpr int kButtonFramePixels = 4;
constexpr int kCheckGlyphGapPixels = 6;

struct DialogName {
  WORD id = 0;        // a numeric id, or 0 for a named dialog
  std::wstring name;  // the name of a named dialog
  LPCWSTR resource() const { return id != 0 ? MAKEINTRESOURCEW(id) : name.c_str(); }
};

// ASCII as it is, other characters as <code point>.
std::string Printable(const std::wstring& text) {
  std::string out;
  char unit[12];
  for (wchar_t c : text) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      std::snprintf(unit, sizeof unit, "<%04X>", static_cast<unsigned>(c));
      out += unit;
    }
  }
  return out;
}

std::string Describe(const DialogName& dialog) {
  if (dialog.id != 0) return "dialog " + std::to_string(dialog.id);
  return "dialog \"" + Printable(dialog.name) + "\"";
}

// The first characters of a text as code points, since Japanese text does not print here.
std::string Hex(const std::wstring& text) {
  std::string out;
  char unit[8];
  for (size_t i = 0; i < text.size() && i < 12; ++i) {
    std::snprintf(unit, sizeof unit, "%s%04X", i == 0 ? "" : " ", static_cast<unsigned>(text[i]));
    out += unit;
  }
  return text.size() > 12 ? out + " ..." : out;
}

std::vector<DialogName> DialogsOfThisModule() {
  std::vector<DialogName> dialogs;
  EnumResourceNamesW(
      GetModuleHandleW(nullptr), MAKEINTRESOURCEW(5) /* RT_DIALOG */,
      [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) -> BOOL {
        auto* list = reinterpret_cast<std::vector<DialogName>*>(found);
        if (IS_INTRESOURCE(name)) {
          list->push_back({static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)), {}});
        } else {
          list->push_back({0, name});
        }
        return TRUE;
      },
      reinterpret_cast<LONG_PTR>(&dialogs));
  return dialogs;
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

struct DialogOwnerTraits {
  using type = HWND;
  static type Invalid() { return nullptr; }
  static void Close(type window) { DestroyWindow(window); }
};
using OwnedDialog = Owned<DialogOwnerTraits>;

struct WindowDcTraits {
  using type = HDC;
  static type Invalid() { return nullptr; }
  static void Close(type dc) { ReleaseDC(nullptr, dc); }
};
using ScreenDc = Owned<WindowDcTraits>;

std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// How a control lays out its text, and the part of its client area that the text may use.
struct TextLayout {
  bool measured = false;  // false: the control shows no text of its own (icon, frame, edit...)
  bool wraps = false;
  UINT format = 0;  // DrawText flags besides DT_CALCRECT and the wrapping
  SIZE room = {};
};

TextLayout LayoutOf(HWND control) {
  const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
  RECT client = {};
  GetClientRect(control, &client);
  TextLayout layout;
  layout.room = {client.right, client.bottom};
  const std::wstring className = ClassOf(control);
  if (lstrcmpiW(className.c_str(), L"Static") == 0) {
    switch (style & SS_TYPEMASK) {
      case SS_LEFT:
      case SS_CENTER:
      case SS_RIGHT:
        layout.wraps = true;
        break;
      case SS_LEFTNOWORDWRAP:
      case SS_SIMPLE:
        break;
      default:  // icons, bitmaps, frames, rectangles, owner-drawn statics
        return layout;
    }
    layout.measured = true;
    layout.format = DT_EXPANDTABS | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
    return layout;
  }
  if (lstrcmpiW(className.c_str(), L"Button") != 0) return layout;
  if (style & (BS_BITMAP | BS_ICON)) return layout;
  bool glyph = false;
  switch (style & BS_TYPEMASK) {
    case BS_PUSHBUTTON:
    case BS_DEFPUSHBUTTON:
      break;
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
      glyph = !(style & BS_PUSHLIKE);
      break;
    default:  // group boxes, owner-drawn and user buttons
      return layout;
  }
  layout.measured = true;
  layout.wraps = (style & BS_MULTILINE) != 0;
  if (glyph) {
    layout.room.cx -= GetSystemMetrics(SM_CXMENUCHECK) + kCheckGlyphGapPixels;
  } else {
    layout.room.cx -= 2 * kButtonFramePixels;
    layout.room.cy -= 2 * kButtonFramePixels;
  }
  return layout;
}

SIZE Extent(HDC dc, const std::wstring& text, UINT format, LONG wrapWidth) {
  RECT rect = {0, 0, wrapWidth, 0};
  const UINT wrapping = wrapWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
            DT_CALCRECT | wrapping | format);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

// Whether the selected font has a glyph for every character of `text` (a font without Japanese
// glyphs would measure empty boxes and prove nothing).
bool HasAllGlyphs(HDC dc, const std::wstring& text) {
  std::vector<WORD> glyphs(text.size());
  if (GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                       GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR) {
    return false;
  }
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] >= 0x20 && glyphs[i] == 0xFFFF) return false;
  }
  return true;
}

// The reason why a control's text does not fit with the margin, or "" when it fits.
std::string WhyTextDoesNotFit(HDC dc, const std::wstring& text, const TextLayout& layout) {
  const SIZE line = Extent(dc, text, layout.format, 0);
  const SIZE& room = layout.room;
  char reason[200];
  if (line.cx * kWidthMarginPercent <= room.cx * 100) {
    if (line.cy <= room.cy) return "";
    std::snprintf(reason, sizeof reason, "its line is %ld px high, the control %ld px", line.cy,
                  room.cy);
    return reason;
  }
  if (!layout.wraps) {
    std::snprintf(
        reason, sizeof reason,
        "one line of %ld px (+%d %%) does not fit in %ld px and the control does not wrap", line.cx,
        kWidthMarginPercent - 100, room.cx);
    return reason;
  }
  const LONG wrapWidth = room.cx * 100 / kWidthMarginPercent;
  const SIZE wrapped = Extent(dc, text, layout.format, wrapWidth);
  if (wrapped.cx <= wrapWidth && wrapped.cy * kWrappedHeightMarginPercent <= room.cy * 100) {
    return "";
  }
  std::snprintf(reason, sizeof reason,
                "wrapped at %ld px it takes %ld x %ld px (+%d %% height), the control %ld x %ld px",
                wrapWidth, wrapped.cx, wrapped.cy, kWrappedHeightMarginPercent - 100, room.cx,
                room.cy);
  return reason;
}

RECT RectInDialog(HWND dialog, HWND control) {
  RECT rect = {};
  GetWindowRect(control, &rect);
  MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::string Where(const std::string& dialog, HWND control) {
  return dialog + ", control " + std::to_string(GetDlgCtrlID(control) & 0xFFFF) + " (" +
         Hex(TextOf(control)) + ")";
}

// Controls that leave their dialog's client area, or that cover one another (a group box
// frames others by design and is left out of the overlap check).
void ExpectControlsInsideAndApart(HWND dialog, const std::string& name) {
  RECT client = {};
  GetClientRect(dialog, &client);
  std::vector<HWND> placed;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const RECT rect = RectInDialog(dialog, child);
    EXPECT_TRUE(rect.left >= 0 && rect.top >= 0 && rect.right <= client.right &&
                rect.bottom <= client.bottom)
        << Where(name, child) << " reaches outside the dialog's " << client.right << " x "
        << client.bottom << " px";
    const bool groupBox = lstrcmpiW(ClassOf(child).c_str(), L"Button") == 0 &&
                          (GetWindowLongPtrW(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
    if (groupBox) continue;
    for (HWND other : placed) {
      RECT overlap = {};
      const RECT otherRect = RectInDialog(dialog, other);
      EXPECT_FALSE(IntersectRect(&overlap, &rect, &otherRect))
          << Where(name, child) << " covers " << Where(name, other);
    }
    placed.push_back(child);
  }
}

TEST(DialogTextFit, EveryTextFitsItsControlInTheDialogFont) {
  const std::vector<DialogName> dialogs = DialogsOfThisModule();
  ASSERT_FALSE(dialogs.empty()) << "no dialog resources found in the test program";
  ScreenDc dc(GetDC(nullptr));
  ASSERT_TRUE(dc);
  int checked = 0;
  TEXTMETRICW metrics = {};  // of the last dialog font, for the log
  for (const DialogName& dialogName : dialogs) {
    const std::string name = Describe(dialogName);
    OwnedDialog dialog(CreateDialogParamW(GetModuleHandleW(nullptr), dialogName.resource(), nullptr,
                                          PlainDialogProc, 0));
    ASSERT_TRUE(dialog) << name << " cannot be created";
    const auto font = reinterpret_cast<HFONT>(SendMessageW(dialog.get(), WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr) << name << " has no font of its own";
    SelectedObject selected(dc.get(), font);
    GetTextMetricsW(dc.get(), &metrics);
    ExpectControlsInsideAndApart(dialog.get(), name);
    int checkedHere = 0;
    for (HWND child = GetWindow(dialog.get(), GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT)) {
      const std::wstring text = TextOf(child);
      const TextLayout layout = LayoutOf(child);
      if (!layout.measured || text.empty()) continue;
      ASSERT_TRUE(HasAllGlyphs(dc.get(), text))
          << Where(name, child) << ": the dialog font lacks glyphs of this text (is the "
          << "Japanese font replacement of the Wine prefix in place?)";
      const std::string reason = WhyTextDoesNotFit(dc.get(), text, layout);
      EXPECT_TRUE(reason.empty()) << Where(name, child) << ": " << reason;
      ++checkedHere;
    }
    // Every dialog of the program shows some text, at least on a button; a dialog where none
    // was measured means the controls were not recognised, and the check above proved nothing.
    EXPECT_GT(checkedHere, 0) << name << ": no text was measured";
    checked += checkedHere;
  }
  std::printf("%d texts of %zu dialogs measured (line height %ld px, average width %ld px)\n",
              checked, dialogs.size(), metrics.tmHeight, metrics.tmAveCharWidth);
}

}  // namespace
}  // namespace qv
