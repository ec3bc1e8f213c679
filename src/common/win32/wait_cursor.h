// The wait cursor while a dialog's thread talks to its key pad: the thread answers no messages
// then, so the cursor it sets stays over its windows until the exchanges are done.
#pragma once

#include <windows.h>

namespace qv {

// Shows the wait cursor for the scope's lifetime; scopes nest. When the last one ends, the
// cursor shown before the outermost one comes back.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// A message box or file dialog shown inside a scope runs a message loop of its own, which sets
// the cursor of whatever the mouse is over; afterwards the wait cursor is shown again for the
// exchanges that follow. Nothing outside a scope.
void ShowWaitCursorAgain();

}  // namespace qv
