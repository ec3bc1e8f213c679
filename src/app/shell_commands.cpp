#include "app/shell_commands.h"

#include "common/bounded_text.h"

namespace qv {

std::uint16_t CommandForTrayMenuButton(int buttonId) {
  switch (buttonId) {
    case 1019:
      return kCommandAuthenticateAgain;
    case 1020:
      return kCommandLock;
    case 1021:
      return kCommandKeyCodeSettings;
    case 1022:
      return kCommandPasswordSetting;
    case 1023:
      return kCommandFactoryReset;
    default:
      return 0;
  }
}

ConsoleChange DecideConsoleChange(std::uint32_t event, std::uint32_t session,
                                  std::uint32_t activeConsoleSession) {
  ConsoleChange change;
  switch (event) {
    case 1:  // console connected
      change.setActive = true;
      break;
    case 2:  // console disconnected
      change.setInactive = change.closeOwnedWindows = true;
      break;
    case 7:  // session locked: only the console's own session counts
      if (session == activeConsoleSession) change.setInactive = change.closeOwnedWindows = true;
      break;
    case 8:  // session unlocked
      if (session == activeConsoleSession) change.setActive = true;
      break;
    default:
      break;
  }
  return change;
}

void FormatFileVersion(std::uint32_t versionMs, std::uint32_t versionLs, char16_t* dest,
                       std::size_t capacity) {
  // A release's build word is 0 and not shown: the about box says "1.0.0" as the installer,
  // the package names and qv-padctl --version do.
  const int build = static_cast<int>(versionLs & 0xFFFF);
  BoundedFormat(dest, capacity, build == 0 ? u"%d.%d.%d" : u"%d.%d.%d.%d",
                {static_cast<int>(versionMs >> 16), static_cast<int>(versionMs & 0xFFFF),
                 static_cast<int>(versionLs >> 16), build});
}

}  // namespace qv
