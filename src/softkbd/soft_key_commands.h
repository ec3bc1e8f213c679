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
  // Runs one key pad exchange away from the window's thread and returns its result. Meanwhile
  // the window goes on answering what other threads send it, so that none of them waits behind
  // the key pad for the window.
  virtual bool Exchange(const std::function<bool()>& exchange) = 0;
};

struct SoftKeyCommandContext {
  KeyPadTable& table;
  DeviceContext& device;
  DeviceKeyCodeCache& keyCodes;
  EditedKeyCodes& edited;
};

enum class SoftKeyCommandResult {
  kDone,
  kRefused,           // not a soft-key command, a bad slot or target, or a shell dialog is open
  kStatusReadFailed,  // the key pad did not answer: nothing was written
  kWindowClosed,      // the window went while the dialog was open: nothing more was written
  kWriteFailed,       // the edited key could not be written: the mirror keeps the old code
};

// Runs menu command `command` for `target` on the key pad of `slot`. The key pad is suspended
// (editing status) around every command but the lock, and resumed afterwards; modalActive is set
// meanwhile, so no shell command works on the editing copy or the link at the same time. No key
// pad write follows a dialog after which the window is gone.
SoftKeyCommandResult RunSoftKeyCommand(SoftKeyCommandContext& context, SoftKeyCommandUi& ui,
                                       int slot, std::uint16_t command, AssetTarget target);

}  // namespace qv
