// The soft keyboard of one key pad: its thread, its always-on-top window that never takes the
// focus, the header controls, the 30 key buttons and the hidden info icon window.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "access/access_ports.h"
#include "access/key_pad_table.h"
#include "common/settings_store.h"
#include "device/device_context.h"
#include "keycode/key_code_store.h"
#include "softkbd/injection.h"
#include "softkbd/layout.h"
#include "softkbd/win32/soft_key_faces_win32.h"

namespace qv {

// What every soft keyboard works with; all of it outlives the soft keyboards.
struct SoftKeyboardServices {
  KeyPadTable* table = nullptr;  // the slots' identities, access states and links
  const std::atomic<std::uint32_t>* touchEnabled = nullptr;
  const std::atomic<bool>* nonJapaneseLayout = nullptr;
  const DeviceKeyCodeCache* keyCodes = nullptr;
  DeviceContext* device = nullptr;  // the active page of paged key pads; may be null
  SettingsPort* settings = nullptr;
  std::vector<ScreenRect> monitors;
  SoftKeyFaces* faces = nullptr;
};

// Lays out a page of the window's keyboard on the window's own thread (wParam = page, or
// kLayoutCurrentPage for the page it shows).
inline constexpr UINT kLayoutPageMessage = WM_APP + 0x51;
inline constexpr WPARAM kLayoutCurrentPage = 0xFFFF;
// Timers of the soft keyboard window.
inline constexpr UINT_PTR kRepeatReleaseTimerId = 0;  // watches a held repeating key, 10 ms
inline constexpr UINT kRepeatReleaseMs = 10;
inline constexpr UINT_PTR kPageFollowTimerId = 5;  // follows the key pad's active page, 200 ms
inline constexpr UINT kPageFollowMs = 200;

// Handed to SoftKeyboardThread; lives as long as the thread.
struct SoftKeyboardThreadContext {
  const SoftKeyboardServices* services = nullptr;
  Injector* injector = nullptr;
  int slot = 0;
  SoftKeyLayout layout = SoftKeyLayout::kStandard;
  std::atomic<HWND>* window = nullptr;       // published once the window exists
  std::atomic<bool>* shown = nullptr;        // keyboardShown
  std::atomic<bool>* initialised = nullptr;  // layoutInitialised
  HANDLE ready = nullptr;                    // set when the window is up (or could not be made)
};

// The thread of one soft keyboard: creates its windows and runs their message loop until the
// window is destroyed. Returns 0.
DWORD WINAPI SoftKeyboardThread(void* context);

}  // namespace qv
