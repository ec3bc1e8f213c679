// Owners of the Win32 resources the program holds: every kernel handle, registry key, GDI
// object, icon, module, menu and COM interface pointer has exactly one owner that releases it
// when it goes away, so no error path can forget one and no path releases one twice.
#pragma once

#include <windows.h>

#include <objbase.h>
// After windows.h, which they build on.
#include <setupapi.h>

#include <utility>

namespace qv {

// Traits: `using type`; `static type Invalid()`; `static void Close(type)` (never called with
// Invalid()).
template <typename Traits>
class Owned {
 public:
  using type = typename Traits::type;

  explicit Owned(type value = Traits::Invalid()) : value_(value) {}
  ~Owned() { reset(); }
  Owned(Owned&& other) noexcept : value_(other.release()) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  type get() const { return value_; }
  explicit operator bool() const { return value_ != Traits::Invalid(); }
  // Gives the resource up without releasing it.
  type release() { return std::exchange(value_, Traits::Invalid()); }
  // Releases the resource held (if any) and takes `value`.
  void reset(type value = Traits::Invalid()) {
    type old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }
  // For functions that return a resource through a pointer: releases what is held first.
  type* put() {
    reset();
    return &value_;
  }

 private:
  type value_;
};

// Kernel objects whose "none" is null: threads, events, mutexes, processes.
struct KernelHandleTraits {
  using type = HANDLE;
  static type Invalid() { return nullptr; }
  static void Close(type handle) { CloseHandle(handle); }
};
using OwnedHandle = Owned<KernelHandleTraits>;

// Kernel objects whose "none" is INVALID_HANDLE_VALUE: files, devices, process snapshots.
struct FileHandleTraits {
  using type = HANDLE;
  static type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(type handle) { CloseHandle(handle); }
};
using OwnedFile = Owned<FileHandleTraits>;

// A search of FindFirstFileW.
struct FindHandleTraits {
  using type = HANDLE;
  static type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(type handle) { FindClose(handle); }
};
using OwnedFind = Owned<FindHandleTraits>;

// A device information list of the setup API.
struct DeviceInfoListTraits {
  using type = HDEVINFO;
  static type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(type list) { SetupDiDestroyDeviceInfoList(list); }
};
using OwnedDeviceInfoList = Owned<DeviceInfoListTraits>;

// A block of the process heap.
struct ProcessHeapTraits {
  using type = void*;
  static type Invalid() { return nullptr; }
  static void Close(type block) { HeapFree(GetProcessHeap(), 0, block); }
};
using OwnedHeapBlock = Owned<ProcessHeapTraits>;

struct RegistryKeyTraits {
  using type = HKEY;
  static type Invalid() { return nullptr; }
  static void Close(type key) { RegCloseKey(key); }
};
using OwnedRegistryKey = Owned<RegistryKeyTraits>;

// Fonts, bitmaps, brushes, pens and regions. An object selected into a device context is
// selected out again before its owner goes away (SelectedObject below).
template <typename Handle>
struct GdiObjectTraits {
  using type = Handle;
  static type Invalid() { return nullptr; }
  static void Close(type object) { DeleteObject(object); }
};
using OwnedFont = Owned<GdiObjectTraits<HFONT>>;
using OwnedBitmap = Owned<GdiObjectTraits<HBITMAP>>;
using OwnedBrush = Owned<GdiObjectTraits<HBRUSH>>;
using OwnedRegion = Owned<GdiObjectTraits<HRGN>>;

struct IconTraits {
  using type = HICON;
  static type Invalid() { return nullptr; }
  static void Close(type icon) { DestroyIcon(icon); }
};
using OwnedIcon = Owned<IconTraits>;

// A module the program loaded itself (a module found already loaded is not owned).
struct ModuleTraits {
  using type = HMODULE;
  static type Invalid() { return nullptr; }
  static void Close(type module) { FreeLibrary(module); }
};
using OwnedModule = Owned<ModuleTraits>;

// A menu loaded from the resources and not attached to a window.
struct MenuTraits {
  using type = HMENU;
  static type Invalid() { return nullptr; }
  static void Close(type menu) { DestroyMenu(menu); }
};
using OwnedMenu = Owned<MenuTraits>;

// A hook put in by SetWindowsHookExW. (A low-level hook is served by a thread of its own, which
// removes it itself: see hook_thread.h.)
struct WindowsHookTraits {
  using type = HHOOK;
  static type Invalid() { return nullptr; }
  static void Close(type hook) { UnhookWindowsHookEx(hook); }
};
using OwnedHook = Owned<WindowsHookTraits>;

// A memory device context made with CreateCompatibleDC.
struct MemoryDcTraits {
  using type = HDC;
  static type Invalid() { return nullptr; }
  static void Close(type dc) { DeleteDC(dc); }
};
using OwnedMemoryDc = Owned<MemoryDcTraits>;

// One reference of a COM interface.
template <typename Interface>
struct ComTraits {
  using type = Interface*;
  static type Invalid() { return nullptr; }
  static void Close(type object) { object->Release(); }
};
template <typename Interface>
using ComPtr = Owned<ComTraits<Interface>>;

struct BstrTraits {
  using type = BSTR;
  static type Invalid() { return nullptr; }
  static void Close(type text) { SysFreeString(text); }
};
using OwnedBstr = Owned<BstrTraits>;

// A GDI object selected into a device context for the life of this object; the previous object
// is selected back when it goes away, so the owner of `object` can delete it safely afterwards.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (previous_ != nullptr && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// COM initialised for the calling thread for the life of this object; uninitialised only when
// the initialisation succeeded.
class ComApartment {
 public:
  explicit ComApartment(DWORD model) : result_(CoInitializeEx(nullptr, model)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool ok() const { return SUCCEEDED(result_); }

 private:
  HRESULT result_;
};

}  // namespace qv
