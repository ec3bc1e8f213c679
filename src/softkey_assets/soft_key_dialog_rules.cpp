#include "softkey_assets/soft_key_dialog_rules.h"

namespace qv {
namespace {

bool DialogTitle(std::u16string_view prefix, AssetTarget target,
                 char16_t (&title)[kDialogTitleChars]) {
  title[0] = 0;
  if (!IsValidTarget(target)) return false;
  const unsigned number = static_cast<unsigned>(target.index) + 1;
  return BoundedFormat(title, target.isPage ? u"%s\u3000Page#%u" : u"%s\u3000Key#%u",
                       {prefix, number});
}

}  // namespace

bool ImageDialogTitle(AssetTarget target, char16_t (&title)[kDialogTitleChars]) {
  return DialogTitle(u"イメージ指定", target, title);
}

bool TextDialogTitle(AssetTarget target, char16_t (&title)[kDialogTitleChars]) {
  return DialogTitle(u"テキスト指定", target, title);
}

bool PlanImageStore(std::u16string_view keyPadFolder, AssetTarget target,
                    std::u16string_view chosenPath, ImageStorePlan& plan) {
  plan.isIcon = IsIconPath(chosenPath);
  const ImageFileKind written = plan.isIcon ? ImageFileKind::kIcon : ImageFileKind::kPng;
  const ImageFileKind other = plan.isIcon ? ImageFileKind::kPng : ImageFileKind::kIcon;
  if (AssetImagePath(keyPadFolder, target, written, plan.writePath) &&
      AssetImagePath(keyPadFolder, target, other, plan.otherPath))
    return true;
  plan.writePath[0] = 0;
  plan.otherPath[0] = 0;
  return false;
}

bool StoreChosenImage(SoftKeyAssetSlot& assets, AssetTarget target, const ImageStorePlan& plan,
                      std::u16string_view chosenPath, ImageOwner& pending, AssetImageFiles& files) {
  const std::u16string_view writePath = BoundedView(plan.writePath);
  if (!IsValidTarget(target) || !pending || writePath.empty()) return false;
  const bool written = plan.isIcon ? files.CopyIconFile(chosenPath, writePath)
                                   : files.SaveConvertedPicture(target, writePath);
  if (!written) return false;
  // A stale ".ico" beside the new ".png" never loads (the ".png" wins); a stale ".png" beside
  // the new ".ico" would.
  if (!files.RemoveFile(BoundedView(plan.otherPath)) && plan.isIcon) return false;
  SetAssetImagePath(assets, target, writePath);
  ReplaceAssetImage(assets, target, std::move(pending), plan.isIcon);
  return true;
}

bool DeleteStoredImage(SoftKeyAssetSlot& assets, AssetTarget target,
                       std::u16string_view keyPadFolder, AssetImageFiles& files) {
  if (!IsValidTarget(target)) return false;
  bool removed = true;
  const std::u16string_view stored = AssetImagePathOf(assets, target);
  if (!stored.empty()) removed = files.RemoveFile(stored);
  char16_t own[kPathChars];
  for (ImageFileKind kind : {ImageFileKind::kPng, ImageFileKind::kIcon}) {
    if (AssetImagePath(keyPadFolder, target, kind, own) && BoundedView(own) != stored)
      removed = files.RemoveFile(BoundedView(own)) && removed;
  }
  if (!removed) return false;
  ReplaceAssetImage(assets, target, nullptr, false);
  SetAssetImagePath(assets, target, u"");
  return true;
}

bool StoreTypedCaption(SoftKeyAssetContext& context, int slot, AssetTarget target,
                       std::u16string_view typed) {
  if (!IsSlot(slot) || !IsValidTarget(target)) return false;
  SoftKeyAssetSlot& assets = context.tables.slots[slot];
  char16_t old[kCaptionChars];
  BoundedCopy(old, AssetCaption(assets, target));
  SetAssetCaption(assets, target, CutCaption(typed));
  const bool written = target.isPage ? WritePageCaption(context, slot, target.index)
                                     : WriteKeyCaption(context, slot, target.index);
  if (!written) SetAssetCaption(assets, target, BoundedView(old));
  return written;
}

}  // namespace qv
