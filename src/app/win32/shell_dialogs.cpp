#include "app/win32/shell_dialogs.h"

#include <shellapi.h>

#include <vector>

#include "app/shell_commands.h"
#include "app/win32/application.h"
#include "common/bounded_text.h"
#include "common/win32/wide.h"
#include "resource.h"

namespace qv {
namespace {

NOTIFYICONDATAW IconRecord(HWND window, HINSTANCE instance, const wchar_t* tooltip) {
  NOTIFYICONDATAW record = {};
  record.cbSize = sizeof record;
  record.hWnd = window;
  record.uID = 1;
  record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  record.uCallbackMessage = kTrayNotifyMessage;
  record.hIcon = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
  if (tooltip) {
    BoundedCopy(Utf16(record.szTip), sizeof record.szTip / sizeof record.szTip[0],
                BoundedView(Utf16(tooltip), 128));
  }
  return record;
}

}  // namespace

bool AddTrayIcon(HWND window, HINSTANCE instance, const wchar_t* tooltip) {
  NOTIFYICONDATAW record = IconRecord(window, instance, tooltip);
  SetLastError(0);
  if (Shell_NotifyIconW(NIM_ADD, &record)) return true;
  // The shell may be busy (for example still starting): it then answers with a time-out.
  while (GetLastError() == kErrorTimeout) {
    Sleep(kTrayRetryMs);
    SetLastError(0);
    if (Shell_NotifyIconW(NIM_MODIFY, &record)) return true;
    SetLastError(0);
    if (Shell_NotifyIconW(NIM_ADD, &record)) return true;
  }
  return false;
}

void DeleteTrayIcon(HWND window) {
  NOTIFYICONDATAW record = {};
  record.cbSize = sizeof record;
  record.hWnd = window;
  record.uID = 1;
  Shell_NotifyIconW(NIM_DELETE, &record);
}

INT_PTR CALLBACK AboutDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      const wchar_t* path = Wide(TheApplication().shell.paths.programPath);
      DWORD ignored = 0;
      DWORD size = GetFileVersionInfoSizeW(path, &ignored);
      if (size != 0) {
        std::vector<BYTE> block(size * 2);
        VS_FIXEDFILEINFO* info = nullptr;
        UINT infoLength = 0;
        if (GetFileVersionInfoW(path, 0, size, block.data()) &&
            VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &infoLength) &&
            info && infoLength >= sizeof(VS_FIXEDFILEINFO)) {
          char16_t text[16];
          FormatFileVersion(info->dwFileVersionMS, info->dwFileVersionLS, text, 16);
          SetDlgItemTextW(dialog, IDC_VERSION_TEXT, Wide(text));
        }
      }
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace qv
