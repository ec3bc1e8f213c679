// The capture hook of the key input dialog: a low-level keyboard hook served by a thread of its
// own, so that a dialog thread busy talking to its key pad ("初期設定" waits up to 5 s on a
// Bluetooth LE key pad) never answers the system late and gets the hook removed. A hook that the
// system removed all the same is noticed on the dialog's thread, where the keys it no longer
// swallows arrive, and is installed again.
#pragma once

#include <windows.h>

#include <mutex>

#include "keycode/capture.h"
#include "keycode/key_table.h"

namespace qv {

// What the hook works on: the capture, shared by the hook's thread and the dialog's thread.
struct CaptureSession {
  // Held for one decision of the hook or one change by the dialog, never around anything that
  // waits, so the hook always answers at once.
  std::mutex lock;
  CaptureState capture;  // guarded by `lock`
  const KeyTable* table = nullptr;
  HWND dialog = nullptr;  // gets the hook's notifications, posted
};

// Installs the hook for `session`, with its thread, and on the calling (the dialog's) thread the
// watch for keys the hook did not see. True when the hook is installed (also when it was). The
// session must outlive the hook.
bool InstallCaptureHook(CaptureSession& session);
// Removes the hook and ends its thread and the watch; nothing when none is installed. The
// capture itself is left as it is.
void RemoveCaptureHook();
// Whether the hook is installed now.
bool CaptureHookInstalled();
// The hook handle serving capture now; null when none.
HHOOK CaptureHookHandle();

}  // namespace qv
