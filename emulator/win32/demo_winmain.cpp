// The demo program: qv-padconf with emulated key pads instead of the system's HID devices, and a
// panel to attach and detach them while it runs. The key pads it starts with come from the
// environment variable QV_DEMO_KEYPADS ("PID/VERSION/SERIAL/PASSWORD,..."), else a default set.
#include <windows.h>

#include <vector>

#include "app/win32/application.h"
#include "emulator/win32/emulator_panel.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
  qv::EmulatedHidSystem hid(qv::EmulatedHidSystem::ClockMode::kReal);
  std::vector<qv::DemoKeyPad> keyPads = qv::AttachDemoKeyPads(hid);
  // A second start or "/CLOSE" reaches the running demo like the program itself.
  if (!qv::IsCloseCommand(commandLine ? reinterpret_cast<const char16_t*>(commandLine) : u"")) {
    qv::CreateEmulatorPanel(instance, hid, keyPads);
  }
  return qv::ApplicationMain(instance, commandLine, showCommand, hid);
}
