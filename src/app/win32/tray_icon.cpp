#include "app/win32/tray_icon.h"

#include "app/shell_commands.h"
#include "common/bounded_text.h"
#include "common/ids.h"
#include "common/win32/wide.h"
#include "resource.h"

namespace qv {

bool TrayIcon::Add(HWND window, HINSTANCE instance, const wchar_t* tooltip) {
  Delete();
  icon_.reset(static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
  record_ = NOTIFYICONDATAW{};
  record_.cbSize = sizeof record_;
  record_.hWnd = window;
  record_.uID = kTrayIconId;
  record_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  record_.uCallbackMessage = kTrayNotifyMessage;
  record_.hIcon = icon_.get();
  if (tooltip) {
    BoundedCopy(Utf16(record_.szTip), sizeof record_.szTip / sizeof record_.szTip[0],
                BoundedView(Utf16(tooltip), 128));
  }
  return AddWithRetries();
}

bool TrayIcon::AddAgain() {
  if (record_.hWnd == nullptr) return false;
  return AddWithRetries();
}

bool TrayIcon::AddWithRetries() {
  SetLastError(0);
  added_ = Shell_NotifyIconW(NIM_ADD, &record_) != FALSE;
  // The shell may be busy (for example still starting): it then answers with a time-out.
  while (!added_ && GetLastError() == kErrorTimeout) {
    Sleep(kTrayRetryMs);
    SetLastError(0);
    if (Shell_NotifyIconW(NIM_MODIFY, &record_)) {
      added_ = true;
      break;
    }
    SetLastError(0);
    added_ = Shell_NotifyIconW(NIM_ADD, &record_) != FALSE;
  }
  return added_;
}

void TrayIcon::Delete() {
  if (!added_) return;
  NOTIFYICONDATAW record = {};
  record.cbSize = sizeof record;
  record.hWnd = record_.hWnd;
  record.uID = record_.uID;
  Shell_NotifyIconW(NIM_DELETE, &record);
  added_ = false;
}

}  // namespace qv
