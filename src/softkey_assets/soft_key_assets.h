// The soft-key asset tables: per slot and key, and per slot and page button, the image the soft
// keyboard shows, whether it is an icon, the file it came from and the caption; the pictures
// converted for the image dialog and waiting to be saved; and loading all of a key pad's assets
// from its folder and storing its captions.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>

#include "access/key_pad_table.h"
#include "common/bounded_text.h"
#include "common/key_code_record.h"
#include "softkey_assets/asset_names.h"

namespace qv {

// An image of the platform: a bitmap or an icon for display, or a converted picture kept for
// saving. Whoever holds it owns it; destroying it releases the platform's object with the call
// its kind needs.
class PlatformImage {
 public:
  virtual ~PlatformImage() = default;
};
using ImageOwner = std::unique_ptr<PlatformImage>;

// One slot's assets. The dialogs change them on the thread of the slot's soft keyboard, which
// draws from them; loading runs while the slot has no soft keyboard. softKeyAssetsLoaded tells
// the soft keyboard whether the tables are complete.
struct SoftKeyAssetSlot {
  std::array<ImageOwner, kMaxKeys> keyImage;  // null: no image
  std::array<std::uint32_t, kMaxKeys> keyImageIsIcon{};
  char16_t keyImagePath[kMaxKeys][kPathChars] = {};  // empty: no image file
  char16_t keyCaption[kMaxKeys][kCaptionChars] = {};
  std::array<ImageOwner, kPageCount> pageImage;
  std::array<std::uint32_t, kPageCount> pageImageIsIcon{};
  char16_t pageImagePath[kPageCount][kPathChars] = {};
  char16_t pageCaption[kPageCount][kCaptionChars] = {};
  std::atomic<std::uint32_t> softKeyAssetsLoaded{0};
};

// One instance per program (tests create their own).
struct SoftKeyAssetTables {
  SoftKeyAssetTables() = default;
  SoftKeyAssetTables(const SoftKeyAssetTables&) = delete;
  SoftKeyAssetTables& operator=(const SoftKeyAssetTables&) = delete;

  std::array<SoftKeyAssetSlot, kMaxKeyPads> slots;
  // The picture the image dialog converted for a key or page index, until it is saved.
  std::array<ImageOwner, kMaxKeys> keptImages;
};

// Whether a key or page index names an entry of the kept images (-1 keeps nothing).
inline bool IsKeepIndex(std::int64_t keep) {
  return keep >= 0 && keep < kMaxKeys;
}

// What loading needs from the platform's files.
class SoftKeyFiles {
 public:
  virtual ~SoftKeyFiles() = default;
  // Whether the file exists and can be opened.
  virtual bool FileOpens(std::u16string_view path) = 0;
  // The icon file loaded at 256 by 256; null when it cannot be read.
  virtual ImageOwner LoadIconImage(std::u16string_view path) = 0;
  // The picture converted to its 256 by 256 display bitmap; null when it cannot be decoded.
  virtual ImageOwner LoadPictureImage(std::u16string_view path) = 0;
};

// The caption file: a profile file with one section of captions, read and written one key at a
// time.
class CaptionFile {
 public:
  virtual ~CaptionFile() = default;
  // The value of `key` in the caption section, cut to capacity - 1 units and terminated; empty
  // when the file or the key is missing.
  virtual void ReadCaption(std::u16string_view file, std::u16string_view key, char16_t* value,
                           std::size_t capacity) = 0;
  // Stores `value` under `key` (an empty value keeps the key with an empty value). A missing
  // file is created first in an encoding that keeps every character. True when written.
  virtual bool WriteCaption(std::u16string_view file, std::u16string_view key,
                            std::u16string_view value) = 0;
};

// Everything loading and caption storage work with.
struct SoftKeyAssetContext {
  SoftKeyAssetTables& tables;
  const KeyPadTable& keyPads;
  std::u16string_view softKeyFolder;  // ends with "\"
  SoftKeyFiles& files;
  CaptionFile& captions;
};

// Fills the slot's tables from its key pad's folder: for every key (and, on the paged models,
// every page button) the ".png" file, else the ".ico" file, and the caption. Every image the
// slot held is released first. softKeyAssetsLoaded is 0 while it runs and 1 afterwards. A slot
// whose folder path would be cut gets empty tables. Always true.
bool LoadSoftKeyAssets(SoftKeyAssetContext& context, int slot);

// Writes the slot's caption of a key or page to its caption file. False for a slot or index out
// of range, a path that would be cut or a failed write.
bool WriteKeyCaption(SoftKeyAssetContext& context, int slot, int key);
bool WritePageCaption(SoftKeyAssetContext& context, int slot, int page);

// Access to one entry of a slot's tables. The target must be valid (IsValidTarget).
const PlatformImage* AssetImage(const SoftKeyAssetSlot& assets, AssetTarget target);
bool AssetImageIsIcon(const SoftKeyAssetSlot& assets, AssetTarget target);
std::u16string_view AssetCaption(const SoftKeyAssetSlot& assets, AssetTarget target);
std::u16string_view AssetImagePathOf(const SoftKeyAssetSlot& assets, AssetTarget target);
// Replaces the entry's image (the one it held is released) and its icon flag; null clears it.
void ReplaceAssetImage(SoftKeyAssetSlot& assets, AssetTarget target, ImageOwner image, bool isIcon);
// Sets the entry's image file path; false, with an empty path, when it would be cut.
bool SetAssetImagePath(SoftKeyAssetSlot& assets, AssetTarget target, std::u16string_view path);
// Sets the entry's caption, cut to its first 8 characters (CutCaption).
void SetAssetCaption(SoftKeyAssetSlot& assets, AssetTarget target, std::u16string_view caption);

}  // namespace qv
