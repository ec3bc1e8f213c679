#include "softkbd/soft_keyboard_start.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(SoftKeyboardStart, PagedKeyPadsStartOnTheirActivePage) {
  EXPECT_EQ(InitialPage(true, true, 3), 2);
  EXPECT_EQ(InitialPage(true, true, 6), 5);
  for (std::uint8_t answer : {0, 7, 255}) EXPECT_EQ(InitialPage(true, true, answer), 0);
  EXPECT_EQ(InitialPage(true, false, 3), 0);
  EXPECT_EQ(InitialPage(false, true, 3), 0);
}

TEST(SoftKeyboardStart, InfoIconsStackUpwardsAndNamesCarryTheKeyPad) {
  const ScreenRect work{0, 0, 1280, 984};
  EXPECT_EQ(InfoIconRect(work, 0), (ScreenRect{1184, 886, 1232, 934}));
  EXPECT_EQ(InfoIconRect(work, 2).top, InfoIconRect(work, 0).top - 100);

  char16_t name[kPathChars];
  ASSERT_TRUE(SoftKeyboardClassName(u"QV_PADCONF_LUMICON", 0xB5B50777, 7, name));
  EXPECT_EQ(BoundedView(name), u"QV_PADCONF_LUMICON_B5B50777000007");
  const std::u16string longPrefix(kPathChars - 10, u'x');
  EXPECT_FALSE(SoftKeyboardClassName(longPrefix, 1, 2, name));
  EXPECT_EQ(name[0], u'\0');
  char16_t title[64];
  SoftKeyboardTitle(0x0100130D, title);
  EXPECT_EQ(BoundedView(title), u"ルミナソフトキーボード (0100130D)");
  // The keyboard's serial line and the info icon's digits, which must fit its 48 pixels.
  char16_t serial[32];
  SerialText(123, serial);
  EXPECT_EQ(BoundedView(serial), u"# 000123");
  InfoIconSerialText(123, serial);
  EXPECT_EQ(BoundedView(serial), u"000123");
}

}  // namespace
}  // namespace qv
