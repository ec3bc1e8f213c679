#include <windows.h>

#include "app/win32/application.h"
#include "device/win32/hid_system_win32.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
  qv::Win32HidSystem hid;
  return qv::ApplicationMain(instance, commandLine, showCommand, hid);
}
