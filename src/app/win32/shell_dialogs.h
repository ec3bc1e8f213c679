// The shell's own dialogs.
#pragma once

#include <windows.h>

namespace qv {

struct ProgramPaths;

// Runs the about box (dialog 103) owned by `owner`: it shows the version of the program's file.
void RunAboutDialog(HINSTANCE instance, HWND owner, const ProgramPaths& paths);

}  // namespace qv
