// What each soft keyboard button is made as and what it shows on a page.
#include "softkbd/soft_key_buttons.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

// Half a cell per character at the font's height (or its width when set): enough for a fit.
MeasureText Measure() {
  return [](const CaptionFont& font, std::u16string_view line) {
    const std::int32_t em = font.width ? 2 * font.width : font.height;
    return TextExtent{static_cast<std::int32_t>(line.size()) * em / 2, font.height};
  };
}
MeasureText MeasureNothing() {
  return [](const CaptionFont&, std::u16string_view) { return TextExtent{}; };
}

ButtonFaceInput Key(bool paged, int page, int button) {
  ButtonFaceInput input;
  input.paged = paged;
  input.page = page;
  input.button = button;
  input.cellLabel = u"7";  // the label of every cell here
  input.assetsLoaded = true;
  input.size = {60, 40};
  return input;
}

std::u16string Text(const ButtonFacePlan& plan) {
  return std::u16string(plan.text.view());
}

TEST(SoftKeyButtons, TabsAreRadioButtonsDrawnPushedAndEveryButtonIsMultiLine) {
  for (int j : {0, 5}) {
    EXPECT_EQ(SoftKeyButtonStyle(true, j),
              kButtonMultiline | kButtonImage | kButtonPushLike | kButtonAutoRadio);
  }
  EXPECT_EQ(SoftKeyButtonStyle(true, 6), kButtonMultiline | kButtonImage);
  EXPECT_EQ(SoftKeyButtonStyle(false, 0), kButtonMultiline | kButtonImage);
}

TEST(SoftKeyButtons, AKeyShowsItsNumberInTheSharedFontOrItsCaptionInAFittedOne) {
  // No caption: the number, in the keys' shared font.
  ButtonFacePlan plan = PlanButtonFace(Key(true, 1, 6), Measure());
  EXPECT_TRUE(plan.shown);
  EXPECT_EQ(Text(plan), u"25");
  EXPECT_EQ(plan.font, ButtonFont::kShared);
  EXPECT_FALSE(plan.image);
  // A single-page keyboard shows its cell's label.
  EXPECT_EQ(Text(PlanButtonFace(Key(false, 0, 6), Measure())), u"7");

  // A caption: split after four characters, in a font fitted to the button.
  ButtonFaceInput captioned = Key(false, 0, 3);
  captioned.caption = u"コピー貼り付け";
  plan = PlanButtonFace(captioned, Measure());
  EXPECT_EQ(Text(plan), u"コピー貼\nり付け");
  EXPECT_EQ(plan.font, ButtonFont::kFitted);
  ASSERT_TRUE(plan.fittedFont);
  EXPECT_EQ(plan.fittedFont->face, kKeyFont.face);

  // Not measurable: the shared font, never a font that may be gone.
  plan = PlanButtonFace(captioned, MeasureNothing());
  EXPECT_EQ(plan.font, ButtonFont::kShared);
  EXPECT_EQ(Text(plan), u"コピー貼\nり付け");

  // Until the slot's assets are loaded, a caption does not count.
  captioned.assetsLoaded = false;
  captioned.hasImage = true;
  plan = PlanButtonFace(captioned, Measure());
  EXPECT_EQ(Text(plan), u"7");
  EXPECT_EQ(plan.font, ButtonFont::kShared);
  EXPECT_FALSE(plan.image);
}

TEST(SoftKeyButtons, AnImageIsShownSquareFourPixelsInsideTheButton) {
  ButtonFaceInput input = Key(false, 0, 0);
  input.hasImage = true;
  input.caption = u"AB";   // an image goes before a caption
  input.size = {120, 30};  // a wide, low keyboard
  ButtonFacePlan plan = PlanButtonFace(input, Measure());
  EXPECT_TRUE(plan.image);
  EXPECT_EQ(plan.imageSize, 22);
  input.size = {30, 120};
  EXPECT_EQ(PlanButtonFace(input, Measure()).imageSize, 22);
  // A page tab with a picture shows it too.
  ButtonFaceInput tab = Key(true, 0, 2);
  tab.hasImage = true;
  EXPECT_TRUE(PlanButtonFace(tab, Measure()).image);
}

TEST(SoftKeyButtons, APageTabShowsItsCaptionOrItsNumberInTheTabFont) {
  ButtonFaceInput tab = Key(true, 4, 2);
  ButtonFacePlan plan = PlanButtonFace(tab, Measure());
  EXPECT_EQ(Text(plan), u"P3");
  EXPECT_EQ(plan.font, ButtonFont::kFitted);
  ASSERT_TRUE(plan.fittedFont);
  EXPECT_EQ(plan.fittedFont->face, kTabFont.face);
  tab.caption = u"編集";
  EXPECT_EQ(Text(PlanButtonFace(tab, Measure())), u"編集");
  // A tab that could not be measured keeps its own font: it never has the keys' shared one.
  EXPECT_EQ(PlanButtonFace(tab, MeasureNothing()).font, ButtonFont::kKeep);
  // Nothing for a button outside the grid.
  EXPECT_FALSE(PlanButtonFace(Key(true, 0, 30), Measure()).shown);
  EXPECT_FALSE(PlanButtonFace(Key(false, 0, -1), Measure()).shown);
}

}  // namespace
}  // namespace qv
