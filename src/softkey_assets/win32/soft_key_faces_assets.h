// The soft keyboard's captions and images from the soft-key asset tables.
#pragma once

#include "softkbd/win32/soft_key_faces_win32.h"
#include "softkey_assets/soft_key_assets.h"

namespace qv {

class AssetSoftKeyFaces : public SoftKeyFaces {
 public:
  explicit AssetSoftKeyFaces(SoftKeyAssetTables& tables) : tables_(tables) {}
  bool AssetsLoaded(int slot) override;
  std::u16string_view KeyCaption(int slot, int key) override;
  std::u16string_view PageCaption(int slot, int page) override;
  bool HasKeyImage(int slot, int key) override;
  bool HasPageImage(int slot, int page) override;
  ButtonImage KeyImageCopy(int slot, int key, int size) override;
  ButtonImage TabImageCopy(int slot, int page, int size) override;

 private:
  ButtonImage Copy(int slot, AssetTarget target, int size);
  SoftKeyAssetTables& tables_;
};

}  // namespace qv
