// The shell's own dialogs.
#pragma once

#include <windows.h>

namespace qv {

// Dialog procedure of the about box (dialog 103): shows the program file's version. The dialog's
// parameter is the program's ProgramPaths.
INT_PTR CALLBACK AboutDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace qv
