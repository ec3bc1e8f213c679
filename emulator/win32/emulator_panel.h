// The demo program's emulator panel: a small window to attach and detach emulated key pads while
// the program runs. Attaching or detaching reaches the program the way a keyboard change of the
// system does: timers 1 and 2 of the main window are set to 100 ms.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "emulator/emulated_hid_system.h"

namespace qv {

struct DemoKeyPad {
  EmulatedKeyPad keyPadSpec;
  EmulatedDeviceId id = -1;
};

// Attaches what the emulated programs start with: Wine's own two virtual HID devices (a mouse
// and a keyboard, which discovery must skip) and the key pads listed in the environment variable
// QV_DEMO_KEYPADS, "PID/VERSION/SERIAL/PASSWORD,..." (hex product id and version, decimal
// serial, optional password; a version of b4b4 or b5b5 makes a Bluetooth LE key pad; malformed
// items are skipped). Without the variable: a paged 144-key model, a 30-key model with a
// password and a Bluetooth LE key pad. Returns the key pads attached.
std::vector<DemoKeyPad> AttachDemoKeyPads(EmulatedHidSystem& hid);

// Creates the panel window (not owned by the main window, so the shell's forced close leaves it).
HWND CreateEmulatorPanel(HINSTANCE instance, EmulatedHidSystem& hid,
                         std::vector<DemoKeyPad>& keyPads);

}  // namespace qv
