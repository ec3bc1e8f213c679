// The soft keyboard of one key pad: its thread, its always-on-top window that never takes the
// focus, the header controls, the 30 key buttons and the hidden info icon window.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "access/access_ports.h"
#include "access/key_pad_table.h"
#include "common/settings_store.h"
#include "common/win32/owned.h"
#include "common/window_messages.h"
#include "device/device_context.h"
#include "keycode/key_code_store.h"
#include "softkbd/injection.h"
#include "softkbd/layout.h"
#include "softkbd/soft_keyboard_state.h"
#include "softkbd/win32/soft_key_faces_win32.h"
#include "softkey_assets/asset_names.h"

namespace qv {

// The dialogs a soft keyboard's menus open, owned by its window and run on its thread; they
// live with the shell, which knows the key pads' links, the shortcuts and the password prompt.
class SoftKeyDialogs {
 public:
  virtual ~SoftKeyDialogs() = default;
  // The image and caption dialogs of a key or page tab: 1 when something was stored.
  virtual int RunImageDialog(HWND owner, int slot, AssetTarget target) = 0;
  virtual int RunTextDialog(HWND owner, int slot, AssetTarget target) = 0;
  // The key input dialog on the editing copy at selectedKey: 1 when a new code was stored.
  virtual int RunKeyInput(HWND owner, int slot, int key) = 0;
  // The key check dialog with the slot's stored code of the key.
  virtual void RunKeyCheck(HWND owner, int slot, int key) = 0;
  // The password prompt of the soft-key settings (softKeyAuthMode set): 1 when it passed.
  virtual int RunSettingsPrompt(HWND owner, int slot) = 0;
  // The soft keyboard's menu dialog: 1, 2, 1020 (lock) or 1022 (password setting).
  virtual int RunSoftKeyMenu(HWND owner) = 0;
};

// What every soft keyboard works with; all of it outlives the soft keyboards.
struct SoftKeyboardServices {
  KeyPadTable* table = nullptr;  // the slots' identities, access states and links
  const std::atomic<std::uint32_t>* touchEnabled = nullptr;
  const std::atomic<bool>* nonJapaneseLayout = nullptr;
  DeviceKeyCodeCache* keyCodes = nullptr;  // what each key types; key input writes it
  EditedKeyCodes* edited = nullptr;        // the editing copy of key input; may be null
  SoftKeyDialogs* dialogs = nullptr;  // null: the right-click menus and the menu icon do nothing
  const std::atomic<HWND>* mainWindow =
      nullptr;                      // receives the menu dialog's commands; may be null
  DeviceContext* device = nullptr;  // the active page of paged key pads; may be null
  SettingsPort* settings = nullptr;
  // The monitors the placement checks a stored position against; null: those attached now.
  std::function<std::vector<ScreenRect>()> monitors;
  SoftKeyFaces* faces = nullptr;
};

// Handed to SoftKeyboardThread; lives as long as the thread.
struct SoftKeyboardThreadContext {
  const SoftKeyboardServices* services = nullptr;
  Injector* injector = nullptr;
  int slot = 0;
  SoftKeyLayout layout = SoftKeyLayout::kStandard;
  std::atomic<HWND>* window = nullptr;  // published once the window exists
  std::atomic<bool>* shown = nullptr;   // keyboardShown
  std::atomic<bool>* hiddenToIcon = nullptr;
  int initialPage = 0;     // the key pad's active page, read by the starting thread
  HANDLE ready = nullptr;  // set when the window is up (or could not be made)
  // Set by a close that came before the window was published: the thread closes the window
  // itself once it exists.
  const std::atomic<bool>* closeRequested = nullptr;
};

// One start of a soft keyboard thread: what the thread works with and the handles of its start.
// The host's slot, a start waiting for the thread and the thread itself share it, so that the
// context lives as long as the thread and the handles stay open for every wait on them; they are
// closed only here, when the last of them lets go.
struct SoftKeyboardRun {
  SoftKeyboardThreadContext context;
  OwnedHandle thread;
  OwnedHandle ready;
  std::atomic<bool> closeRequested{false};
};

// The thread of one soft keyboard: creates its windows and runs their message loop until the
// window is destroyed. `run` is a `new std::shared_ptr<SoftKeyboardRun>` that the thread takes
// over. Returns 0.
DWORD WINAPI SoftKeyboardThread(void* run);

}  // namespace qv
