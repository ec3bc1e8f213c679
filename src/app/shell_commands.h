// The tray window's portable decisions: commands, console notifications, the about box's text.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/ids.h"

namespace qv {

// The command a button of the main menu dialog stands for, or 0 for none.
std::uint16_t CommandForTrayMenuButton(int buttonId);

// What a console notification (WM_WTSSESSION_CHANGE) does to the shell.
struct ConsoleChange {
  bool setInactive = false;        // consoleInactive = 1
  bool setActive = false;          // consoleInactive = 0
  bool closeOwnedWindows = false;  // close every open dialog of the main window
};
// `activeConsoleSession` is the active console session id, or -1 (all bits set) when unknown.
ConsoleChange DecideConsoleChange(std::uint32_t event, std::uint32_t session,
                                  std::uint32_t activeConsoleSession);

// The file version "%d.%d.%d" from the two most and least significant version words, with the
// build word as a fourth number when it is not 0.
void FormatFileVersion(std::uint32_t versionMs, std::uint32_t versionLs, char16_t* dest,
                       std::size_t capacity);

// How the notification-area icon is added: retried after 1 s while the shell answers with a
// time-out (ERROR_TIMEOUT), given up on any other failure.
inline constexpr std::uint32_t kErrorTimeout = 1460;
inline constexpr std::uint32_t kTrayRetryMs = 1000;

}  // namespace qv
