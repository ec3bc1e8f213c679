#include "access/win32/keyboard_change_watcher.h"

#include <objbase.h>
#include <wbemidl.h>

#include "common/win32/owned.h"

namespace qv {

DWORD WINAPI KeyboardChangeWatcher(LPVOID parameter) {
  auto* state = static_cast<KeyboardWatcherState*>(parameter);
  // Declared first, so COM is uninitialised only after every interface below was released.
  const ComApartment apartment(COINIT_MULTITHREADED);
  if (!apartment.ok()) return 1;
  HRESULT security = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                          RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  // RPC_E_TOO_LATE: the process's security is set up already, which serves the query as well;
  // giving up there would leave the program blind to key pads coming and going.
  if (FAILED(security) && security != RPC_E_TOO_LATE) return 1;
  ComPtr<IWbemLocator> locator;
  if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                              reinterpret_cast<void**>(locator.put()))) ||
      !locator)
    return 1;
  ComPtr<IWbemServices> services;
  {
    const OwnedBstr resource(SysAllocString(L"ROOT\\CIMV2"));
    if (FAILED(locator.get()->ConnectServer(resource.get(), nullptr, nullptr, nullptr, 0, nullptr,
                                            nullptr, services.put())) ||
        !services)
      return 1;
  }
  ComPtr<IEnumWbemClassObject> events;
  HRESULT result =
      CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                        RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  if (SUCCEEDED(result)) {
    const OwnedBstr language(SysAllocString(L"WQL"));
    const OwnedBstr query(
        SysAllocString(L"SELECT * FROM __InstanceOperationEvent WITHIN 1 WHERE TargetInstance ISA "
                       L"'CIM_Keyboard'"));
    result = services.get()->ExecNotificationQuery(
        language.get(), query.get(), WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY, nullptr,
        events.put());
  }
  if (FAILED(result) || !events) return 1;

  while (state->watcherRunning.load()) {
    ComPtr<IWbemClassObject> object;  // released unread at the end of each pass
    ULONG returned = 0;
    HRESULT next = events.get()->Next(100, 1, object.put(), &returned);
    if (!object) {
      if (next == WBEM_S_TIMEDOUT) continue;  // how the loop notices watcherRunning in time
      break;
    }
    if (returned == 0) break;
    // A timer can be set only by the thread that owns the window: the main window sets its
    // monitor timers itself when it takes this message.
    if (HWND window = state->mainWindow.load()) PostMessageW(window, kKeyboardChangedMessage, 0, 0);
  }
  return 0;
}

}  // namespace qv
