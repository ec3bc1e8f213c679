#include "softkey_assets/win32/soft_key_faces_assets.h"

#include "softkey_assets/win32/soft_key_images_win32.h"

namespace qv {

bool AssetSoftKeyFaces::AssetsLoaded(int slot) {
  return IsSlot(slot) && tables_.slots[slot].softKeyAssetsLoaded.load() == 1;
}

std::u16string_view AssetSoftKeyFaces::KeyCaption(int slot, int key) {
  if (!AssetsLoaded(slot)) return {};
  return AssetCaption(tables_.slots[slot], KeyTarget(key));
}

std::u16string_view AssetSoftKeyFaces::PageCaption(int slot, int page) {
  if (!AssetsLoaded(slot)) return {};
  return AssetCaption(tables_.slots[slot], PageTarget(page));
}

bool AssetSoftKeyFaces::HasKeyImage(int slot, int key) {
  return AssetsLoaded(slot) && AssetImage(tables_.slots[slot], KeyTarget(key)) != nullptr;
}

bool AssetSoftKeyFaces::HasPageImage(int slot, int page) {
  return AssetsLoaded(slot) && AssetImage(tables_.slots[slot], PageTarget(page)) != nullptr;
}

ButtonImage AssetSoftKeyFaces::KeyImageCopy(int slot, int key, int size) {
  return Copy(slot, KeyTarget(key), size);
}

ButtonImage AssetSoftKeyFaces::TabImageCopy(int slot, int page, int size) {
  return Copy(slot, PageTarget(page), size);
}

ButtonImage AssetSoftKeyFaces::Copy(int slot, AssetTarget target, int size) {
  if (!AssetsLoaded(slot) || size <= 0) return {};
  const SoftKeyAssetSlot& assets = tables_.slots[slot];
  HANDLE image = SoftKeyImageHandle(AssetImage(assets, target));
  if (!image) return {};
  const bool isIcon = AssetImageIsIcon(assets, target);
  return {CopyImage(image, isIcon ? IMAGE_ICON : IMAGE_BITMAP, size, size, 0), isIcon};
}

}  // namespace qv
