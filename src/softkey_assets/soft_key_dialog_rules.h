// What the image dialog and the text dialog of a soft key or page button decide: their titles,
// which file a chosen picture is stored in and which stored file it replaces, in which order the
// files change, and the caption kept from what the user typed.
#pragma once

#include <cstddef>
#include <string_view>

#include "common/bounded_text.h"
#include "common/ui_message.h"
#include "softkey_assets/asset_names.h"
#include "softkey_assets/picture_header.h"
#include "softkey_assets/soft_key_assets.h"

namespace qv {

// The titles of the dialogs as the resource script holds them; they title the messages of the
// dialogs too.
inline constexpr std::u16string_view kImageDialogResourceTitle = u"イメージの指定";
inline constexpr std::u16string_view kTextDialogResourceTitle = u"テキスト指定";

// What the user is told when a change could not reach the key pad's folder; nothing was changed.
inline constexpr UiMessage kImageStoreFailedMessage{
    kImageDialogResourceTitle,
    u"イメージの保存に失敗しました。\n以前のイメージがそのまま残ります。", MessageIcon::kError};
inline constexpr UiMessage kImageDeleteFailedMessage{
    kImageDialogResourceTitle,
    u"イメージの削除に失敗しました。\n以前のイメージがそのまま残ります。", MessageIcon::kError};
inline constexpr UiMessage kCaptionStoreFailedMessage{
    kTextDialogResourceTitle, u"テキストの保存に失敗しました。\n以前のテキストがそのまま残ります。",
    MessageIcon::kError};

// What the image dialog tells when the chosen file gives no picture; the choice before it is gone
// and OK changes nothing. The limits stated are kChosenPictureLimits (picture_header.h).
inline constexpr UiMessage kPictureUnreadableMessage{
    kImageDialogResourceTitle,
    u"選択したファイルは画像として読み込めません。\n別の画像ファイルを選択してください。",
    MessageIcon::kError};
inline constexpr UiMessage kPictureTooLargeMessage{
    kImageDialogResourceTitle,
    u"選択した画像は大きすぎるため使用できません。\n"
    u"幅と高さが4096ピクセル以下、ファイルサイズが64MB以下の画像を選択してください。",
    MessageIcon::kError};
static_assert(kChosenPictureLimits.maxSide == 4096 &&
                  kChosenPictureLimits.maxFileBytes == 64ull * 1024 * 1024 &&
                  kIconFileLimits.maxSide == 4096 &&
                  kIconFileLimits.maxFileBytes == 64ull * 1024 * 1024,
              "kPictureTooLargeMessage states these limits");

// The dialogs' titles name their target with its number: "イメージ指定　Key#5",
// "テキスト指定　Page#2" (an ideographic space before "Key" and "Page"). Empty, false, for a
// target out of range.
inline constexpr std::size_t kDialogTitleChars = 32;
bool ImageDialogTitle(AssetTarget target, char16_t (&title)[kDialogTitleChars]);
bool TextDialogTitle(AssetTarget target, char16_t (&title)[kDialogTitleChars]);

// Choosing the picture or icon file for the image dialog (the system's open-file dialog).
class ImageFileChooser {
 public:
  virtual ~ImageFileChooser() = default;
  // True when the user chose a file; `path` then holds it (at most 259 characters).
  virtual bool ChooseImageFile(UiWindow owner, char16_t (&path)[kPathChars]) = 0;
};

// The platform's side of storing and deleting a target's image file.
class AssetImageFiles {
 public:
  virtual ~AssetImageFiles() = default;
  // Copies the chosen icon file byte for byte to `to`, replacing what is there. True when the
  // whole copy is in place.
  virtual bool CopyIconFile(std::u16string_view from, std::u16string_view to) = 0;
  // Saves the picture converted for the target (its kept image) as a PNG file at `to`. True
  // when the file is in place.
  virtual bool SaveConvertedPicture(AssetTarget target, std::u16string_view to) = 0;
  // Makes the file writable and deletes it. True when no file is left at the path (also when
  // there was none).
  virtual bool RemoveFile(std::u16string_view path) = 0;
};

// Storing a chosen file: an icon (".ico" in any case) is copied to the target's ".ico" file,
// any other picture is saved as its ".png" file; the file of the other kind is removed.
struct ImageStorePlan {
  bool isIcon = false;
  char16_t writePath[kPathChars] = {};
  char16_t otherPath[kPathChars] = {};
};
// False for a target out of range, no key pad folder or a path that would be cut.
bool PlanImageStore(std::u16string_view keyPadFolder, AssetTarget target,
                    std::u16string_view chosenPath, ImageStorePlan& plan);

// Stores the chosen image: the new file is written first, and only once it is in place is the
// file of the other kind removed and the target's image, icon flag and path replaced (`pending`
// is then taken). A failed write changes nothing, so the old image, kind and file stay as they
// were. A ".png" file left beside a new ".ico" file would win when the key pad loads again, so
// for an icon a ".png" file that cannot be removed fails the store as well. False on failure,
// with `pending` left to the caller.
bool StoreChosenImage(SoftKeyAssetSlot& assets, AssetTarget target, const ImageStorePlan& plan,
                      std::u16string_view chosenPath, ImageOwner& pending, AssetImageFiles& files);

// Deletes the target's image: its stored files (the one its path names and both kinds of its
// own, so that neither can load again) are removed, then its image and path are cleared. Its
// caption is kept and shows again. False, changing no table, when a file cannot be removed.
bool DeleteStoredImage(SoftKeyAssetSlot& assets, AssetTarget target,
                       std::u16string_view keyPadFolder, AssetImageFiles& files);

// Stores the caption typed in the text dialog, cut to its first 8 characters (CutCaption), and
// writes it to the key pad's caption file at once. A failed write puts the old caption back, so
// the tables keep what the file holds. False on failure.
bool StoreTypedCaption(SoftKeyAssetContext& context, int slot, AssetTarget target,
                       std::u16string_view typed);

}  // namespace qv
