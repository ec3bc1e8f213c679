// How qv-padctl starts the tray program again after closing it for a run. The tray program runs
// for the rest of the logon with the rights it was started with: started from an elevated prompt
// with the tool's own token it would stay elevated, and with over-the-shoulder elevation it would
// run as the administrator's account with that account's settings. It must come back with the
// desktop's rights: those of the desktop shell, or where there is none, those the closed tray
// program itself had.
#pragma once

namespace qv {

enum class RestartRoute {
  kToolsOwnToken,   // the tool runs with the desktop's rights: its own token serves
  kDesktopToken,    // started with a token of the desktop's (the shell's or the closed program's)
  kLeaveToTheUser,  // no such token to be had: not started, the user is told how to start it
};

struct DesktopRights {
  bool known = false;        // a shell or the closed program gave their token's user and elevation
  bool sameUser = false;     // the tool runs as that user
  bool elevated = false;     // that token is elevated
  bool tokenUsable = false;  // it could be taken for a new process
};

RestartRoute ChooseRestartRoute(bool toolElevated, const DesktopRights& desktop);

}  // namespace qv
