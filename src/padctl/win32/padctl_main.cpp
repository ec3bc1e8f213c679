// qv-padctl.exe: back up and deploy key pads from the command line, over the system's HID
// devices.
#include "device/win32/hid_system_win32.h"
#include "padctl/win32/padctl_console_win32.h"

int wmain(int argc, wchar_t** argv) {
  qv::Win32HidSystem hid;
  return qv::PadctlConsoleMain(argc, argv, hid);
}
