// When the soft keyboards' hot-key hook is put in and taken away.
#include "softkbd/hot_key_hook_lifetime.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(HotKeyHookLifetime, FromTheFirstKeyboardUntilTheLastAndBackAfterTheSession) {
  HotKeyHookLifetime hook;
  EXPECT_FALSE(hook.OnSessionBack());  // no keyboard: nothing to put back
  EXPECT_TRUE(hook.OnKeyboardCreated());
  EXPECT_TRUE(hook.OnKeyboardCreated());
  EXPECT_TRUE(hook.OnSessionBack());
  // One of two keyboards closes: the other keeps its hot key, also after an unlock.
  EXPECT_FALSE(hook.OnKeyboardDestroyed());
  EXPECT_TRUE(hook.OnSessionBack());
  EXPECT_TRUE(hook.OnKeyboardDestroyed());
  EXPECT_FALSE(hook.OnSessionBack());
  // A destroy more than were created never leaves a later keyboard without its hook.
  EXPECT_FALSE(hook.OnKeyboardDestroyed());
  EXPECT_TRUE(hook.OnKeyboardCreated());
  EXPECT_TRUE(hook.OnKeyboardDestroyed());
}

}  // namespace
}  // namespace qv
