// The shell's own message texts.
#pragma once

#include <string_view>

namespace qv {

inline constexpr std::u16string_view kExitConfirmTitle = u"終了確認";
inline constexpr std::u16string_view kExitConfirmText =
    u"アプリケーションを終了します。\n再認証が必要な場合はアプリケーションを起動し直す必要がありま"
    u"す。\n"
    u"終了してよろしいですか？";

}  // namespace qv
