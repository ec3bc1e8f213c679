#include <windows.h>

#include "app/win32/application.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
  return qv::ApplicationMain(instance, commandLine, showCommand);
}
