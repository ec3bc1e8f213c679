// The shell's own message texts.
#pragma once

#include "access/access_control.h"

namespace qv {

// The exit command asks first; No is the default answer.
inline constexpr AccessMessage kExitConfirmationMessage{
    u"終了確認",
    u"アプリケーションを終了します。\n再認証が必要な場合はアプリケーションを起動し直す必要がありま"
    u"す"
    u"。\n終了してよろしいですか？",
    MessageIcon::kWarning, MessageButtons::kYesNo, true};

}  // namespace qv
