#include "common/bounded_text.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

std::u16string Text(const char16_t* buffer) {
  return std::u16string(buffer);
}

TEST(BoundedFormat, ConversionsWidthsAndPercent) {
  char16_t out[64];
  EXPECT_TRUE(BoundedFormat(out, u"%06u%s|%04x|%08x|%d|%%|%X",
                            {123u, u" (Merla)", 0x130du, 0x0100130du, -5, 0xabu}));
  EXPECT_EQ(Text(out), u"000123 (Merla)|130d|0100130d|-5|%|AB");
  // "%s\\%08x&%08x": the soft keyboard's registry sub-key form.
  EXPECT_TRUE(BoundedFormat(out, u"%s\\%08x&%08x", {u"SoftKeyboardWindow_100", 0xB4B4074Fu, 42u}));
  EXPECT_EQ(Text(out), u"SoftKeyboardWindow_100\\b4b4074f&0000002a");
}

TEST(BoundedFormat, CutsToDestinationAndAlwaysTerminates) {
  char16_t out[8];
  for (char16_t& c : out) c = u'#';
  EXPECT_FALSE(BoundedFormat(out, u"%s-%u", {u"abcdef", 12345u}));
  EXPECT_EQ(Text(out), u"abcdef-");  // 7 characters and the terminator
  char16_t one[1] = {u'#'};
  EXPECT_FALSE(BoundedFormat(one, u"x", {}));
  EXPECT_EQ(one[0], 0);
  // Writes nothing at all for a zero capacity.
  char16_t untouched = u'#';
  EXPECT_FALSE(BoundedFormat(&untouched, 0, u"x", {}));
  EXPECT_EQ(untouched, u'#');
}

TEST(BoundedFormat, MissingOrMismatchedArgumentsProduceNothing) {
  char16_t out[32];
  EXPECT_TRUE(BoundedFormat(out, u"a%sb%uc", {}));
  EXPECT_EQ(Text(out), u"abc");
  EXPECT_TRUE(BoundedFormat(out, u"[%u][%s]", {u"text", 7u}));
  EXPECT_EQ(Text(out), u"[][]");
  EXPECT_TRUE(BoundedFormat(out, u"%q%", {}));
  EXPECT_EQ(Text(out), u"%q%");
}

TEST(BoundedCopy, CutsAndReportsIt) {
  char16_t out[4];
  EXPECT_TRUE(BoundedCopy(out, u"abc"));
  EXPECT_FALSE(BoundedCopy(out, u"abcd"));
  EXPECT_EQ(Text(out), u"abc");
  const char16_t unterminated[3] = {u'x', u'y', u'z'};
  EXPECT_EQ(BoundedView(unterminated), u"xyz");
}

TEST(EqualsIgnoreAsciiCase, OnlyAsciiLettersFold) {
  EXPECT_TRUE(EqualsIgnoreAsciiCase(u"/close", u"/CLOSE"));
  EXPECT_TRUE(EqualsIgnoreAsciiCase(u"pcat_106key", u"PCAT_106KEY"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase(u"/CLOSE now", u"/CLOSE"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase(u"ａ", u"Ａ"));
}

}  // namespace
}  // namespace qv
