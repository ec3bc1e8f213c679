// When the soft keyboards' hot-key hook is in place: from the creation of a soft keyboard window
// until the last of them is destroyed, put in again when the session comes back while a keyboard
// exists (Windows may drop a low-level hook while the session is away). The host asks this
// bookkeeping what to do and does it; it is not locked itself: its owner calls it under the lock
// that also covers installing and removing the hook.
#pragma once

namespace qv {

class HotKeyHookLifetime {
 public:
  // A soft keyboard window was created: true when the hook must be installed now (every
  // creation asks; installing over an installed hook changes nothing).
  bool OnKeyboardCreated();
  // A soft keyboard window was destroyed: true when the hook must be removed now, with the last.
  bool OnKeyboardDestroyed();
  // The session is back: true when the hook must be removed and installed again.
  bool OnSessionBack() const;

 private:
  int keyboards_ = 0;
};

}  // namespace qv
