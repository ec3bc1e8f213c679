// The soft keyboards of the slots as the key pad scans see them: per slot the soft keyboard
// thread and window, the layout chosen for it, and the typing of its keys.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>

#include "access/access_ports.h"
#include "access/key_pad_table.h"
#include "access/soft_keyboard_visibility.h"
#include "common/key_code_record.h"
#include "common/win32/owned.h"
#include "softkbd/injection.h"
#include "softkbd/win32/hot_key_hook_win32.h"
#include "softkbd/win32/input_sink_win32.h"
#include "softkbd/win32/soft_keyboard_window_win32.h"

namespace qv {

class Win32SoftKeyboardHost : public SoftKeyboardHost,
                              public SoftKeyboardVisibility,
                              public HotKeyTargets {
 public:
  Win32SoftKeyboardHost();
  // Closes every soft keyboard that is still open.
  ~Win32SoftKeyboardHost() override;

  bool SoftKeyboardThreadExists(int slot) override;
  bool SoftKeyboardWindowExists(int slot) override;
  // Starts the thread and returns once its window exists (or could not be made), handling the
  // messages sent to this thread meanwhile; after kStartWaitMs it returns without the window,
  // which comes up by itself when its creation ends. Nothing starts before Attach, nor beside
  // the slot's earlier thread while that still runs.
  void StartSoftKeyboardThread(int slot, SoftKeyLayout layout) override;
  // Closes the window (one that is still being made closes itself as soon as it exists) and
  // waits for the thread to end, handling sent messages, for at most kCloseWaitMs; a thread
  // still running then stays recorded for the slot, so no second keyboard starts beside it.
  void CloseSoftKeyboardThread(int slot) override;

  // How long a start waits for the window, and a close for the thread to end.
  static constexpr DWORD kStartWaitMs = 10000;
  static constexpr DWORD kCloseWaitMs = 5000;
  void CreateFolder(std::u16string_view path) override;
  void LoadSoftKeyAssets(int slot) override;

  // What decides whether a soft keyboard may be shown or hidden: the slot's access state and the
  // touch switch.
  void Bind(const KeyPadTable* table, const std::atomic<std::uint32_t>* touchEnabled);
  // What the soft keyboards work with; `services.faces` null means no images or captions.
  void Attach(SoftKeyboardServices services);
  bool KeyboardShown(int slot) override;
  bool HiddenToIcon(int slot) override;
  // Changes nothing unless the slot has a soft keyboard window that MayShowSoftKeyboard allows.
  void SetSoftKeyboardVisible(int slot, bool show, bool iconWhenHidden) override;
  void HideForCommand(int slot) override;
  void ShowRevealed(int slot) override;
  HWND SoftKeyboardWindow(int slot);
  // The hot key's targets: the slots' windows and whether a shell dialog is open.
  HWND SoftKeyboardWindowOf(int slot) override;
  bool ModalActive() override;
  // Puts the hot-key hook in again (Windows may drop it while the session is away).
  void ReinstallHotKeyHook();
  // Forgets every slot (the main window's creation starts with no soft keyboard).
  void Clear();

  // What the hot-key hook reaches of a host: the hook may still hold it after the host has gone,
  // so it reaches the host only under its own lock, and nothing once the host has let go of it.
  class HotKeyReach : public HotKeyTargets {
   public:
    explicit HotKeyReach(Win32SoftKeyboardHost* host) : host_(host) {}
    HWND SoftKeyboardWindowOf(int slot) override;
    bool ModalActive() override;
    void LetGo();

   private:
    std::mutex mutex_;
    Win32SoftKeyboardHost* host_;
  };

 private:
  int InitialPageOf(int slot);
  struct Slot {
    std::atomic<bool> started{false};
    std::atomic<HWND> window{nullptr};
    // The keyboard's keyboardShown and hiddenToIcon as its own thread last published them
    // (SoftKeyboardWindow::Publish, the only writer); a closed keyboard publishes both false.
    std::atomic<bool> shown{false};
    std::atomic<bool> hiddenToIcon{false};
    SoftKeyLayout layout = SoftKeyLayout::kStandard;
    // The last thread started for the slot, until it is known to have ended.
    std::shared_ptr<SoftKeyboardRun> run;
  };
  // Forgets the slot's last thread if it has ended; false while it still runs.
  static bool ForgetEndedRun(Slot& entry);
  std::array<Slot, kMaxKeyPads> slots_;
  const KeyPadTable* table_ = nullptr;
  const std::atomic<std::uint32_t>* touchEnabled_ = nullptr;
  SoftKeyboardServices services_;
  NoSoftKeyFaces noFaces_;
  bool attached_ = false;
  Injector injector_{std::make_shared<Win32InputSink>(), std::make_shared<SystemInjectionClock>()};
  const std::shared_ptr<HotKeyReach> hotKeyReach_ = std::make_shared<HotKeyReach>(this);
};

}  // namespace qv
