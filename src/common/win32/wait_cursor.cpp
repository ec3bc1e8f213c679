#include "common/win32/wait_cursor.h"

namespace qv {
namespace {

// Per thread: each dialog thread shows its own busy state.
thread_local int waitDepth = 0;
thread_local HCURSOR cursorBefore = nullptr;

HCURSOR Hourglass() {
  return LoadCursorW(nullptr, IDC_WAIT);
}

}  // namespace

WaitCursor::WaitCursor() {
  const HCURSOR previous = SetCursor(Hourglass());
  if (waitDepth++ == 0) cursorBefore = previous;
}

WaitCursor::~WaitCursor() {
  if (--waitDepth == 0) {
    SetCursor(cursorBefore ? cursorBefore : LoadCursorW(nullptr, IDC_ARROW));
    cursorBefore = nullptr;
  }
}

void ShowWaitCursorAgain() {
  if (waitDepth > 0) SetCursor(Hourglass());
}

}  // namespace qv
