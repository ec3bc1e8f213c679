// The process's soft-key assets: the one set of tables the soft keyboards draw from, loaded and
// stored through the Win32 files and caption file.
#pragma once

#include <string_view>

#include "access/key_pad_table.h"
#include "softkey_assets/soft_key_assets.h"
#include "softkey_assets/win32/caption_file_win32.h"
#include "softkey_assets/win32/soft_key_images_win32.h"

namespace qv {

struct Win32SoftKeyAssets {
  SoftKeyAssetTables tables;
  Win32SoftKeyFiles files{tables};
  Win32CaptionFile captions;
  // Bound at start-up: the key pad table whose slots name the key pads, and the soft-key folder.
  const KeyPadTable* keyPads = nullptr;
  char16_t softKeyFolder[kPathChars] = {};
};

// The process's instance. The soft keyboard windows read their slot's entries from
// ProcessSoftKeyAssets().tables.slots[slot] (images through SoftKeyImageHandle).
Win32SoftKeyAssets& ProcessSoftKeyAssets();

// Binds the process's assets to the key pad table and the soft-key folder (ending with "\"). A
// folder that does not fit leaves the folder empty: nothing is then loaded or stored.
void BindProcessSoftKeyAssets(const KeyPadTable& keyPads, std::u16string_view softKeyFolder);

// LoadSoftKeyAssets on the process's assets; it does nothing before the assets are bound.
void LoadProcessSoftKeyAssets(int slot);

// Releases every image of the process's tables (the kept GDI+ images need GDI+ still running).
void ReleaseProcessSoftKeyAssets();

}  // namespace qv
