// The soft keyboard's 30 buttons as controls: the style each is made with, and what each shows
// on a page: its user image, its caption in a font fitted to it, or its number in the keys'
// shared caption font. The window side measures the text and carries the plan out.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "softkbd/caption_fit.h"
#include "softkbd/layout.h"

namespace qv {

// ---------------------------------------------------------------- creation
// The style of a button as the soft keyboard makes it; the window side maps each flag to the
// system's button style.
enum ButtonStyleFlag : unsigned {
  kButtonMultiline = 1u << 0,  // a caption longer than four characters shows on two lines
  kButtonImage = 1u << 1,      // may show an image instead of its text
  kButtonPushLike = 1u << 2,   // drawn as a push button whatever its kind
  kButtonAutoRadio = 1u << 3,  // one of a group of which exactly one is checked
};
// Every button is multi-line and may show an image; the page tabs of a paged keyboard are radio
// buttons drawn as push buttons, so the current page's tab stays pushed in.
unsigned SoftKeyButtonStyle(bool paged, int button);

// ---------------------------------------------------------------- faces
// How a button's text font is chosen.
enum class ButtonFont {
  kKeep,    // a page tab whose caption could not be measured keeps the font it has
  kShared,  // the keys' shared caption font (a key without a caption, or one not measured)
  kFitted,  // a font fitted to this button's caption
};

// What one button is to show.
struct ButtonFacePlan {
  bool shown = false;  // false: the button shows nothing of this keyboard's keys (out of range)
  DisplayText text;    // the text under the image, or the text alone
  ButtonFont font = ButtonFont::kKeep;
  std::optional<CaptionFont> fittedFont;  // with kFitted
  // With an image, the button shows the image instead of its text, scaled to imageSize square.
  bool image = false;
  std::int32_t imageSize = 0;
};

// What the window knows of one button: its place on the keyboard, its client size and the
// user's caption and image of the key or page it shows now.
struct ButtonFaceInput {
  bool paged = false;
  int page = 0;  // the page the keyboard shows
  int button = 0;
  std::u16string_view cellLabel;  // the layout cell's number label
  bool assetsLoaded = false;      // until the slot's images and captions are loaded, none count
  std::u16string_view caption;    // the key's or page tab's caption; empty when it has none
  bool hasImage = false;          // the key or page tab has a user image
  ButtonSize size;                // the button's client size
};

// The image of a button is square, 4 pixels inside its client area on every side: the smaller
// of its width and height less 8.
std::int32_t ButtonImageSize(ButtonSize size);

// The face of one button: a page tab shows its caption or "P<n>" in a font fitted to it; a key
// shows its caption in a font fitted to it, or its number in the shared caption font; either
// shows its user image instead when it has one.
ButtonFacePlan PlanButtonFace(const ButtonFaceInput& input, const MeasureText& measure);

}  // namespace qv
