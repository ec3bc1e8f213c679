// Waiting on another thread without deadlocking on it: the waiting thread goes on handling the
// messages other threads send it (never the posted ones, nor input), so a thread that sends to
// it while it waits does not wait for it in turn.
#pragma once

#include <windows.h>

namespace qv {

// What WaitHandlingSentMessages returns when no handle was signalled in time (or the wait
// itself failed).
inline constexpr int kWaitRanOut = -1;

// Returns the index of the first of `handles` that is signalled within `timeoutMs`, or
// kWaitRanOut. The time spent handling sent messages counts against the bound.
inline int WaitHandlingSentMessages(const HANDLE* handles, DWORD count, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    const DWORD result = MsgWaitForMultipleObjects(count, handles, FALSE, left, QS_SENDMESSAGE);
    if (result < WAIT_OBJECT_0 + count) return static_cast<int>(result - WAIT_OBJECT_0);
    if (result != WAIT_OBJECT_0 + count || left == 0) return kWaitRanOut;
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

}  // namespace qv
