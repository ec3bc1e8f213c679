// The global hot key of the soft keyboards: one low-level keyboard hook for the whole process,
// served by a thread of its own, that turns Ctrl+Alt+Shift+digit into a toggle of that slot's
// soft keyboard and passes every key on.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>

#include "common/window_messages.h"

namespace qv {

// The hook posts kToggleSoftKeyboardMessage (window_messages.h) to a slot's soft keyboard window.

// Where the hook sends its toggles and what it asks before tracking a key.
class HotKeyTargets {
 public:
  virtual ~HotKeyTargets() = default;
  virtual HWND SoftKeyboardWindowOf(int slot) = 0;  // null: the slot has none
  virtual bool ModalActive() = 0;                   // a dialog of the shell is open
};

// The targets of the hook: the host whose soft keyboard starts sets its targets; a host that goes
// forgets them only if they are still the hook's. The hook holds a share of the targets while it
// looks at a key, so they outlive every thread that may read them, a hook thread that outlived
// its stop included.
void SetHotKeyTargets(std::shared_ptr<HotKeyTargets> targets);
void ForgetHotKeyTargets(const HotKeyTargets* targets);
// The hook's targets now; null when none are set.
std::shared_ptr<HotKeyTargets> CurrentHotKeyTargets();

// Installs the hook, with the thread that serves it, unless one is installed; true when this call
// did.
bool InstallSoftKeyboardHook();
// Removes the hook and ends its thread; nothing when there is none.
void RemoveSoftKeyboardHook();
// Whether the hook is installed now.
bool SoftKeyboardHookInstalled();

// The hook's lifetime (HotKeyHookLifetime): a soft keyboard window's creation installs it, the
// destruction of the last one removes it, and the session's return while a keyboard exists puts
// it in again.
void OnSoftKeyboardWindowCreated();
void OnSoftKeyboardWindowDestroyed();
void OnSessionBackForHotKey();

}  // namespace qv
