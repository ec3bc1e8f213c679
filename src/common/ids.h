// Every id the program's parts share: commands of the main window, string table entries, dialogs
// and their controls, and (from window_messages.h) window messages and timers. Each is defined
// once; the resource script has its own #defines in res/resource.h (the resource compiler reads
// no C++), and src/common/win32/resource_ids.cpp ties each of them to the constant here.
#pragma once

#include <cstdint>

#include "common/window_messages.h"

namespace qv {

// ---------------------------------------------------------------- the main window
// Notification code of a WM_COMMAND whose key pad is chosen already: the sender has set
// selectedKeyPad, so the command runs for that key pad without the selection dialog. Sent by
// the reveal message's handling (re-authentication of a Locked key pad) and by a soft
// keyboard's menu icon (password setting for its own key pad).
inline constexpr std::uint16_t kPresetKeyPadCode = 0x1000;
// Id of the notification-area icon.
inline constexpr unsigned kTrayIconId = 1;

// ---------------------------------------------------------------- commands of the main window
inline constexpr std::uint16_t kCommandAbout = 104;
inline constexpr std::uint16_t kCommandExit = 105;
inline constexpr std::uint16_t kCommandKeyCodeSettings = 32777;
inline constexpr std::uint16_t kCommandPasswordSetting = 32778;
inline constexpr std::uint16_t kCommandFactoryReset = 32779;
inline constexpr std::uint16_t kCommandAuthenticateAgain = 32781;
inline constexpr std::uint16_t kCommandLock = 32783;
inline constexpr std::uint16_t kCommandTouchEnabled = 32804;

// ---------------------------------------------------------------- string table
inline constexpr unsigned kStringAppName = 103;            // "qv-padconf"
inline constexpr unsigned kStringProductName = 104;        // tooltip of the notification icon
inline constexpr unsigned kStringSoftKeyboardClass = 105;  // prefix of soft keyboard classes
inline constexpr unsigned kStringInfoIconClass = 106;      // prefix of info icon classes
inline constexpr unsigned kStringInstanceName = 109;       // mutex and main window class

// ---------------------------------------------------------------- resources
inline constexpr unsigned kIconApp = 107;
inline constexpr unsigned kMenuTray = 109;
inline constexpr unsigned kAcceleratorTable = 109;

// ---------------------------------------------------------------- dialogs
inline constexpr int kDialogOk = 1;      // IDOK
inline constexpr int kDialogCancel = 2;  // IDCANCEL

inline constexpr unsigned kDialogAbout = 103;
inline constexpr int kControlVersionText = 1000;

inline constexpr unsigned kDialogKeyboardSelection = 129;
inline constexpr int kControlKeyboardList = 1001;

inline constexpr unsigned kDialogPasswordPrompt = 130;
inline constexpr int kControlPassword = 1002;
inline constexpr int kControlSerialNumber = 1006;

inline constexpr unsigned kDialogPasswordRegistration = 131;
inline constexpr int kControlNewPassword = 1003;
inline constexpr int kControlConfirmPassword = 1004;

inline constexpr unsigned kDialogPasswordError = 132;
inline constexpr int kErrorDialogEnterAgain = 1004;  // "再入力"
inline constexpr int kErrorDialogInitialise = 1005;  // "初期化"

inline constexpr unsigned kDialogTrayMenu = 137;
inline constexpr int kTrayDialogReauthenticate = 1019;
inline constexpr int kTrayDialogLock = 1020;
inline constexpr int kTrayDialogKeyCodes = 1021;
inline constexpr int kTrayDialogPassword = 1022;
inline constexpr int kTrayDialogFactoryReset = 1023;
inline constexpr int kTrayDialogTouch = 1044;

inline constexpr unsigned kDialogSoftKeyMenu = 173;
inline constexpr int kSoftKeyMenuLock = 1020;
inline constexpr int kSoftKeyMenuPassword = 1022;
inline constexpr int kSoftKeyMenuSettingsLocked = 1042;

// The key-code list view of the key-code dialogs.
inline constexpr int kKeyCodeListId = 1007;

// Key-code settings, extended settings and key check.
inline constexpr unsigned kDialogKeyCodeSettings = 134;
inline constexpr int kControlKeyInput = 1008;          // "キー入力"
inline constexpr int kControlImport = 1021;            // "インポート"
inline constexpr int kControlExport = 1022;            // "エクスポート"
inline constexpr int kControlExtendedSettings = 1023;  // "拡張設定…"
inline constexpr int kControlKeyButtonTemplate = 1500;
inline constexpr unsigned kDialogKeyCheck = 166;
inline constexpr int kControlKeyNumber = 1018;  // "Key #" of dialogs 135 and 166
inline constexpr unsigned kDialogExtendedSettings = 169;
inline constexpr int kControlBuzzerLarge = 1037;
inline constexpr int kControlBuzzerSmall = 1038;
inline constexpr int kControlBuzzerOff = 1039;
inline constexpr int kControlInterfacePs2 = 1040;
inline constexpr int kControlInterfaceUsb = 1041;
inline constexpr int kControlInterfaceGroup = 1043;

// The image (163) and caption (164) dialogs of a soft key or page button.
inline constexpr unsigned kDialogSoftKeyImage = 163;
inline constexpr int kSoftKeyImagePreview = 1035;  // "クリックしてイメージを選択"
inline constexpr int kSoftKeyImageBrowse = 1031;   // "参照…", hidden
inline constexpr int kSoftKeyImageDelete = 3;      // "イメージ削除"
inline constexpr unsigned kDialogSoftKeyText = 164;
inline constexpr int kSoftKeyTextCaption = 1033;

// ---------------------------------------------------------------- key input and shortcut list
inline constexpr unsigned kDialogKeyInput = 135;
inline constexpr int kKeyInputShortcuts = 1009;  // "ショートカットキー"
inline constexpr int kKeyInputDefault = 1010;    // "初期設定"
inline constexpr int kKeyInputClear = 1011;      // "消去"
inline constexpr int kKeyInputRepeat1 = 1020;
inline constexpr int kKeyInputDelay1 = 1021;
inline constexpr int kKeyInputDelay2 = 1022;
inline constexpr int kKeyInputDelay3 = 1023;
inline constexpr int kKeyInputHankaku = 1024;   // "半角/全角"
inline constexpr int kKeyInputKatakana = 1025;  // "カタカナひらがな"
inline constexpr int kKeyInputRepeat2 = 1026;

inline constexpr unsigned kDialogShortcuts = 136;
inline constexpr int kShortcutListId = 1017;

// ---------------------------------------------------------------- soft keyboard header bitmaps
inline constexpr unsigned kBitmapSoftKeyboardLogo = 139;  // 120 x 30 word mark
inline constexpr unsigned kBitmapCloseIcon = 141;         // 48 x 48 each, normal look first
inline constexpr unsigned kBitmapCloseIconHover = 142;
inline constexpr unsigned kBitmapCloseIconPressed = 143;
inline constexpr unsigned kBitmapHideIcon = 145;
inline constexpr unsigned kBitmapHideIconHover = 146;
inline constexpr unsigned kBitmapMenuIcon = 171;
inline constexpr unsigned kBitmapMenuIconHover = 172;

}  // namespace qv
