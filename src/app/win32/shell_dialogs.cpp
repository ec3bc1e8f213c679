#include "app/win32/shell_dialogs.h"

#include <vector>

#include "app/shell_commands.h"
#include "app/startup.h"
#include "common/bounded_text.h"
#include "common/win32/wide.h"
#include "common/win32/window_proc.h"
#include "resource.h"

namespace qv {
namespace {

// Dialog 103, over the program's paths, whose file carries the version information.
struct AboutDialog {
  const ProgramPaths& paths;

  void ShowVersion(HWND dialog) const {
    const wchar_t* path = Wide(paths.programPath);
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0) return;
    std::vector<BYTE> block(size * 2);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoLength = 0;
    if (GetFileVersionInfoW(path, 0, size, block.data()) &&
        VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &infoLength) && info &&
        infoLength >= sizeof(VS_FIXEDFILEINFO)) {
      char16_t text[16];
      FormatFileVersion(info->dwFileVersionMS, info->dwFileVersionLS, text, 16);
      SetDlgItemTextW(dialog, IDC_VERSION_TEXT, Wide(text));
    }
  }

  INT_PTR HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
      case WM_INITDIALOG:
        ShowVersion(dialog);
        return TRUE;
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
};

}  // namespace

void RunAboutDialog(HINSTANCE instance, HWND owner, const ProgramPaths& paths) {
  AboutDialog state{paths};
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUT), owner, DialogProcOf<AboutDialog>,
                  reinterpret_cast<LPARAM>(&state));
}

}  // namespace qv
