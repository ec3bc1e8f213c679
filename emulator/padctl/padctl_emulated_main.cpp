// qv-padctl over emulated key pads, for the tests under Wine: the same tool, its key pads taken
// from the environment variable QV_DEMO_KEYPADS ("PID/VERSION/SERIAL/PASSWORD,...") as the demo
// program takes them, beside Wine's own two HID devices. The shipped qv-padctl.exe contains no
// emulator.
#include <windows.h>

#include <string>

#include "emulator/emulated_hid_system.h"
#include "emulator/win32/emulator_panel.h"
#include "padctl/win32/padctl_console_win32.h"

int wmain(int argc, wchar_t** argv) {
  qv::EmulatedHidSystem hid(qv::EmulatedHidSystem::ClockMode::kReal);
  qv::ForeignDeviceSpec mouse;
  hid.AttachForeignDevice(mouse);
  qv::ForeignDeviceSpec keyboard;
  keyboard.productId = 0x0002;
  keyboard.usage = 0x0006;
  hid.AttachForeignDevice(keyboard);

  wchar_t configured[1024] = {};
  const DWORD length = GetEnvironmentVariableW(L"QV_DEMO_KEYPADS", configured, 1024);
  const std::wstring list = length > 0 && length < 1024 ? configured : qv::DefaultDemoKeyPads();
  for (const qv::KeyPadSpec& keyPadSpec : qv::ParseDemoKeyPads(list)) hid.AttachKeyPad(keyPadSpec);
  return qv::PadctlConsoleMain(argc, argv, hid);
}
