// The resource script names its ids with #defines of its own (res/resource.h); each is tied here
// to the one constant the program's code uses, so the two can never drift apart.
#include "resource.h"

#include "common/ids.h"
#include "keycode/key_code_editing.h"
#include "softkbd/soft_key_commands.h"
#include "softkbd/soft_keyboard_controls.h"

namespace qv {

static_assert(IDS_APP_NAME == kStringAppName);
static_assert(IDS_PRODUCT_NAME == kStringProductName);
static_assert(IDS_SOFT_KEYBOARD_CLASS == kStringSoftKeyboardClass);
static_assert(IDS_INFO_ICON_CLASS == kStringInfoIconClass);
static_assert(IDS_INSTANCE_NAME == kStringInstanceName);

static_assert(IDI_APP == kIconApp);
static_assert(IDR_ACCELERATORS == kAcceleratorTable);
static_assert(IDR_TRAY_MENU == kMenuTray);

static_assert(IDM_ABOUT == kCommandAbout);
static_assert(IDM_EXIT == kCommandExit);
static_assert(IDM_AUTHENTICATE_AGAIN == kCommandAuthenticateAgain);
static_assert(IDM_LOCK == kCommandLock);
static_assert(IDM_KEY_CODE_SETTINGS == kCommandKeyCodeSettings);
static_assert(IDM_PASSWORD_SETTING == kCommandPasswordSetting);
static_assert(IDM_FACTORY_RESET == kCommandFactoryReset);
static_assert(IDM_TOUCH_ENABLED == kCommandTouchEnabled);

static_assert(IDD_ABOUT == kDialogAbout);
static_assert(IDC_VERSION_TEXT == kControlVersionText);
static_assert(IDD_KEYBOARD_SELECTION == kDialogKeyboardSelection);
static_assert(IDC_KEYBOARD_LIST == kControlKeyboardList);
static_assert(IDD_PASSWORD_PROMPT == kDialogPasswordPrompt);
static_assert(IDC_PASSWORD == kControlPassword);
static_assert(IDC_SERIAL_NUMBER == kControlSerialNumber);
static_assert(IDD_PASSWORD_REGISTRATION == kDialogPasswordRegistration);
static_assert(IDC_NEW_PASSWORD == kControlNewPassword);
static_assert(IDC_CONFIRM_PASSWORD == kControlConfirmPassword);
static_assert(IDD_PASSWORD_ERROR == kDialogPasswordError);
static_assert(IDC_ENTER_AGAIN == kErrorDialogEnterAgain);
static_assert(IDC_INITIALISE == kErrorDialogInitialise);
static_assert(IDD_TRAY_MENU == kDialogTrayMenu);
static_assert(IDC_MENU_AUTHENTICATE == kTrayDialogReauthenticate);
static_assert(IDC_MENU_LOCK == kTrayDialogLock);
static_assert(IDC_MENU_KEY_CODES == kTrayDialogKeyCodes);
static_assert(IDC_MENU_PASSWORD == kTrayDialogPassword);
static_assert(IDC_MENU_RESET == kTrayDialogFactoryReset);
static_assert(IDC_MENU_TOUCH == kTrayDialogTouch);
static_assert(IDD_SOFTKEY_MENU == kDialogSoftKeyMenu);
static_assert(IDC_MENU_LOCK == kSoftKeyMenuLock);
static_assert(IDC_MENU_PASSWORD == kSoftKeyMenuPassword);
static_assert(IDC_SETTINGS_LOCKED == kSoftKeyMenuSettingsLocked);

static_assert(IDD_KEY_CODE_SETTINGS == kDialogKeyCodeSettings);
static_assert(IDC_KEY_CODE_LIST == kKeyCodeListId);
static_assert(IDC_KEY_INPUT == kControlKeyInput);
static_assert(IDC_IMPORT == kControlImport);
static_assert(IDC_EXPORT == kControlExport);
static_assert(IDC_EXTENDED_SETTINGS == kControlExtendedSettings);
static_assert(IDC_KEY_BUTTON_TEMPLATE == kControlKeyButtonTemplate);
static_assert(IDC_KEY_BUTTON_TEMPLATE == kFirstKeyButtonId);
static_assert(IDD_KEY_CHECK == kDialogKeyCheck);
static_assert(IDC_KEY_NUMBER == kControlKeyNumber);
static_assert(IDD_EXTENDED_SETTINGS == kDialogExtendedSettings);
static_assert(IDC_BUZZER_LARGE == kControlBuzzerLarge);
static_assert(IDC_BUZZER_SMALL == kControlBuzzerSmall);
static_assert(IDC_BUZZER_OFF == kControlBuzzerOff);
static_assert(IDC_INTERFACE_PS2 == kControlInterfacePs2);
static_assert(IDC_INTERFACE_USB == kControlInterfaceUsb);
static_assert(IDC_INTERFACE_GROUP == kControlInterfaceGroup);

// Dialogs 135 (key input) and 136 (shortcut list).
static_assert(IDD_KEY_INPUT == kDialogKeyInput);
static_assert(IDC_KEY_INPUT_SHORTCUTS == kKeyInputShortcuts);
static_assert(IDC_KEY_INPUT_DEFAULT == kKeyInputDefault);
static_assert(IDC_KEY_INPUT_CLEAR == kKeyInputClear);
static_assert(IDC_KEY_INPUT_REPEAT1 == kKeyInputRepeat1);
static_assert(IDC_KEY_INPUT_DELAY1 == kKeyInputDelay1);
static_assert(IDC_KEY_INPUT_DELAY2 == kKeyInputDelay2);
static_assert(IDC_KEY_INPUT_DELAY3 == kKeyInputDelay3);
static_assert(IDC_KEY_INPUT_HANKAKU == kKeyInputHankaku);
static_assert(IDC_KEY_INPUT_KATAKANA == kKeyInputKatakana);
static_assert(IDC_KEY_INPUT_REPEAT2 == kKeyInputRepeat2);
static_assert(IDD_SHORTCUTS == kDialogShortcuts);
static_assert(IDC_SHORTCUT_LIST == kShortcutListId);

static_assert(IDD_SOFTKEY_IMAGE == kDialogSoftKeyImage);
static_assert(IDC_SOFTKEY_PREVIEW == kSoftKeyImagePreview);
static_assert(IDC_SOFTKEY_BROWSE == kSoftKeyImageBrowse);
static_assert(IDC_SOFTKEY_DELETE_IMAGE == kSoftKeyImageDelete);
static_assert(IDD_SOFTKEY_TEXT == kDialogSoftKeyText);
static_assert(IDC_SOFTKEY_CAPTION == kSoftKeyTextCaption);

static_assert(IDB_SOFTKBD_LOGO == kBitmapSoftKeyboardLogo);
static_assert(IDB_SOFTKBD_CLOSE == kBitmapCloseIcon);
static_assert(IDB_SOFTKBD_CLOSE_HOVER == kBitmapCloseIconHover);
static_assert(IDB_SOFTKBD_CLOSE_PRESSED == kBitmapCloseIconPressed);
static_assert(IDB_SOFTKBD_HIDE == kBitmapHideIcon);
static_assert(IDB_SOFTKBD_HIDE_HOVER == kBitmapHideIconHover);
static_assert(IDB_SOFTKBD_MENU == kBitmapMenuIcon);
static_assert(IDB_SOFTKBD_MENU_HOVER == kBitmapMenuIconHover);

static_assert(IDR_SOFTKEY_MENU == kMenuSoftKey);
static_assert(IDR_SOFTKEY_PAGE_MENU == kMenuSoftKeyPage);
static_assert(IDR_SOFTKEY_SETTINGS_LOCKED_MENU == kMenuSettingsLocked);
static_assert(IDR_SOFTKEY_SETTINGS_OPEN_MENU == kMenuSettingsUnlocked);
static_assert(IDM_SOFTKEY_IMAGE == kCommandKeyImage);
static_assert(IDM_SOFTKEY_TEXT == kCommandKeyText);
static_assert(IDM_SOFTKEY_INPUT == kCommandKeyInput);
static_assert(IDM_SOFTKEY_PAGE_IMAGE == kCommandPageImage);
static_assert(IDM_SOFTKEY_PAGE_TEXT == kCommandPageText);
static_assert(IDM_SOFTKEY_CHECK == kCommandKeyCheck);
static_assert(IDM_SOFTKEY_SETTINGS_LOCK == kCommandSettingsLock);
static_assert(IDM_SOFTKEY_SETTINGS_AUTHENTICATE == kCommandSettingsAuthenticate);

}  // namespace qv
