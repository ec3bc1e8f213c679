// The notification-area icon and the shell's own dialogs.
#pragma once

#include <windows.h>

namespace qv {

// Adds the icon (id 1, callback kTrayNotifyMessage, icon 107 at 16 x 16, tooltip); while the
// shell answers with ERROR_TIMEOUT it waits 1 s, tries NIM_MODIFY and then NIM_ADD again. Any
// other failure leaves the program without an icon. True when the icon is there.
bool AddTrayIcon(HWND window, HINSTANCE instance, const wchar_t* tooltip);
void DeleteTrayIcon(HWND window);

// Dialog procedure of the about box (dialog 103): shows the program file's version.
INT_PTR CALLBACK AboutDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace qv
