// qv-padctl over emulated key pads, for the tests under Wine: the same tool, its key pads taken
// from the environment variable QV_DEMO_KEYPADS ("PID/VERSION/SERIAL/PASSWORD,...") as the demo
// program takes them, beside Wine's own two HID devices. The shipped qv-padctl.exe contains no
// emulator.
#include <windows.h>

#include "emulator/emulated_hid_system.h"
#include "emulator/win32/emulator_panel.h"
#include "padctl/win32/padctl_console_win32.h"

int wmain(int argc, wchar_t** argv) {
  qv::EmulatedHidSystem hid(qv::EmulatedHidSystem::ClockMode::kReal);
  qv::AttachDemoKeyPads(hid);
  return qv::PadctlConsoleMain(argc, argv, hid);
}
