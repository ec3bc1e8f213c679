#include "softkey_assets/soft_key_assets.h"

#include "device/device_link.h"

namespace qv {
namespace {

// Values are read with room beyond a caption, so that cutting sees whether a character made of
// two units is split at the eighth unit.
constexpr std::size_t kCaptionReadChars = 32;

// The entries of a target, for a slot and for a read-only slot alike.
template <typename Slot>
auto& ImageEntry(Slot& assets, AssetTarget target) {
  return target.isPage ? assets.pageImage[target.index] : assets.keyImage[target.index];
}
template <typename Slot>
auto& IconFlagEntry(Slot& assets, AssetTarget target) {
  return target.isPage ? assets.pageImageIsIcon[target.index] : assets.keyImageIsIcon[target.index];
}
template <typename Slot>
auto& PathEntry(Slot& assets, AssetTarget target) {
  return target.isPage ? assets.pageImagePath[target.index] : assets.keyImagePath[target.index];
}
template <typename Slot>
auto& CaptionEntry(Slot& assets, AssetTarget target) {
  return target.isPage ? assets.pageCaption[target.index] : assets.keyCaption[target.index];
}

// The image of one key or page: the ".png" file wins over the ".ico" file; with neither, the
// entry has no path and no image.
void LoadImageEntry(SoftKeyAssetContext& context, SoftKeyAssetSlot& assets,
                    std::u16string_view folder, AssetTarget target) {
  IconFlagEntry(assets, target) = 0;
  ImageEntry(assets, target).reset();
  char16_t(&path)[kPathChars] = PathEntry(assets, target);
  if (folder.empty()) {
    path[0] = 0;
    return;
  }
  if (!AssetImagePath(folder, target, ImageFileKind::kPng, path) ||
      !context.files.FileOpens(BoundedView(path))) {
    if (!AssetImagePath(folder, target, ImageFileKind::kIcon, path) ||
        !context.files.FileOpens(BoundedView(path)))
      path[0] = 0;
  }
  const std::u16string_view stored = BoundedView(path);
  if (stored.empty()) return;
  if (IsIconPath(stored)) {
    IconFlagEntry(assets, target) = 1;
    ImageEntry(assets, target) = context.files.LoadIconImage(stored);
  } else {
    ImageEntry(assets, target) = context.files.LoadPictureImage(stored);
  }
}

void LoadCaptionEntry(SoftKeyAssetContext& context, SoftKeyAssetSlot& assets,
                      std::u16string_view captionFile, AssetTarget target) {
  char16_t(&caption)[kCaptionChars] = CaptionEntry(assets, target);
  caption[0] = 0;
  char16_t key[kCaptionKeyChars];
  if (captionFile.empty() || !CaptionKeyName(target, key)) return;
  char16_t value[kCaptionReadChars] = {};
  context.captions.ReadCaption(captionFile, BoundedView(key), value, kCaptionReadChars);
  value[kCaptionReadChars - 1] = 0;
  BoundedCopy(caption, CutCaption(BoundedView(value)));
}

bool WriteCaption(SoftKeyAssetContext& context, int slot, AssetTarget target) {
  if (!IsSlot(slot) || !IsValidTarget(target)) return false;
  char16_t folder[kPathChars];
  char16_t file[kPathChars];
  char16_t key[kCaptionKeyChars];
  if (!KeyPadFolder(context.keyPads, context.softKeyFolder, slot, folder) ||
      !CaptionFilePath(BoundedView(folder), file) || !CaptionKeyName(target, key))
    return false;
  const std::u16string_view caption = AssetCaption(context.tables.slots[slot], target);
  return context.captions.WriteCaption(BoundedView(file), BoundedView(key), caption);
}

}  // namespace

bool LoadSoftKeyAssets(SoftKeyAssetContext& context, int slot) {
  if (!IsSlot(slot)) return true;
  SoftKeyAssetSlot& assets = context.tables.slots[slot];
  assets.softKeyAssetsLoaded = 0;
  for (int page = 0; page < kPageCount; ++page) {
    assets.pageCaption[page][0] = 0;
    assets.pageImagePath[page][0] = 0;
  }
  for (int key = 0; key < kMaxKeys; ++key) {
    assets.keyImagePath[key][0] = 0;
    assets.keyCaption[key][0] = 0;
  }

  char16_t folder[kPathChars];
  char16_t captionFile[kPathChars];
  if (!KeyPadFolder(context.keyPads, context.softKeyFolder, slot, folder) ||
      !CaptionFilePath(BoundedView(folder), captionFile)) {
    folder[0] = 0;
    captionFile[0] = 0;
  }

  // Only the paged models show page buttons; the page images a slot held for an earlier key pad
  // are released all the same.
  const bool paged = IsPagedModel(context.keyPads.slots[slot].modelIdentity);
  for (int page = 0; page < kPageCount; ++page) {
    if (paged) {
      LoadImageEntry(context, assets, BoundedView(folder), PageTarget(page));
      LoadCaptionEntry(context, assets, BoundedView(captionFile), PageTarget(page));
    } else {
      ReplaceAssetImage(assets, PageTarget(page), nullptr, false);
    }
  }
  // Every model uses the first keys of the 144 entries; files for the others load all the same.
  for (int key = 0; key < kMaxKeys; ++key) {
    LoadImageEntry(context, assets, BoundedView(folder), KeyTarget(key));
    LoadCaptionEntry(context, assets, BoundedView(captionFile), KeyTarget(key));
  }
  assets.softKeyAssetsLoaded = 1;
  return true;
}

bool WriteKeyCaption(SoftKeyAssetContext& context, int slot, int key) {
  return WriteCaption(context, slot, KeyTarget(key));
}

bool WritePageCaption(SoftKeyAssetContext& context, int slot, int page) {
  return WriteCaption(context, slot, PageTarget(page));
}

const PlatformImage* AssetImage(const SoftKeyAssetSlot& assets, AssetTarget target) {
  return ImageEntry(assets, target).get();
}

bool AssetImageIsIcon(const SoftKeyAssetSlot& assets, AssetTarget target) {
  return IconFlagEntry(assets, target) != 0;
}

std::u16string_view AssetCaption(const SoftKeyAssetSlot& assets, AssetTarget target) {
  return BoundedView(CaptionEntry(assets, target));
}

std::u16string_view AssetImagePathOf(const SoftKeyAssetSlot& assets, AssetTarget target) {
  return BoundedView(PathEntry(assets, target));
}

void ReplaceAssetImage(SoftKeyAssetSlot& assets, AssetTarget target, ImageOwner image,
                       bool isIcon) {
  IconFlagEntry(assets, target) = image && isIcon ? 1 : 0;
  ImageEntry(assets, target) = std::move(image);
}

bool SetAssetImagePath(SoftKeyAssetSlot& assets, AssetTarget target, std::u16string_view path) {
  char16_t(&entry)[kPathChars] = PathEntry(assets, target);
  if (path.size() >= kPathChars) {
    entry[0] = 0;
    return false;
  }
  return BoundedCopy(entry, path);
}

void SetAssetCaption(SoftKeyAssetSlot& assets, AssetTarget target, std::u16string_view caption) {
  BoundedCopy(CaptionEntry(assets, target), CutCaption(caption));
}

}  // namespace qv
