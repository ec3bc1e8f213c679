// The owner of a GDI+ session, apart from owned.h so that only its users pull in the GDI+
// headers.
#pragma once

#include <windows.h>

// Before gdiplus.h, which needs the COM declarations (objbase.h) that WIN32_LEAN_AND_MEAN leaves
// out of windows.h.
#include "common/win32/owned.h"

#include <gdiplus.h>

namespace qv {

// The token of a successful GdiplusStartup; GDI+ is shut down with it when the owner goes away.
struct GdiplusTokenTraits {
  using type = ULONG_PTR;
  static type Invalid() { return 0; }
  static void Close(type token) { Gdiplus::GdiplusShutdown(token); }
};
using GdiplusSession = Owned<GdiplusTokenTraits>;

// Starts GDI+ (version 1, no debug callback, its background thread and the external codecs not
// suppressed). An empty session when the start failed.
inline GdiplusSession StartGdiplus() {
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return GdiplusSession();
  return GdiplusSession(token);
}

// A GDI+ image (also a bitmap made by GDI+).
struct GdiplusImageTraits {
  using type = Gdiplus::GpImage*;
  static type Invalid() { return nullptr; }
  static void Close(type image) { Gdiplus::DllExports::GdipDisposeImage(image); }
};
using OwnedGdiplusImage = Owned<GdiplusImageTraits>;

// A GDI+ drawing surface.
struct GdiplusGraphicsTraits {
  using type = Gdiplus::GpGraphics*;
  static type Invalid() { return nullptr; }
  static void Close(type graphics) { Gdiplus::DllExports::GdipDeleteGraphics(graphics); }
};
using OwnedGdiplusGraphics = Owned<GdiplusGraphicsTraits>;

// GDI+ image attributes (with their colour remap table).
struct GdiplusImageAttributesTraits {
  using type = Gdiplus::GpImageAttributes*;
  static type Invalid() { return nullptr; }
  static void Close(type attributes) {
    Gdiplus::DllExports::GdipDisposeImageAttributes(attributes);
  }
};
using OwnedGdiplusImageAttributes = Owned<GdiplusImageAttributesTraits>;

}  // namespace qv
