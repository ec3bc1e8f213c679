// The access control as the shell runs it: the flows over the Win32 dialogs, with the main
// window as owner and the shell's soft keyboards, settings and touch switch.
#include <memory>

#include "access/win32/access_dialogs.h"
#include "access/win32/touch_keyboard_win32.h"
#include "app/win32/application.h"
#include "device/device_commands.h"
#include "keycode/win32/key_code_dialogs.h"
#include "keycode/win32/key_code_files_win32.h"
#include "keycode/win32/key_input_dialog.h"
#include "softkey_assets/win32/soft_key_dialogs_win32.h"

namespace qv {
namespace {

// The key input dialog over the one editing copy for the key pad of `slot`.
KeyInputSession KeyInputSessionFor(Application& app, int slot) {
  KeyPadSlot& entry = app.keyPads.slots[slot];
  KeyInputSession input;
  input.edited = &app.editedKeyCodes;
  input.productId = static_cast<std::uint16_t>(entry.modelIdentity & 0xFFFF);
  input.nonJapaneseLayout = app.shell.nonJapaneseLayout.load();
  input.shortcuts = &app.shortcuts;
  input.readDefaultKeyCode = [&app, &entry](int keyNumber, KeyCodeRecord& record) {
    return ReadDefaultKeyCode(*app.device, entry.link, keyNumber, record);
  };
  return input;
}

// The dialogs of the soft keyboards' menus, run on the soft keyboard's thread and owned by its
// window.
class ShellSoftKeyDialogs : public SoftKeyDialogs {
 public:
  explicit ShellSoftKeyDialogs(Application& app) : app_(app) {}
  int RunImageDialog(HWND owner, int slot, AssetTarget target) override {
    return RunProcessSoftKeyImageDialog(app_.instance, owner, slot, target);
  }
  int RunTextDialog(HWND owner, int slot, AssetTarget target) override {
    return RunProcessSoftKeyTextDialog(app_.instance, owner, slot, target);
  }
  int RunKeyInput(HWND owner, int slot, int) override {
    if (!IsSlot(slot)) return kDialogCancel;
    KeyInputSession input = KeyInputSessionFor(app_, slot);
    return static_cast<int>(RunKeyInputDialog(owner, input));
  }
  void RunKeyCheck(HWND owner, int slot, int key) override {
    if (!IsSlot(slot) || key < 0 || key >= kMaxKeys) return;
    RunKeyCheckDialog(app_.instance, owner, app_.keyCodeCache.slots[slot][key], key,
                      app_.shell.nonJapaneseLayout.load());
  }
  int RunSettingsPrompt(HWND owner, int slot) override {
    return PasswordPrompt(*app_.access, reinterpret_cast<UiWindow>(owner), slot);
  }
  int RunSoftKeyMenu(HWND owner) override {
    return SoftKeyMenuDialog(app_.instance, owner, app_.keyPads, [this](int slot) {
      return app_.softKeyboards.SoftKeyboardWindow(slot);
    });
  }

 private:
  Application& app_;
};

class ApplicationShellSteps : public ShellStepsPort {
 public:
  explicit ApplicationShellSteps(Application& app) : app_(app) {}
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
                           messages,
                           &app_.keyCodeCache.mutex};
    KeyCodeSettingsSession session;
    session.editing = &editing;
    session.nonJapaneseLayout = app_.shell.nonJapaneseLayout.load();
    session.runKeyInput = [&](HWND dialog) {
      KeyInputSession input = KeyInputSessionFor(app_, slot);
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
  app.shellSteps = std::make_unique<ApplicationShellSteps>(app);
  app.access = std::make_unique<AccessPorts>(
      AccessPorts{app.keyPads, *app.device, app.keyCodeCache, *app.accessUi, SystemTouchKeyboard(),
                  *app.shellSteps, app.showAgain, app.settings, app.shell.touchEnabled,
                  reinterpret_cast<UiWindow>(app.mainWindow)});
  app.prompts = std::make_unique<AccessConnectionPrompts>(*app.access);
  app.softKeyDialogs = std::make_unique<ShellSoftKeyDialogs>(app);
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
