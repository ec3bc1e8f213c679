// The access control as the shell runs it: the flows over the Win32 dialogs, with the main
// window as owner and the shell's soft keyboards, settings and touch switch.
#include <algorithm>

#include "access/win32/access_dialogs.h"
#include "access/win32/touch_keyboard_win32.h"
#include "app/win32/application.h"
#include "device/device_commands.h"
#include "keycode/win32/key_code_dialogs.h"
#include "keycode/win32/key_code_files_win32.h"
#include "keycode/win32/key_input_dialog.h"

namespace qv {
namespace {

class ShellAccessHooks : public AccessHooks {
 public:
  explicit ShellAccessHooks(Application& app) : app_(app) {}
  // Dialog 134 for the command's key pad, over the one editing copy and the slot's cache.
  void RunKeyCodeSettings(UiWindow owner, int slot) override {
    if (!IsSlot(slot)) return;
    KeyPadSlot& entry = app_.keyPads.slots[slot];
    Win32KeyCodeFiles files;
    Win32EditorMessages messages;
    KeyCodeEditing editing{*app_.device,
                           entry.link,
                           entry.modelIdentity,
                           app_.editedKeyCodes,
                           app_.keyCodeCache.slots[slot],
                           files,
                           messages};
    KeyCodeSettingsSession session;
    session.editing = &editing;
    session.nonJapaneseLayout = app_.shell.nonJapaneseLayout.load();
    session.runKeyInput = [&](HWND dialog) {
      KeyInputSession input;
      input.edited = &app_.editedKeyCodes;
      input.productId = editing.ProductId();
      input.nonJapaneseLayout = session.nonJapaneseLayout;
      input.shortcuts = &app_.shortcuts;
      input.readDefaultKeyCode = [&](int keyNumber, KeyCodeRecord& record) {
        std::uint8_t length = 0;
        StrokeBytes strokes{};
        if (!ReadDefaultKeyCode(*app_.device, entry.link, keyNumber, length, strokes)) return false;
        record.bytes[0] = length;
        std::copy(strokes.begin(), strokes.end(), record.bytes.begin() + 1);
        return true;
      };
      return RunKeyInputDialog(dialog, input);
    };
    session.openKeyInputWindow = [] { return OpenKeyInputWindow(); };
    RunKeyCodeSettingsDialog(app_.instance, reinterpret_cast<HWND>(owner), session);
  }
  void SetSoftKeyboardVisible(int slot, bool show) override {
    app_.softKeyboards.SetSoftKeyboardVisible(slot, show, false);
  }

 private:
  Application& app_;
};

}  // namespace

void PrepareAccessControl(Application& app) {
  app.accessUi = std::make_unique<Win32AccessUi>(app.instance);
  app.accessHooks = std::make_unique<ShellAccessHooks>(app);
  app.access = std::make_unique<AccessPorts>(
      AccessPorts{app.keyPads, *app.device, app.keyCodeCache, *app.accessUi, SystemTouchKeyboard(),
                  *app.accessHooks, app.showAgain, app.settings, app.shell.touchEnabled,
                  reinterpret_cast<UiWindow>(app.mainWindow)});
  app.prompts = std::make_unique<AccessConnectionPrompts>(*app.access);
}

void RunShellKeyPadCommand(Application& app, std::uint16_t command, bool preset) {
  RunKeyPadCommand(*app.access, command, preset);
}

void RunShellLock(Application& app) {
  LockKeyPads(*app.access);
}

int RunTrayMenuDialog(Application& app) {
  return TrayMenuDialog(app.instance, app.mainWindow, *app.access);
}

}  // namespace qv
