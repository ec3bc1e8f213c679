// A low-level keyboard hook served by a thread of its own. The thread installs the hook, does
// nothing but serve it, and removes it when told to end, so a window thread that is busy (talking
// to its key pad, typing a key code with delays) never answers the system late and gets the hook
// removed. The capture hook of the key input dialog and the soft keyboards' hot key use one each.
#pragma once

#include <windows.h>

#include "common/win32/owned.h"

namespace qv {

class KeyboardHookThread {
 public:
  // How long starting or ending the thread may take before it is given up on.
  static constexpr DWORD kWaitMs = 5000;

  explicit KeyboardHookThread(DWORD waitMs = kWaitMs) : waitMs_(waitMs) {}

  // Starts the thread with `procedure` as its low-level keyboard hook; `prepare` (if any) runs on
  // the new thread first, before the hook sees a key. The hook's handle once it is installed;
  // null when it could not be installed, or when the thread of an earlier hook has not ended yet:
  // a thread that did not end within its wait is never followed by a second hook. Start and Stop
  // are not safe against each other; their callers take turns.
  HHOOK Start(HOOKPROC procedure, void (*prepare)() = nullptr);
  // Tells the thread to end (its hook goes with it) and waits for it. True when it has ended or
  // none was running; false when it is still running, in which case it stays recorded until it
  // has ended.
  bool Stop();
  // Whether a thread is recorded: serving its hook, or told to end and not yet ended.
  bool Recorded();

 private:
  void ForgetIfEnded();

  OwnedHandle thread_;
  DWORD threadId_ = 0;
  DWORD waitMs_;
};

}  // namespace qv
