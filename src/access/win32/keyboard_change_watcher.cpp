#include "access/win32/keyboard_change_watcher.h"

#include <objbase.h>
#include <wbemidl.h>

namespace qv {
namespace {

// Releases a COM object if there is one.
template <typename T>
void Release(T*& object) {
  if (object) {
    object->Release();
    object = nullptr;
  }
}

}  // namespace

DWORD WINAPI KeyboardChangeWatcher(LPVOID parameter) {
  auto* state = static_cast<KeyboardWatcherState*>(parameter);
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
  HRESULT security = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                          RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  // RPC_E_TOO_LATE: the process's security is set up already, which serves the query as well;
  // giving up there would leave the program blind to key pads coming and going.
  if (FAILED(security) && security != RPC_E_TOO_LATE) {
    CoUninitialize();
    return 1;
  }
  IWbemLocator* locator = nullptr;
  if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                              reinterpret_cast<void**>(&locator))) ||
      !locator) {
    CoUninitialize();
    return 1;
  }
  IWbemServices* services = nullptr;
  BSTR resource = SysAllocString(L"ROOT\\CIMV2");
  HRESULT connected =
      locator->ConnectServer(resource, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
  SysFreeString(resource);
  if (FAILED(connected) || !services) {
    Release(locator);
    CoUninitialize();
    return 1;
  }
  IEnumWbemClassObject* events = nullptr;
  HRESULT result =
      CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                        RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  if (SUCCEEDED(result)) {
    BSTR language = SysAllocString(L"WQL");
    BSTR query = SysAllocString(
        L"SELECT * FROM __InstanceOperationEvent WITHIN 1 WHERE TargetInstance ISA 'CIM_Keyboard'");
    result = services->ExecNotificationQuery(
        language, query, WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY, nullptr, &events);
    SysFreeString(language);
    SysFreeString(query);
  }
  if (FAILED(result) || !events) {
    Release(events);
    Release(services);
    Release(locator);
    CoUninitialize();
    return 1;
  }

  while (state->watcherRunning.load()) {
    IWbemClassObject* object = nullptr;
    ULONG returned = 0;
    HRESULT next = events->Next(100, 1, &object, &returned);
    if (!object) {
      if (next == WBEM_S_TIMEDOUT) continue;  // how the loop notices watcherRunning in time
      break;
    }
    object->Release();
    if (returned == 0) break;
    // Re-setting a pending timer restarts it: a burst of events gives one rescan.
    if (HWND window = state->mainWindow.load()) {
      SetTimer(window, kRescanTimerId, kMonitorChangeMs, nullptr);
      SetTimer(window, kPresenceTimerId, kMonitorChangeMs, nullptr);
    }
  }
  Release(events);
  Release(services);
  Release(locator);
  CoUninitialize();
  return 0;
}

}  // namespace qv
