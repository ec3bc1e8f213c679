// The key pad's password protection on the program's side: the password prompt with its error
// dialog, the password registration, the factory reset, the access sequence that wraps every key
// pad command, and the lock of all password-protected key pads.
//
// The flows decide everything; the dialogs and message boxes are reached through AccessUi, whose
// Win32 side only shows them and hands each "OK" back to a session object here (so a test plays
// the user by scripting the same calls).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string_view>

#include "access/access_ports.h"
#include "access/key_pad_table.h"
#include "access/password_text.h"
#include "access/touch_keyboard.h"
#include "common/ids.h"
#include "common/settings_store.h"
#include "common/ui_message.h"
#include "device/device_context.h"
#include "keycode/key_code_store.h"

namespace qv {

// Results of the password error dialog (132) and of the registration (131).
inline constexpr int kRegistrationDone = 1;
inline constexpr int kRegistrationCancelled = 2;

// ---------------------------------------------------------------- messages
inline constexpr AccessMessage kMismatchMessage{
    u"確認不一致",
    u"パスワードが一致しませんでした。\n"
    u"パスワード入力とパスワード確認に同じ文字列を入力してください。",
    MessageIcon::kError};
inline constexpr AccessMessage kTooLongMessage{u"パスワード文字数エラー",
                                               u"パスワードの長さは２０文字以下にしてください。",
                                               MessageIcon::kError};
inline constexpr AccessMessage kBadCharacterMessage{u"パスワード文字エラー",
                                                    u"パスワードに使用できる文字は英数字です。\n"
                                                    u"英数字以外の文字を指定しないでください。",
                                                    MessageIcon::kError};
inline constexpr AccessMessage kBravaCannotSetMessage{
    u"Brava未接続エラー",
    u"Bravaと通信できないため設定できません。\n"
    u"Bravaの電源を入れ直してから再度メニュー選択してください。",
    MessageIcon::kInformation};
inline constexpr AccessMessage kBravaCannotAuthenticateMessage{
    u"Brava未接続エラー",
    u"Bravaと通信できないため認証できません。\n"
    u"Bravaの電源を入れ直してから再度メニュー選択してください。",
    MessageIcon::kInformation};
inline constexpr AccessMessage kSoftKeyWrongPasswordMessage{u"パスワードエラー",
                                                            u"パスワードが正しくありません。\n"
                                                            u"認証に失敗しました。",
                                                            MessageIcon::kWarning};
inline constexpr AccessMessage kResetConfirmationMessage{
    u"初期化確認", u"工場出荷状態に初期化します。よろしいですか？", MessageIcon::kWarning,
    MessageButtons::kYesNo, true};
inline constexpr AccessMessage kBravaCannotCommunicateMessage{
    u"Brava未接続エラー",
    u"Bravaと通信できません。\n"
    u"Bravaの電源を入れ直してから再度メニュー選択してください。",
    MessageIcon::kInformation};
inline constexpr AccessMessage kLockOneConfirmationMessage{
    u"ロック確認",
    u"ロックした場合、再認証するまでキーボードは使用できません。\n"
    u"キーボードロックしてよろしいですか？",
    MessageIcon::kInformation, MessageButtons::kYesNo};
inline constexpr AccessMessage kLockAllConfirmationMessage{
    u"ロック確認",
    u"パスワードが設定されている全てのキーボードがロックされます。\n"
    u"ロックした場合、再認証するまでキーボードは使用できません。\n"
    u"キーボードロックしてよろしいですか？",
    MessageIcon::kInformation, MessageButtons::kYesNo};
inline constexpr AccessMessage kBravaCannotLockMessage{
    u"Brava未接続エラー",
    u"Bravaと通信できないためロックできません。\n"
    u"Bravaの電源を入れ直してから再度メニュー選択してください。",
    MessageIcon::kInformation};
// A key pad that stops answering in the middle of an access step: the step is given up rather
// than carried on with a guessed status or reported as done.
inline constexpr AccessMessage kStatusReadFailedMessage{
    u"通信エラー",
    u"キーボードと通信できないため処理を中止しました。\n"
    u"キーボードを接続し直してから再度メニュー選択してください。",
    MessageIcon::kError};
inline constexpr AccessMessage kLockReadFailedMessage{
    u"通信エラー",
    u"キーボードと通信できないためロックできません。\n"
    u"キーボードを接続し直してから再度メニュー選択してください。",
    MessageIcon::kError};
inline constexpr AccessMessage kResetFailedMessage{
    u"通信エラー",
    u"キーボードと通信できないため初期化できませんでした。\n"
    u"キーボードを接続し直してから再度メニュー選択してください。",
    MessageIcon::kError};
inline constexpr AccessMessage kRegistrationFailedMessage{
    u"通信エラー",
    u"キーボードと通信できないためパスワードを登録できませんでした。\n"
    u"キーボードを接続し直してから再度メニュー選択してください。",
    MessageIcon::kError};

// ---------------------------------------------------------------- dialog sessions
class PasswordPromptSession;
class PasswordRegistrationSession;

// What a dialog does after its OK was handed to a session.
struct SubmitOutcome {
  bool endDialog = false;  // end with `result`; otherwise clear the entries and focus the first
  int result = 0;
};

// The dialogs and message boxes the flows open. Every call is modal and returns when the user
// has answered.
class AccessUi {
 public:
  virtual ~AccessUi() = default;
  // Dialog 130 for the session's key pad; returns the dialog's result.
  virtual int RunPasswordPrompt(UiWindow owner, PasswordPromptSession& session) = 0;
  // Dialog 132: kErrorDialogEnterAgain or kErrorDialogInitialise.
  virtual int RunPasswordErrorDialog(UiWindow owner) = 0;
  // Dialog 131 for the session's key pad.
  virtual int RunPasswordRegistration(UiWindow owner, PasswordRegistrationSession& session) = 0;
  // Dialog 129: 1 with selectedKeyPad set to the chosen slot, 2 when cancelled.
  virtual int RunKeyPadSelection(UiWindow owner, KeyPadTable& table, unsigned command) = 0;
  // A message box; returns the button pressed (kMessageOk, kMessageYes, kMessageNo).
  virtual int ShowMessage(UiWindow owner, const AccessMessage& message) = 0;
  // The system's exclamation sound.
  virtual void ErrorBeep() = 0;
  virtual void BringToForeground(UiWindow window) = 0;
};

// Steps of the shell that other parts of the program provide. Until they are there, the
// defaults do nothing: key-code settings then runs its access sequence around an empty step.
class ShellStepsPort {
 public:
  virtual ~ShellStepsPort() = default;
  // The key-code settings dialog 134 for the command's slot, owned by the main window.
  virtual void RunKeyCodeSettings(UiWindow, int /*slot*/) {}
  // Shows or hides a slot's soft keyboard (without the info icon).
  virtual void SetSoftKeyboardVisible(int, bool) {}
};

// Per slot: whether its soft keyboard is shown again when the current command ends.
using ShowAgainFlags = std::array<std::uint8_t, kMaxKeyPads>;

// Everything the access flows work with.
struct AccessPorts {
  KeyPadTable& table;
  DeviceContext& device;
  DeviceKeyCodeCache& keyCodeCache;
  AccessUi& ui;
  TouchKeyboardSystem& touchKeyboard;
  ShellStepsPort& shellSteps;
  ShowAgainFlags& showAgain;
  SettingsPort& settings;
  std::atomic<std::uint32_t>& touchEnabled;
  UiWindow mainWindow = 0;
};

// Texts dialog 130 shows when it opens.
inline constexpr std::size_t kPromptTitleChars = 48;
struct PromptView {
  char16_t title[kPromptTitleChars] = {};  // empty: the dialog keeps its resource title
  char16_t serial[8] = {};                 // "%06u"
};

// The title of the prompt for a model, e.g. "ユーザー認証　《Tarn》"; empty for the models that
// keep the resource title.
std::u16string_view PromptTitle(std::uint32_t modelIdentity);

// One run of dialog 130 for one slot, in the mode softKeyAuthMode had when it was created.
class PasswordPromptSession {
 public:
  PasswordPromptSession(AccessPorts& ports, int slot);
  int slot() const { return slot_; }
  // Title and serial number to show.
  void Describe(PromptView& view) const;
  // The dialog is up: pops up the touch keyboard.
  void Opened();
  // OK with the typed text (at most 39 characters are used). `dialog` owns the messages and the
  // error dialog.
  SubmitOutcome Submit(std::u16string_view typed, UiWindow dialog);
  // Cancel: the result to end the dialog with.
  int Cancel();

 private:
  AccessPorts& ports_;
  int slot_;
  bool softKeyboardMode_;
};

// One run of dialog 131 for one slot.
class PasswordRegistrationSession {
 public:
  PasswordRegistrationSession(AccessPorts& ports, int slot);
  int slot() const { return slot_; }
  void Opened();
  // "登録" with the two entries (at most 63 characters each are used).
  SubmitOutcome Submit(std::u16string_view entry, std::u16string_view confirmation,
                       UiWindow dialog);
  int Cancel();

 private:
  AccessPorts& ports_;
  int slot_;
};

// Whether a command of dialog 132 ends it (only its two buttons do; Esc does nothing).
constexpr bool PasswordErrorDialogEndsWith(int commandId) {
  return commandId == kErrorDialogEnterAgain || commandId == kErrorDialogInitialise;
}

// ---------------------------------------------------------------- flows
// Every flow works on the slot it is given, for its whole run: a command that chose its key pad
// never reads selectedKeyPad again, so nothing another window writes there meanwhile can split
// the command over two key pads.

// Dialog 130 for `slot`: kPromptAccepted, kPromptCancelled or kPromptInitialise.
int PasswordPrompt(AccessPorts& ports, UiWindow owner, int slot);
// Dialog 132: kErrorDialogEnterAgain or kErrorDialogInitialise.
int PasswordErrorDialog(AccessPorts& ports, UiWindow owner);
// Dialog 131 for `slot`: kRegistrationDone or kRegistrationCancelled.
int PasswordRegistration(AccessPorts& ports, UiWindow owner, int slot);

enum class FactoryResetResult {
  kDone,     // the key pad was returned to its factory state
  kNotDone,  // declined, or a Brava key pad did not answer; nothing was sent
  kFailed,   // the reset itself was not answered; the user was told
};
// Confirmation and factory reset of `slot` (callers set accessState = Open on kDone).
FactoryResetResult FactoryResetKeyPadChecked(AccessPorts& ports, UiWindow owner, int slot);
// The same; true when the reset was done.
bool FactoryResetKeyPad(AccessPorts& ports, UiWindow owner, int slot);

// The access state a status byte tells: Open without a password (bit 0 clear), Authenticated
// with bit 7 set, Locked otherwise.
AccessState AccessStateFromStatus(std::uint8_t status);

// The access sequence around a key pad command: 32777 key-code settings, 32778 password
// setting, 32779 factory reset, 32781 re-authentication. `preset`: selectedKeyPad is chosen
// already.
void RunKeyPadCommand(AccessPorts& ports, unsigned command, bool preset);

// Command 32783: locks every password-protected key pad after the user confirmed it.
void LockKeyPads(AccessPorts& ports);

// The connection-time prompt and reset of the scans, over the flows above (owner: main window).
class AccessConnectionPrompts : public ConnectionPromptPort {
 public:
  explicit AccessConnectionPrompts(AccessPorts& ports) : ports_(ports) {}
  int PasswordPrompt(int slot) override;
  bool FactoryResetKeyPad(int slot) override;

 private:
  AccessPorts& ports_;
};

}  // namespace qv
