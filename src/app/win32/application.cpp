#include "app/win32/application.h"

#include <objbase.h>
#include <shlobj.h>

#include <gdiplus.h>

#include "common/win32/wide.h"
#include "resource.h"

namespace qv {
namespace {

Application theApplication;

void LoadResourceString(HINSTANCE instance, unsigned id, char16_t (&dest)[kResourceStringChars]) {
  if (LoadStringW(instance, id, Wide(dest), static_cast<int>(kResourceStringChars)) <= 0)
    dest[0] = 0;
}

struct FindInstanceWindow {
  const wchar_t* className;
  HWND found;
};

BOOL CALLBACK FindInstanceWindowProc(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<FindInstanceWindow*>(context);
  wchar_t name[256] = {};
  if (GetClassNameW(window, name, 256) > 0 &&
      EqualsIgnoreAsciiCase(BoundedView(Utf16(name), 256),
                            BoundedView(Utf16(search->className), 256))) {
    search->found = window;
    return FALSE;  // the enumeration stops at the first match
  }
  return TRUE;
}

void LoadShellStrings(HINSTANCE instance, ShellStrings& strings) {
  LoadResourceString(instance, IDS_APP_NAME, strings.appName);
  LoadResourceString(instance, IDS_INSTANCE_NAME, strings.instanceName);
  LoadResourceString(instance, IDS_PRODUCT_NAME, strings.productName);
  LoadResourceString(instance, IDS_SOFT_KEYBOARD_CLASS, strings.softKeyboardClass);
  LoadResourceString(instance, IDS_INFO_ICON_CLASS, strings.infoIconClass);
}

void ResolveOptionalEntryPoints(Application& app) {
  app.wtsModule = GetModuleHandleW(L"wtsapi32.dll");
  if (!app.wtsModule) {
    app.wtsModule = LoadLibraryW(L"wtsapi32.dll");
    app.wtsModuleLoaded = app.wtsModule != nullptr;
  }
  if (app.wtsModule) {
    app.wtsRegisterSessionNotification = reinterpret_cast<Application::WtsRegisterProc>(
        reinterpret_cast<void*>(GetProcAddress(app.wtsModule, "WTSRegisterSessionNotification")));
    app.wtsUnregisterSessionNotification = reinterpret_cast<Application::WtsUnregisterProc>(
        reinterpret_cast<void*>(GetProcAddress(app.wtsModule, "WTSUnRegisterSessionNotification")));
  }
  if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
    app.wtsGetActiveConsoleSessionId = reinterpret_cast<Application::ActiveConsoleProc>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "WTSGetActiveConsoleSessionId")));
  }
}

void PrepareDataFolders(Application& app) {
  ProgramPaths& paths = app.shell.paths;
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExW(&version);
#pragma GCC diagnostic pop
  bool useLocal = UsesLocalApplicationData(version.dwMajorVersion, version.dwMinorVersion);
  wchar_t localAppData[MAX_PATH] = {};
  if (useLocal &&
      FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, localAppData))) {
    localAppData[0] = 0;
  }
  DataFolderPlan plan = PlanDataFolders(useLocal, BoundedView(Utf16(localAppData), MAX_PATH),
                                        BoundedView(paths.programFolder));
  // An existing folder is not an error; other failures leave the folder missing and are noticed
  // where a file is written into it.
  if (plan.vendorFolder[0]) CreateDirectoryW(Wide(plan.vendorFolder), nullptr);
  if (useLocal && plan.dataFolder[0]) CreateDirectoryW(Wide(plan.dataFolder), nullptr);
  if (plan.softKeyFolder[0]) CreateDirectoryW(Wide(plan.softKeyFolder), nullptr);
  BoundedCopy(paths.dataFolder, BoundedView(plan.dataFolder));
  BoundedCopy(paths.softKeyFolder, BoundedView(plan.softKeyFolder));
}

BOOL CALLBACK AddMonitorProc(HMONITOR, HDC, LPRECT rect, LPARAM context) {
  auto* table = reinterpret_cast<MonitorTable*>(context);
  return table->Add(MonitorRect{rect->left, rect->top, rect->right, rect->bottom}) ? TRUE : FALSE;
}

bool RegisterMainWindowClass(Application& app) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = app.instance;
  windowClass.hIcon = LoadIconW(app.instance, MAKEINTRESOURCEW(IDI_APP));
  windowClass.hIconSm = static_cast<HICON>(
      LoadImageW(app.instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = Wide(app.shell.strings.instanceName);
  return RegisterClassExW(&windowClass) != 0;
}

}  // namespace

Application& TheApplication() {
  return theApplication;
}

bool SendToRunningInstance(const wchar_t* className, UINT message) {
  FindInstanceWindow search{className, nullptr};
  EnumWindows(FindInstanceWindowProc, reinterpret_cast<LPARAM>(&search));
  if (!search.found) return false;
  DWORD_PTR result = 0;
  // A bounded wait: a first instance that hangs must not hang this start as well.
  SendMessageTimeoutW(search.found, message, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                      kInstanceMessageTimeoutMs, &result);
  return true;
}

int ApplicationMain(HINSTANCE instance, const wchar_t* commandLine, int showCommand,
                    HidSystem& hid) {
  Application& app = theApplication;
  ShellState& shell = app.shell;

  // 1. COM for the main thread (the keyboard-change watcher and the shell use it).
  HRESULT comResult = CoInitialize(nullptr);

  // 2. The program's own path and folder.
  wchar_t modulePath[kPathChars] = {};
  DWORD moduleLength = GetModuleFileNameW(nullptr, modulePath, kPathChars);
  SetProgramPath(shell.paths, BoundedView(Utf16(modulePath),
                                          moduleLength < kPathChars ? moduleLength : kPathChars));

  // 3. The strings.
  LoadShellStrings(instance, shell.strings);
  const wchar_t* instanceName = Wide(shell.strings.instanceName);

  auto finish = [&](int exitCode) {
    if (SUCCEEDED(comResult)) CoUninitialize();
    return exitCode;
  };

  // 4. "/CLOSE": close the running instance, if any, and end without touching anything else.
  if (IsCloseCommand(BoundedView(Utf16(commandLine ? commandLine : L""), 32768))) {
    if (HANDLE running = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, instanceName)) {
      CloseHandle(running);
      SendToRunningInstance(instanceName, WM_CLOSE);
    }
    return finish(0);
  }

  // 5. The soft-keyboard switch; a first start writes it so that it exists afterwards.
  std::uint32_t touchValue = 0;
  if (ReadTouchSetting(app.settings, touchValue)) {
    shell.touchEnabled = touchValue != 0 ? 1 : 0;
  } else {
    WriteTouchSetting(app.settings, shell.touchEnabled);
  }

  // 6. A second start brings the running instance forward and ends.
  if (HANDLE running = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, instanceName)) {
    CloseHandle(running);
    SendToRunningInstance(instanceName, kRevealMessage);
    return finish(0);
  }

  // 7. The single-instance mutex stays open for the life of the process. Two starts at the same
  // moment can both get past step 6; the one that did not create the name gives way.
  app.instanceMutex = CreateMutexW(nullptr, FALSE, instanceName);
  if (app.instanceMutex && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(app.instanceMutex);
    app.instanceMutex = nullptr;
    SendToRunningInstance(instanceName, kRevealMessage);
    return finish(0);
  }

  // 8. Optional entry points.
  ResolveOptionalEntryPoints(app);

  // 9, 10. The shortcut list beside the program (shortcutFile was set with the program path).
  // Its loading joins here with the shortcut list.

  // 11, 12. The data folders.
  PrepareDataFolders(app);

  // 13. The monitor table.
  EnumDisplayMonitors(nullptr, nullptr, AddMonitorProc, reinterpret_cast<LPARAM>(&shell.monitors));

  // 14, 15. The main window.
  int exitCode = 0;
  if (StartMainWindow(instance, showCommand, hid)) {
    // 16. Accelerators (Alt+"?" and Alt+"/" open the about box).
    app.accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));

    // 17. GDI+ for the soft keyboards' images.
    Gdiplus::GdiplusStartupInput gdiplusInput;
    Gdiplus::GdiplusStartup(&app.gdiplusToken, &gdiplusInput, nullptr);

    // 18. The message loop.
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
      if (got == -1) break;
      if (!app.accelerators || !TranslateAcceleratorW(message.hwnd, app.accelerators, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
    if (got == 0) exitCode = static_cast<int>(message.wParam);

    // 19. The orderly end.
    if (app.gdiplusToken) Gdiplus::GdiplusShutdown(app.gdiplusToken);
  }
  if (app.wtsModuleLoaded) FreeLibrary(app.wtsModule);
  if (app.instanceMutex) CloseHandle(app.instanceMutex);
  return finish(exitCode);
}

bool StartMainWindow(HINSTANCE instance, int showCommand, HidSystem& hid) {
  Application& app = theApplication;
  app.instance = instance;
  if (app.shell.strings.instanceName[0] == 0) LoadShellStrings(instance, app.shell.strings);
  app.hid = &hid;
  app.softKeyboards.Bind(&app.keyPads, &app.shell.touchEnabled);
  app.device = std::make_unique<DeviceContext>(hid);
  PrepareAccessControl(app);
  app.ports = std::make_unique<ConnectionPorts>(
      ConnectionPorts{*app.device, app.keyCodeCache, app.softKeyboards, *app.prompts,
                      app.presenceUi, BoundedView(app.shell.paths.softKeyFolder)});
  RegisterMainWindowClass(app);
  return CreateMainWindow(instance, showCommand);
}

bool CreateMainWindow(HINSTANCE instance, int showCommand) {
  Application& app = theApplication;
  // 1. The key pad table starts cleared: no link, identity, serial number or access state.
  for (KeyPadSlot& slot : app.keyPads.slots) {
    slot.link = DeviceLink{};
    slot.modelIdentity = 0;
    slot.serialNumber = 0;
    InstallCarriedAccess(
        slot, CarriedAccess{false, AccessState::Locked, kSoftKeyNotAuthenticated, false});
  }
  app.keyPads.keyPadCount = 0;
  app.keyPads.selectedKeyPad = 0;
  app.keyPads.keyPadPresent = true;
  app.editedKeyCodes.selectedButton = -1;
  app.editedKeyCodes.selectedKey = -1;
  app.editedKeyCodes.imported = false;
  // 2. The instance that all later resources and dialogs come from.
  app.instance = instance;
  // 3. The hidden main window: a tool window of size 0, so it has no taskbar button.
  HWND window =
      CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, Wide(app.shell.strings.instanceName), L"",
                      WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, &app);
  if (!window) return false;
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  return true;
}

}  // namespace qv
