#include "common/win32/ui_message_win32.h"

#include <string>

#include "common/win32/wide.h"

namespace qv {

static_assert(kMessageBoxIconError == MB_ICONERROR);
static_assert(kMessageBoxIconWarning == MB_ICONWARNING);
static_assert(kMessageBoxIconInformation == MB_ICONINFORMATION);
static_assert(kMessageBoxYesNo == MB_YESNO && MB_OK == 0);
static_assert(kMessageBoxDefaultSecond == MB_DEFBUTTON2);
static_assert(kMessageOk == IDOK && kMessageYes == IDYES && kMessageNo == IDNO);

int ShowUiMessage(HWND owner, const UiMessage& message, UINT extraStyle) {
  // The views of a message need not end in a terminating zero.
  const std::wstring title = WideString(message.title);
  const std::wstring text = WideString(message.text);
  return MessageBoxW(owner, text.c_str(), title.c_str(),
                     static_cast<UINT>(MessageBoxStyle(message)) | extraStyle);
}

}  // namespace qv
