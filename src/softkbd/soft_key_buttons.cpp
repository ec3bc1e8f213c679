#include "softkbd/soft_key_buttons.h"

#include <algorithm>

namespace qv {

unsigned SoftKeyButtonStyle(bool paged, int button) {
  unsigned style = kButtonMultiline | kButtonImage;
  if (paged && button >= 0 && button < kPageCount) style |= kButtonPushLike | kButtonAutoRadio;
  return style;
}

std::int32_t ButtonImageSize(ButtonSize size) {
  return std::min(size.width - 8, size.height - 8);
}

ButtonFacePlan PlanButtonFace(const ButtonFaceInput& input, const MeasureText& measure) {
  ButtonFacePlan plan;
  if (input.button < 0 || input.button >= kLayoutCells) return plan;
  const std::u16string_view caption = input.assetsLoaded ? input.caption : std::u16string_view{};
  TextFace face;
  if (input.paged && input.button < kPageCount) {
    face = FitTabCaption(input.button, caption, input.size, measure);
  } else {
    const int key = KeyForButton(input.paged, input.page, input.button);
    if (key < 0) return plan;
    face = FitKeyCaption(input.paged, key, input.cellLabel, caption, input.size, measure);
    // A caption that could not be measured gets the shared font too: the font the button had may
    // be a shared font that goes with this refit.
    plan.font = ButtonFont::kShared;
  }
  plan.shown = true;
  plan.text = face.text;
  if (face.font) {
    plan.font = ButtonFont::kFitted;
    plan.fittedFont = face.font;
  }
  plan.image = input.assetsLoaded && input.hasImage;
  plan.imageSize = ButtonImageSize(input.size);
  return plan;
}

}  // namespace qv
