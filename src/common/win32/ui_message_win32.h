// The program's message boxes: a UiMessage of the portable flows shown with MessageBoxW.
#pragma once

#include <windows.h>

#include "common/ui_message.h"

namespace qv {

// Shows `message` over `owner` (null: no owner) with its icon, buttons and default button, and
// `extraStyle` (MB_TOPMOST, MB_TASKMODAL) besides. The button pressed (kMessageOk, kMessageYes,
// kMessageNo); 0 when the box could not be shown.
int ShowUiMessage(HWND owner, const UiMessage& message, UINT extraStyle = 0);

}  // namespace qv
