// The commands of the soft keyboard's right-click menus: giving a key or page tab an image or a
// caption, editing or checking a key's code, and locking or authenticating the soft-key settings.
// Each command runs on its soft keyboard's thread for one slot and one key, chosen when its menu
// was opened; the dialogs are the window side's, the key pad exchanges and the rules are here.
#pragma once

#include <cstdint>
#include <functional>

#include "access/key_pad_table.h"
#include "common/ui_message.h"
#include "device/device_context.h"
#include "device/hid_port.h"
#include "keycode/key_code_store.h"
#include "softkey_assets/asset_names.h"

namespace qv {

// Menu commands.
inline constexpr std::uint16_t kCommandKeyImage = 32786;
inline constexpr std::uint16_t kCommandKeyText = 32787;
inline constexpr std::uint16_t kCommandKeyInput = 32790;
inline constexpr std::uint16_t kCommandPageImage = 32794;
inline constexpr std::uint16_t kCommandPageText = 32795;
inline constexpr std::uint16_t kCommandKeyCheck = 32797;
inline constexpr std::uint16_t kCommandSettingsLock = 32801;
inline constexpr std::uint16_t kCommandSettingsAuthenticate = 32802;

bool IsSoftKeyCommand(std::uint16_t command);

inline constexpr UiMessage kSoftKeyStatusReadFailedMessage{
    u"通信エラー", u"キーボードと通信できません。\nキーボードの接続を確認してください。",
    MessageIcon::kError};
inline constexpr UiMessage kSoftKeyWriteFailedMessage{
    u"通信エラー",
    u"キーボードと通信できないため、キーコードを書き込めませんでした。\n"
    u"キーボードを確認してから再度入力してください。",
    MessageIcon::kError};

// What one key pad exchange of a command tells: whether the key pad answered, and for a status
// read the status byte.
struct ExchangeAnswer {
  bool answered = false;
  std::uint8_t status = 0;
};
// An exchange as it is handed to the exchange thread: it works on the process's device context
// and the slot's link only, which outlive every soft keyboard, and holds its own copies of
// everything else.
using KeyPadExchange = std::function<ExchangeAnswer()>;

// What a command shows and changes on the soft keyboard's side.
class SoftKeyCommandUi {
 public:
  virtual ~SoftKeyCommandUi() = default;
  // The dialogs, owned by the soft keyboard window; each returns the dialog's result.
  virtual int RunImageDialog(AssetTarget target) = 0;
  virtual int RunTextDialog(AssetTarget target) = 0;
  // The key input dialog on EditedKeyCodes at selectedKey; 1 when a new code was stored there.
  virtual int RunKeyInput(int key) = 0;
  virtual void RunKeyCheck(int key) = 0;
  // The password prompt of the soft-key settings for selectedKeyPad; 1 when authenticated.
  virtual int RunSettingsPrompt() = 0;
  // The soft keyboard window still exists: a rescan closes it, and with it its key pad's link,
  // while a dialog may be open.
  virtual bool WindowOpen() = 0;
  // The target's button blinks while the dialog is open (-1: no button shows the target).
  virtual void StartBlink(AssetTarget target) = 0;
  virtual void StopBlink() = 0;
  // The keyboard shows its current page again with the new images and captions.
  virtual void Relayout() = 0;
  virtual void Tell(const UiMessage& message) = 0;
  // Hands one key pad exchange to a thread of its own and returns at once; its answer comes back
  // on the window's thread as OnSoftKeyCommandAnswer. False when it could not be handed over:
  // the command then takes it as unanswered. The window goes on painting and taking input
  // meanwhile, and never waits for its key pad.
  virtual bool StartExchange(KeyPadExchange exchange) = 0;
};

struct SoftKeyCommandContext {
  KeyPadTable& table;
  DeviceContext& device;
  DeviceKeyCodeCache& keyCodes;
  EditedKeyCodes& edited;
};

enum class SoftKeyCommandResult {
  kDone,
  kPending,           // waiting for the key pad's answer to one of its exchanges
  kRefused,           // not a soft-key command, a bad slot or target, or a shell dialog is open
  kStatusReadFailed,  // the key pad did not answer: nothing was written
  kWindowClosed,      // the window went while the dialog was open: nothing more was written
  kWriteFailed,       // the edited key could not be written: the mirror keeps the old code
};

// Where a running command is: which exchange it waits for, or its dialog.
enum class SoftKeyCommandStep {
  kIdle,
  kReadingStatus,  // the status read before the dialog
  kSuspending,     // the editing status written before the dialog
  kInDialog,       // the dialog is open on the window's thread
  kWritingKey,     // the edited key written after the key input dialog
  kResuming,       // the status written back after the dialog
};

// One soft keyboard's command on its way, kept by its window between the exchanges.
struct SoftKeyCommandRun {
  SoftKeyCommandStep step = SoftKeyCommandStep::kIdle;
  int slot = 0;
  std::uint16_t command = 0;
  AssetTarget target;
  std::uint8_t status = 0;                    // the status read before the dialog
  HidHandle startHandle = kInvalidHidHandle;  // the link the command suspended
  SoftKeyCommandResult result = SoftKeyCommandResult::kDone;
  KeyCodeRecord written;  // the edited key on its way to the key pad
};

// Starts menu command `command` for `target` on the key pad of `slot`. The key pad is suspended
// (editing status) around every command but the lock, and resumed afterwards; modalActive is set
// for the whole command, so no shell command works on the editing copy or the link at the same
// time. Returns kPending while the command waits for an exchange (OnSoftKeyCommandAnswer goes
// on), else how it ended. No key pad write follows a dialog after which the window is gone.
SoftKeyCommandResult StartSoftKeyCommand(SoftKeyCommandContext& context, SoftKeyCommandUi& ui,
                                         SoftKeyCommandRun& run, int slot, std::uint16_t command,
                                         AssetTarget target);
// The answer of the exchange `run` waits for: the command's next step, up to its next exchange
// (kPending) or its end. An answer that `run` does not wait for changes nothing.
SoftKeyCommandResult OnSoftKeyCommandAnswer(SoftKeyCommandContext& context, SoftKeyCommandUi& ui,
                                            SoftKeyCommandRun& run, ExchangeAnswer answer);
// The window goes while the command waits for an exchange: its answer will not arrive. A key pad
// that was (or is being) suspended on the command's unchanged link is resumed by an exchange
// handed over now, whose answer nobody waits for; modalActive is given back. A command whose
// dialog is open goes on by itself when the dialog returns: nothing is done for it here.
void AbandonSoftKeyCommand(SoftKeyCommandContext& context, SoftKeyCommandUi& ui,
                           SoftKeyCommandRun& run);

}  // namespace qv
