// What the connection code needs from the windowing side: the soft keyboards of the slots, the
// connection-time password prompt and the forced close of the shell's windows. The Win32 layer
// implements them over threads, dialogs and message boxes; tests record and script them.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/ids.h"
#include "device/device_context.h"
#include "keycode/key_code_store.h"

namespace qv {

// Which 30-key layout table a starting soft keyboard uses.
enum class SoftKeyLayout { kStandard, kAlternative };

// The soft keyboard threads and windows of the slots, and the slot's soft-key files.
class SoftKeyboardHost {
 public:
  virtual ~SoftKeyboardHost() = default;
  // Whether the slot has a soft keyboard thread.
  virtual bool SoftKeyboardThreadExists(int slot) = 0;
  // Whether the slot's soft keyboard window exists.
  virtual bool SoftKeyboardWindowExists(int slot) = 0;
  // Selects the layout table and starts the slot's soft keyboard thread, remembering it.
  virtual void StartSoftKeyboardThread(int slot, SoftKeyLayout layout) = 0;
  // Forgets the slot's thread and, when its window exists, closes the window synchronously (the
  // thread then ends its loop) and forgets the window; the closing keyboard stops writing its
  // geometry and reports itself neither shown nor hidden to its icon.
  virtual void CloseSoftKeyboardThread(int slot) = 0;
  // Creates a folder; an existing folder is fine and failures are ignored.
  virtual void CreateFolder(std::u16string_view path) = 0;
  // Loads the slot's soft-key images and captions from its folder.
  virtual void LoadSoftKeyAssets(int slot) = 0;
};

// Results of the password prompt.
inline constexpr int kPromptAccepted = 1;
inline constexpr int kPromptCancelled = 2;
inline constexpr int kPromptInitialise = kErrorDialogInitialise;

// The password prompt and the factory reset, run for the table's selectedKeyPad.
class ConnectionPromptPort {
 public:
  virtual ~ConnectionPromptPort() = default;
  // Dialog 130 owned by the main window: kPromptAccepted, kPromptCancelled or kPromptInitialise.
  virtual int PasswordPrompt(int slot) = 0;
  // Confirmation and factory reset of the key pad; true when the reset was done.
  virtual bool FactoryResetKeyPad(int slot) = 0;
};

// What the presence check shows when the key pad a command works on has gone.
class PresenceCheckUi {
 public:
  virtual ~PresenceCheckUi() = default;
  // The "ウィンドウ強制クローズ" message box; returns when the user has dismissed it.
  virtual void ShowForcedCloseMessage() = 0;
  // Destroys every top-level window owned by the main window.
  virtual void CloseOwnedWindows() = 0;
};

// Text of the forced close message.
inline constexpr std::u16string_view kForcedCloseTitle = u"ウィンドウ強制クローズ";
inline constexpr std::u16string_view kForcedCloseText =
    u"操作対象のキーボードが認識できなくなりました。\n現在表示されているウィンドウを閉じます。";

// Everything the scans and the presence check work with.
struct ConnectionPorts {
  DeviceContext& device;
  DeviceKeyCodeCache& keyCodeCache;
  SoftKeyboardHost& softKeyboards;
  ConnectionPromptPort& prompts;
  PresenceCheckUi& presenceUi;
  std::u16string_view softKeyFolder;  // ends with "\"
};

}  // namespace qv
