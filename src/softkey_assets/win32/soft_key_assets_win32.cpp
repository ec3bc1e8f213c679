#include "softkey_assets/win32/soft_key_assets_win32.h"

namespace qv {
namespace {

template <typename Operation>
bool WithProcessContext(Operation operation) {
  Win32SoftKeyAssets& assets = ProcessSoftKeyAssets();
  if (!assets.keyPads || assets.softKeyFolder[0] == 0) return false;
  SoftKeyAssetContext context{assets.tables, *assets.keyPads, BoundedView(assets.softKeyFolder),
                              assets.files, assets.captions};
  return operation(context);
}

}  // namespace

Win32SoftKeyAssets& ProcessSoftKeyAssets() {
  static Win32SoftKeyAssets assets;
  return assets;
}

void BindProcessSoftKeyAssets(const KeyPadTable& keyPads, std::u16string_view softKeyFolder) {
  Win32SoftKeyAssets& assets = ProcessSoftKeyAssets();
  assets.keyPads = &keyPads;
  if (softKeyFolder.size() >= kPathChars || !BoundedCopy(assets.softKeyFolder, softKeyFolder))
    assets.softKeyFolder[0] = 0;
}

void LoadProcessSoftKeyAssets(int slot) {
  WithProcessContext(
      [slot](SoftKeyAssetContext& context) { return LoadSoftKeyAssets(context, slot); });
}

void ReleaseProcessSoftKeyAssets() {
  SoftKeyAssetTables& tables = ProcessSoftKeyAssets().tables;
  for (ImageOwner& kept : tables.keptImages) kept.reset();
  for (SoftKeyAssetSlot& slot : tables.slots) {
    slot.softKeyAssetsLoaded = 0;
    for (int key = 0; key < kMaxKeys; ++key)
      ReplaceAssetImage(slot, KeyTarget(key), nullptr, false);
    for (int page = 0; page < kPageCount; ++page)
      ReplaceAssetImage(slot, PageTarget(page), nullptr, false);
  }
}

}  // namespace qv
