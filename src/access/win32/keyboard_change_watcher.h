// The keyboard-change watcher: a thread that subscribes to the system's keyboard instance events
// (WMI) and turns each event into the two monitor timers of the main window.
#pragma once

#include <windows.h>

#include <atomic>

namespace qv {

// Monitor timers of the main window: 1 rescans the key pads, 2 checks that the key pad of a
// running command is still attached.
inline constexpr UINT_PTR kRescanTimer = 1;
inline constexpr UINT_PTR kPresenceTimer = 2;
inline constexpr UINT kWatcherTimerMs = 100;

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
