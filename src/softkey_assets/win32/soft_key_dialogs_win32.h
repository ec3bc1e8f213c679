// The image dialog (163) and the caption dialog (164) of one soft key or page button, opened
// from a soft keyboard's context menu and owned by its window. Both return 1 when the key's or
// page's assets changed (the soft keyboard then lays itself out again, which refreshes its
// buttons' image copies) and 2 when nothing changed.
#pragma once

#include <windows.h>

#include "access/touch_keyboard.h"
#include "softkey_assets/soft_key_assets.h"
#include "softkey_assets/soft_key_dialog_rules.h"
#include "softkey_assets/win32/soft_key_images_win32.h"

namespace qv {

// The system's open-file dialog for pictures and icons.
class Win32ImageFileChooser final : public ImageFileChooser {
 public:
  bool ChooseImageFile(UiWindow owner, char16_t (&path)[kPathChars]) override;
};

// A target's image files in the key pad's folder: icons copied and pictures saved through a
// file beside the destination that replaces it in one step; removal after clearing read-only.
class Win32AssetImageFiles final : public AssetImageFiles {
 public:
  explicit Win32AssetImageFiles(SoftKeyAssetTables& tables) : tables_(tables) {}
  bool CopyIconFile(std::u16string_view from, std::u16string_view to) override;
  bool SaveConvertedPicture(AssetTarget target, std::u16string_view to) override;
  bool RemoveFile(std::u16string_view path) override;

 private:
  SoftKeyAssetTables& tables_;
};

// What a dialog works on: the assets (their tables, the key pad table and soft-key folder that
// name the key pad's folder, and the caption file), the slot of the soft keyboard that opened
// it and its key or page.
struct SoftKeyDialogRequest {
  SoftKeyAssetContext& assets;
  int slot = -1;
  AssetTarget target;
  ImageFileChooser& chooser;                     // the image dialog's file choice
  TouchKeyboardSystem* touchKeyboard = nullptr;  // the caption dialog's touch keyboard; may be null
};

inline constexpr int kSoftKeyDialogChanged = 1;
inline constexpr int kSoftKeyDialogUnchanged = 2;

// Dialog 163: 1 when a chosen image was stored or the image deleted, or on OK without a new
// choice; 2 on Cancel, for a slot or target out of range, and after a failed store or delete
// (the user was told and the old image stays).
int RunSoftKeyImageDialog(HINSTANCE instance, HWND owner, const SoftKeyDialogRequest& request);
// Dialog 164: 1 when the caption was stored and written; 2 on Cancel, for a slot or target out
// of range, and after a failed write (the user was told and the old caption stays).
int RunSoftKeyTextDialog(HINSTANCE instance, HWND owner, const SoftKeyDialogRequest& request);

// The same on the process's assets (ProcessSoftKeyAssets), the system's open-file dialog and
// touch keyboard: what the soft keyboard window calls. 2 before the assets are bound.
int RunProcessSoftKeyImageDialog(HINSTANCE instance, HWND owner, int slot, AssetTarget target);
int RunProcessSoftKeyTextDialog(HINSTANCE instance, HWND owner, int slot, AssetTarget target);

}  // namespace qv
