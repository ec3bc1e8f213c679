// What the test process holds: threads, kernel handles, GDI and USER objects. Tests compare the
// counts before and after work that must leave nothing behind.
#pragma once

#include <windows.h>

#include <tlhelp32.h>

namespace qv::testing {

struct ProcessCounts {
  long threads = 0;
  long handles = 0;
  long gdiObjects = 0;
  long userObjects = 0;
};

inline long CountThreads() {
  long count = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    entry.dwSize = sizeof entry;
  }
  CloseHandle(snapshot);
  return count;
}

// GetProcessHandleCount and GetGuiResources answer 0 under Wine 8, which does not count. There
// the live values are counted instead: kernel handles are multiples of 4, and GDI and USER
// objects are still found by the index in the low word of their handles.
inline long CountHandles() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) return count;
  long live = 0;
  for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
    DWORD flags;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++live;
  }
  return live;
}

inline long CountGdiObjects() {
  if (DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return count;
  long live = 0;
  for (ULONG_PTR value = 1; value < 0x10000; ++value) {
    if (GetObjectType(reinterpret_cast<HGDIOBJ>(value))) ++live;
  }
  return live;
}

inline long CountUserObjects() {
  if (DWORD count = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)) return count;
  long live = 0;
  for (ULONG_PTR value = 1; value < 0x10000; ++value) {
    if (IsWindow(reinterpret_cast<HWND>(value)) || IsMenu(reinterpret_cast<HMENU>(value))) ++live;
  }
  return live;
}

inline ProcessCounts CountNow() {
  return {CountThreads(), CountHandles(), CountGdiObjects(), CountUserObjects()};
}

}  // namespace qv::testing
