// Waiting on another thread without deadlocking on it: the waiting thread goes on handling the
// messages other threads send it (never the posted ones, nor input), so a thread that sends to
// it while it waits does not wait for it in turn.
#pragma once

#include <windows.h>

namespace qv {

// Returns when one of `handles` is signalled, or when the wait itself fails.
inline void WaitHandlingSentMessages(const HANDLE* handles, DWORD count) {
  for (;;) {
    const DWORD result = MsgWaitForMultipleObjects(count, handles, FALSE, INFINITE, QS_SENDMESSAGE);
    if (result != WAIT_OBJECT_0 + count) return;  // signalled, or the wait failed
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

}  // namespace qv
