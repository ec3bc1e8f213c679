// One window-procedure trampoline for every window and dialog of the program: the state object
// comes with the creation (lpCreateParams, or the dialog's init parameter), is kept in the
// window's GWLP_USERDATA, and every later message goes to its member.
//   WindowProcOf<T>: T has LRESULT HandleMessage(HWND, UINT, WPARAM, LPARAM).
//   DialogProcOf<T>: T has INT_PTR HandleDialogMessage(HWND, UINT, WPARAM, LPARAM).
// Messages that arrive before the state is known (WM_GETMINMAXINFO before WM_NCCREATE, a
// dialog's WM_SETFONT before WM_INITDIALOG) get default processing. A window's state must
// outlive its window; the window lets go of it after its last message (WM_NCDESTROY), so no
// message can reach a state that went away with its window.
#pragma once

#include <windows.h>

namespace qv {

template <typename T>
T* WindowStateOf(HWND window) {
  return reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

template <typename T>
LRESULT CALLBACK WindowProcOf(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(create ? create->lpCreateParams : nullptr));
  }
  T* state = WindowStateOf<T>(window);
  if (!state) return DefWindowProcW(window, message, wParam, lParam);
  const LRESULT result = state->HandleMessage(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  return result;
}

template <typename T>
INT_PTR CALLBACK DialogProcOf(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
  T* state = WindowStateOf<T>(dialog);
  if (!state) return FALSE;
  const INT_PTR result = state->HandleDialogMessage(dialog, message, wParam, lParam);
  if (message == WM_NCDESTROY) SetWindowLongPtrW(dialog, GWLP_USERDATA, 0);
  return result;
}

// Registers a window class whose procedure is WindowProcOf<T>, with the program's icon `iconId`,
// the arrow cursor and the window colour. A class already registered under `name` (by an earlier
// window of the same kind in this process) counts as registered.
template <typename T>
bool RegisterWindowClassOf(const wchar_t* name, unsigned iconId) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = WindowProcOf<T>;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(iconId));
  windowClass.hIconSm = windowClass.hIcon;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = name;
  return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace qv
