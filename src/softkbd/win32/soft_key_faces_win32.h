// Where the soft keyboard's buttons get their user captions and images from: the per-slot asset
// tables of the soft-key images and texts. The soft keyboard reads captions and has images drawn
// only through this interface.
#pragma once

#include <windows.h>

#include <string_view>

namespace qv {

class SoftKeyFaces {
 public:
  virtual ~SoftKeyFaces() = default;
  // The slot's images and captions have been loaded; until then every key shows its number.
  virtual bool AssetsLoaded(int slot) = 0;
  // At most 8 characters; empty when the key or page has none.
  virtual std::u16string_view KeyCaption(int slot, int key) = 0;
  virtual std::u16string_view PageCaption(int slot, int page) = 0;
  virtual bool HasKeyImage(int slot, int key) = 0;
  // Puts the key's or page's image on the button, scaled to size x size pixels; does nothing
  // when it has none.
  virtual void SetKeyImage(int slot, int key, HWND button, int size) = 0;
  virtual void SetTabImage(int slot, int page, HWND button, int size) = 0;
};

// No images or captions loaded for any slot.
class NoSoftKeyFaces : public SoftKeyFaces {
 public:
  bool AssetsLoaded(int) override { return false; }
  std::u16string_view KeyCaption(int, int) override { return {}; }
  std::u16string_view PageCaption(int, int) override { return {}; }
  bool HasKeyImage(int, int) override { return false; }
  void SetKeyImage(int, int, HWND, int) override {}
  void SetTabImage(int, int, HWND, int) override {}
};

}  // namespace qv
