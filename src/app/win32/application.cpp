#include "app/win32/application.h"

#include <objbase.h>
#include <shlobj.h>

#include "common/win32/owned.h"
#include "common/win32/owned_gdiplus.h"
#include "common/win32/profile_store_win32.h"
#include "common/win32/wide.h"
#include "common/win32/window_proc.h"
#include "resource.h"
#include "softkey_assets/win32/soft_key_assets_win32.h"
#include "softkey_assets/win32/soft_key_faces_assets.h"

namespace qv {
namespace {

Application theApplication;

static_assert(kErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(kErrorAlreadyExists == ERROR_ALREADY_EXISTS);

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

// Returns the session module when the program had to load it (it is freed at the end); a module
// found already loaded is used but not owned.
OwnedModule ResolveOptionalEntryPoints(Application& app) {
  OwnedModule loaded;
  HMODULE wtsModule = GetModuleHandleW(L"wtsapi32.dll");
  if (!wtsModule) {
    loaded.reset(LoadLibraryW(L"wtsapi32.dll"));
    wtsModule = loaded.get();
  }
  if (wtsModule) {
    app.wtsRegisterSessionNotification = reinterpret_cast<Application::WtsRegisterProc>(
        reinterpret_cast<void*>(GetProcAddress(wtsModule, "WTSRegisterSessionNotification")));
    app.wtsUnregisterSessionNotification = reinterpret_cast<Application::WtsUnregisterProc>(
        reinterpret_cast<void*>(GetProcAddress(wtsModule, "WTSUnRegisterSessionNotification")));
  }
  if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
    app.wtsGetActiveConsoleSessionId = reinterpret_cast<Application::ActiveConsoleProc>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "WTSGetActiveConsoleSessionId")));
  }
  return loaded;
}

// Looks for a running instance (its mutex exists, whatever rights this user has on it).
bool InstanceRuns(const wchar_t* instanceName) {
  const OwnedHandle running(OpenMutexW(MUTEX_ALL_ACCESS, FALSE, instanceName));
  return IsSecondStart(InstanceMutexCall::kOpen, static_cast<bool>(running), GetLastError());
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

bool RegisterMainWindowClass(Application& app) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = WindowProcOf<Application>;
  windowClass.hInstance = app.instance;
  windowClass.hIcon = LoadIconW(app.instance, MAKEINTRESOURCEW(IDI_APP));
  windowClass.hIconSm = static_cast<HICON>(
      LoadImageW(app.instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, 16, 16, LR_SHARED));
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = Wide(app.shell.strings.instanceName);
  return RegisterClassExW(&windowClass) != 0;
}

// The exit code of a process that had to end itself after the end of the session (an orderly
// end returns 0).
constexpr UINT kSessionEndForcedExitCode = 3;

DWORD WINAPI EndProcessAfterGrace(void*) {
  Sleep(kSessionEndGraceMs);
  TerminateProcess(GetCurrentProcess(), kSessionEndForcedExitCode);
  return 0;
}

}  // namespace

Application& TheApplication() {
  return theApplication;
}

bool SendToRunningInstance(const wchar_t* className, UINT message) {
  FindInstanceWindow search{className, nullptr};
  EnumWindows(FindInstanceWindowProc, reinterpret_cast<LPARAM>(&search));
  if (!search.found) return false;
  // The running instance may answer with a prompt of its own: let it come to the front.
  DWORD process = 0;
  if (GetWindowThreadProcessId(search.found, &process) != 0 && process != 0)
    AllowSetForegroundWindow(process);
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

  // 1. COM for the main thread (the keyboard-change watcher and the shell use it). Declared
  // first, so it is uninitialised after everything below has gone.
  const ComApartment apartment(COINIT_APARTMENTTHREADED);

  // 2. The program's own path and folder.
  wchar_t modulePath[kPathChars] = {};
  DWORD moduleLength = GetModuleFileNameW(nullptr, modulePath, kPathChars);
  SetProgramPath(shell.paths, BoundedView(Utf16(modulePath),
                                          moduleLength < kPathChars ? moduleLength : kPathChars));

  // 3. The strings.
  LoadShellStrings(instance, shell.strings);
  const wchar_t* instanceName = Wide(shell.strings.instanceName);

  // 4. "/CLOSE": close the running instance, if any, and end without touching anything else.
  if (IsCloseCommand(BoundedView(Utf16(commandLine ? commandLine : L""), 32768))) {
    if (InstanceRuns(instanceName)) SendToRunningInstance(instanceName, WM_CLOSE);
    return 0;
  }

  // 5. The soft-keyboard switch; a first start writes it so that it exists afterwards.
  std::uint32_t touchValue = 0;
  if (ReadTouchSetting(app.settings, touchValue)) {
    shell.touchEnabled = touchValue != 0 ? 1 : 0;
  } else {
    WriteTouchSetting(app.settings, shell.touchEnabled);
  }

  // 6. A second start brings the running instance forward and ends.
  if (InstanceRuns(instanceName)) {
    SendToRunningInstance(instanceName, kRevealMessage);
    return 0;
  }

  // 7. The single-instance mutex stays open for the life of the process. Two starts at the same
  // moment can both get past step 6; the one that did not create the name gives way, and so does
  // one refused the name because an instance with more rights holds it.
  OwnedHandle instanceMutex(CreateMutexW(nullptr, FALSE, instanceName));
  if (IsSecondStart(InstanceMutexCall::kCreate, static_cast<bool>(instanceMutex), GetLastError())) {
    instanceMutex.reset();
    SendToRunningInstance(instanceName, kRevealMessage);
    return 0;
  }

  // 8. Optional entry points.
  const OwnedModule loadedWtsModule = ResolveOptionalEntryPoints(app);

  // 9, 10. The shortcut list beside the program (shortcutFile was set with the program path).
  // Its records are built for both key tables: the keyboard layout is read only when the main
  // window is created.
  Win32ProfileStore profiles;
  LoadShortcuts(profiles, BoundedView(shell.paths.shortcutFile), app.shortcuts);

  // 11, 12. The data folders.
  PrepareDataFolders(app);

  // 13. The soft keyboards check a stored position against the monitors attached when they
  // start, not against a table taken now.

  // 14, 15. The main window.
  if (!StartMainWindow(instance, showCommand, hid)) return 0;

  // Windows starts the program again after an update or installer closed it (not after a crash
  // or a hang, and not after a restart of the system, where the logon's Run value starts it).
  RegisterApplicationRestart(nullptr, RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT);
  // Once the end of the session has been handled, the process ends within a few seconds even if
  // something on the main thread's stack keeps the loop below from ending.
  app.onSessionEnded = [] {
    // The thread runs on by itself; its handle is not needed.
    const OwnedHandle watchdog(CreateThread(nullptr, 0, EndProcessAfterGrace, nullptr, 0, nullptr));
  };

  // 16. Accelerators (Alt+"?" and Alt+"/" open the about box).
  app.accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));

  // 17. GDI+ for the soft keyboards' images, shut down when this function ends.
  const GdiplusSession gdiplus = StartGdiplus();

  // 18. The message loop.
  int exitCode = 0;
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

  // 19. The orderly end: the key pads' links go now, while the HID system they came from (the
  // caller's) still exists; GDI+, the session module, the mutex and COM follow as their owners
  // go out of scope.
  for (KeyPadSlot& slot : app.keyPads.slots) CloseLink(*app.device, slot.link);
  // The soft keys' images go while GDI+ still runs: the kept pictures are GDI+ images.
  ReleaseProcessSoftKeyAssets();
  return exitCode;
}

bool StartMainWindow(HINSTANCE instance, int showCommand, HidSystem& hid) {
  Application& app = theApplication;
  app.instance = instance;
  if (app.shell.strings.instanceName[0] == 0) LoadShellStrings(instance, app.shell.strings);
  app.hid = &hid;
  app.softKeyboards.Bind(&app.keyPads, &app.shell.touchEnabled);
  BindProcessSoftKeyAssets(app.keyPads, BoundedView(app.shell.paths.softKeyFolder));
  app.device = std::make_unique<DeviceContext>(hid);
  SoftKeyboardServices softKeyboardServices;
  softKeyboardServices.table = &app.keyPads;
  softKeyboardServices.touchEnabled = &app.shell.touchEnabled;
  softKeyboardServices.nonJapaneseLayout = &app.shell.nonJapaneseLayout;
  softKeyboardServices.keyCodes = &app.keyCodeCache;
  softKeyboardServices.edited = &app.editedKeyCodes;
  softKeyboardServices.mainWindow = &app.sharedMainWindow;
  softKeyboardServices.device = app.device.get();
  softKeyboardServices.settings = &app.settings;
  // The soft keyboards draw the captions and images of the process's soft-key assets.
  static AssetSoftKeyFaces faces(ProcessSoftKeyAssets().tables);
  softKeyboardServices.faces = &faces;
  PrepareAccessControl(app);
  softKeyboardServices.dialogs = app.softKeyDialogs.get();
  app.softKeyboards.Attach(std::move(softKeyboardServices));
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
