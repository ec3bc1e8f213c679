// The program's entry and its hidden main window.
#pragma once

#include <windows.h>

#include "app/app_state.h"
#include "app/win32/registry_settings.h"

namespace qv {

// Everything start-up sets up, kept for the life of the process.
struct Application {
  HINSTANCE instance = nullptr;
  HWND mainWindow = nullptr;
  HANDLE instanceMutex = nullptr;
  HACCEL accelerators = nullptr;
  ULONG_PTR gdiplusToken = 0;
  HMODULE wtsModule = nullptr;
  bool wtsModuleLoaded = false;  // loaded by the program, so freed at the end
  using WtsRegisterProc = BOOL(WINAPI*)(HWND, DWORD);
  using WtsUnregisterProc = BOOL(WINAPI*)(HWND);
  using ActiveConsoleProc = DWORD(WINAPI*)();
  WtsRegisterProc wtsRegisterSessionNotification = nullptr;
  WtsUnregisterProc wtsUnregisterSessionNotification = nullptr;
  ActiveConsoleProc wtsGetActiveConsoleSessionId = nullptr;
  RegistrySettings settings;
  ShellState shell;
};

// The one application of the process.
Application& TheApplication();

int ApplicationMain(HINSTANCE instance, const wchar_t* commandLine, int showCommand);
bool CreateMainWindow(HINSTANCE instance, int showCommand);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Sends a message to the first top-level window whose class name equals `className` (ignoring
// case), waiting at most kInstanceMessageTimeoutMs. True when such a window was found.
bool SendToRunningInstance(const wchar_t* className, UINT message);

}  // namespace qv
