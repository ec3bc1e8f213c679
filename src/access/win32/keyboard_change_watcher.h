// The keyboard-change watcher: a thread that subscribes to the system's keyboard instance events
// (WMI) and turns each event into the two monitor timers of the main window.
#pragma once

#include <windows.h>

#include <atomic>

#include "common/ids.h"

namespace qv {

struct KeyboardWatcherState {
  std::atomic<HWND> mainWindow{nullptr};
  // The thread loops while this is set; the main window clears it when it is destroyed.
  std::atomic<bool> watcherRunning{true};
};

// Thread procedure; `parameter` is the KeyboardWatcherState. Ends with 1 when the subscription
// cannot be made (under Wine the event query fails), 0 after watcherRunning was cleared or the
// event stream ended.
DWORD WINAPI KeyboardChangeWatcher(LPVOID parameter);

}  // namespace qv
