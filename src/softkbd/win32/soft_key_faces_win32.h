// Where the soft keyboard's buttons get their user captions and images from: the per-slot asset
// tables of the soft-key images and texts. The soft keyboard reads captions and has images drawn
// only through this interface.
#pragma once

#include <windows.h>

#include <string_view>

namespace qv {

// An image made for one button: a bitmap or an icon.
struct ButtonImage {
  HANDLE handle = nullptr;
  bool isIcon = false;
};

class SoftKeyFaces {
 public:
  virtual ~SoftKeyFaces() = default;
  // The slot's images and captions have been loaded; until then every key shows its number.
  virtual bool AssetsLoaded(int slot) = 0;
  // At most 8 characters; empty when the key or page has none.
  virtual std::u16string_view KeyCaption(int slot, int key) = 0;
  virtual std::u16string_view PageCaption(int slot, int page) = 0;
  virtual bool HasKeyImage(int slot, int key) = 0;
  virtual bool HasPageImage(int slot, int page) = 0;
  // A copy of the key's or page's image scaled to size x size pixels, which the caller owns and
  // puts on its button; null when it has none.
  virtual ButtonImage KeyImageCopy(int slot, int key, int size) = 0;
  virtual ButtonImage TabImageCopy(int slot, int page, int size) = 0;
};

// No images or captions loaded for any slot.
class NoSoftKeyFaces : public SoftKeyFaces {
 public:
  bool AssetsLoaded(int) override { return false; }
  std::u16string_view KeyCaption(int, int) override { return {}; }
  std::u16string_view PageCaption(int, int) override { return {}; }
  bool HasKeyImage(int, int) override { return false; }
  bool HasPageImage(int, int) override { return false; }
  ButtonImage KeyImageCopy(int, int, int) override { return {}; }
  ButtonImage TabImageCopy(int, int, int) override { return {}; }
};

}  // namespace qv
