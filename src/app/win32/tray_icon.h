// The notification-area icon of the main window: it owns its icon image, adds, modifies and
// deletes itself, and adds itself again when the shell announces that it has restarted
// ("TaskbarCreated"), so the icon and its menu do not vanish for good with a restarted shell.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include "common/win32/owned.h"

namespace qv {

class TrayIcon {
 public:
  TrayIcon() = default;
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;
  ~TrayIcon() { Delete(); }

  // Adds the icon (id 1, callback kTrayNotifyMessage, icon 107 at 16 x 16, the tooltip) for
  // `window`. While the shell answers with ERROR_TIMEOUT it waits 1 s, tries NIM_MODIFY and then
  // NIM_ADD again; any other failure leaves the program without an icon. True when it is there.
  bool Add(HWND window, HINSTANCE instance, const wchar_t* tooltip);
  // The shell restarted: adds the same icon again.
  bool AddAgain();
  // Removes the icon from the notification area (nothing when it is not there).
  void Delete();
  // The message the shell broadcasts when it (re)starts; 0 when it could not be registered.
  UINT taskbarCreatedMessage() const { return taskbarCreated_; }

 private:
  bool AddWithRetries();

  NOTIFYICONDATAW record_{};
  OwnedIcon icon_;
  UINT taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
  bool added_ = false;
};

}  // namespace qv
