// The tray window's portable decisions.
#include <gtest/gtest.h>

#include <string>

#include "app/shell_commands.h"

namespace qv {
namespace {

TEST(ShellCommands, MainMenuButtonsMapToCommands) {
  EXPECT_EQ(CommandForTrayMenuButton(1019), kCommandAuthenticateAgain);
  EXPECT_EQ(CommandForTrayMenuButton(1020), kCommandLock);
  EXPECT_EQ(CommandForTrayMenuButton(1021), kCommandKeyCodeSettings);
  EXPECT_EQ(CommandForTrayMenuButton(1022), kCommandPasswordSetting);
  EXPECT_EQ(CommandForTrayMenuButton(1023), kCommandFactoryReset);
  EXPECT_EQ(CommandForTrayMenuButton(1), 0);
  EXPECT_EQ(CommandForTrayMenuButton(2), 0);
}

TEST(ShellCommands, ConsoleNotifications) {
  const std::uint32_t kUnknown = 0xFFFFFFFFu;
  ConsoleChange change = DecideConsoleChange(2, 5, kUnknown);  // disconnect: any session
  EXPECT_TRUE(change.setInactive && change.closeOwnedWindows && !change.setActive);
  change = DecideConsoleChange(1, 5, kUnknown);
  EXPECT_TRUE(change.setActive && !change.setInactive);
  // Lock and unlock count only for the active console session.
  change = DecideConsoleChange(7, 3, 3);
  EXPECT_TRUE(change.setInactive && change.closeOwnedWindows);
  change = DecideConsoleChange(7, 4, 3);
  EXPECT_FALSE(change.setInactive || change.closeOwnedWindows);
  change = DecideConsoleChange(8, 3, 3);
  EXPECT_TRUE(change.setActive);
  change = DecideConsoleChange(8, 3, kUnknown);
  EXPECT_FALSE(change.setActive);
  change = DecideConsoleChange(5, 3, 3);  // log-on and others: nothing
  EXPECT_FALSE(change.setActive || change.setInactive || change.closeOwnedWindows);
}

TEST(ShellCommands, FileVersionText) {
  char16_t text[16];
  FormatFileVersion(0x00010000, 0x00000000, text, 16);
  EXPECT_EQ(std::u16string(text), u"1.0.0");
  FormatFileVersion(0x00010002, 0x00030004, text, 16);
  EXPECT_EQ(std::u16string(text), u"1.2.3.4");
  FormatFileVersion(0xFFFFFFFF, 0xFFFFFFFF, text, 16);  // cut to the 16-character buffer
  EXPECT_EQ(std::u16string(text), u"65535.65535.655");
}

}  // namespace
}  // namespace qv
