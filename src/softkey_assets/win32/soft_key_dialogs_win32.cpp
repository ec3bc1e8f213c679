#include "softkey_assets/win32/soft_key_dialogs_win32.h"

#include <commdlg.h>

#include <memory>
#include <string>

#include "access/win32/touch_keyboard_win32.h"
#include "common/ids.h"
#include "common/win32/owned.h"
#include "common/win32/ui_message_win32.h"
#include "common/win32/wide.h"
#include "common/win32/window_proc.h"
#include "softkey_assets/win32/soft_key_assets_win32.h"

namespace qv {
namespace {

constexpr wchar_t kImageFilter[] =
    L"画像ファイル(BMP/JPG/PNG/GIF/ICO)\0*.bmp;*.jpg;*.jpeg;*.png;*.gif;*.ico\0\0";
constexpr wchar_t kImageChooserTitle[] = L"画像ファイルの選択";
// The preview leaves this many pixels of the button's client area free in each direction.
constexpr int kPreviewInset = 10;
// Room for more than a caption, so that cutting sees whether a character of two units would be
// split at the eighth unit.
constexpr int kTypedCaptionChars = 64;

bool SetTitle(HWND dialog, bool (*title)(AssetTarget, char16_t (&)[kDialogTitleChars]),
              AssetTarget target) {
  char16_t text[kDialogTitleChars];
  if (!title(target, text)) return false;
  SetWindowTextW(dialog, Wide(text));
  return true;
}

bool IsRequestValid(const SoftKeyDialogRequest& request) {
  return IsSlot(request.slot) && IsValidTarget(request.target);
}

// ---------------------------------------------------------------- image dialog

struct ImageDialog {
  explicit ImageDialog(const SoftKeyDialogRequest& request)
      : request(request),
        assets(request.assets.tables.slots[request.slot]),
        files(request.assets.tables) {
    if (!KeyPadFolder(request.assets.keyPads, request.assets.softKeyFolder, request.slot, folder))
      folder[0] = 0;
  }

  const SoftKeyDialogRequest& request;
  SoftKeyAssetSlot& assets;
  Win32AssetImageFiles files;
  HWND dialog = nullptr;
  char16_t folder[kPathChars] = {};
  char16_t chosenPath[kPathChars] = {};
  ImageOwner pending;  // chosen, not yet stored
  bool pendingIsIcon = false;
  SIZE preview{};
  // The preview's own copy, shown by button 1035 (a button does not own its image).
  OwnedBitmap previewBitmap;
  OwnedIcon previewIcon;

  INT_PTR HandleDialogMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// Shows a copy of `image` scaled to the preview size on the preview button, in place of its
// text; without an image the button shows its text again.
void ShowPreview(ImageDialog& state, const PlatformImage* image, bool isIcon) {
  HWND button = GetDlgItem(state.dialog, kSoftKeyImagePreview);
  const UINT type = isIcon ? IMAGE_ICON : IMAGE_BITMAP;
  HANDLE copy = nullptr;
  if (HANDLE source = SoftKeyImageHandle(image);
      source && state.preview.cx > 0 && state.preview.cy > 0) {
    copy = CopyImage(source, type, state.preview.cx, state.preview.cy, LR_COPYFROMRESOURCE);
    // An image loaded from a file has no resource to copy from on every system.
    if (!copy) copy = CopyImage(source, type, state.preview.cx, state.preview.cy, 0);
  }
  LONG_PTR style =
      GetWindowLongPtrW(button, GWL_STYLE) & ~static_cast<LONG_PTR>(BS_BITMAP | BS_ICON);
  if (copy) style |= isIcon ? BS_ICON : BS_BITMAP;
  SetWindowLongPtrW(button, GWL_STYLE, style);
  SendMessageW(button, BM_SETIMAGE, IMAGE_BITMAP, 0);
  SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, 0);
  if (copy) SendMessageW(button, BM_SETIMAGE, type, reinterpret_cast<LPARAM>(copy));
  // The copy shown before is released only once the button no longer shows it.
  state.previewBitmap.reset(copy && !isIcon ? static_cast<HBITMAP>(copy) : nullptr);
  state.previewIcon.reset(copy && isIcon ? static_cast<HICON>(copy) : nullptr);
  InvalidateRect(button, nullptr, TRUE);
}

// A second choice replaces the first; a file that cannot be read leaves nothing pending.
void ChooseFile(ImageDialog& state) {
  char16_t path[kPathChars] = {};
  if (!state.request.chooser.ChooseImageFile(reinterpret_cast<UiWindow>(state.dialog), path))
    return;
  path[kPathChars - 1] = 0;
  BoundedCopy(state.chosenPath, BoundedView(path));
  const std::u16string_view chosen = BoundedView(state.chosenPath);
  state.pendingIsIcon = IsIconPath(chosen);
  state.pending.reset();
  PictureLoad outcome = PictureLoad::kUnreadable;
  if (state.pendingIsIcon) {
    if (OwnedIcon icon = LoadIconFile(chosen, kIconFileLimits, &outcome))
      state.pending = std::make_unique<Win32IconImage>(std::move(icon));
  } else if (OwnedBitmap bitmap =
                 LoadScaledBitmap(state.request.assets.tables, chosen, state.request.target.index,
                                  kChosenPictureLimits, &outcome)) {
    state.pending = std::make_unique<Win32BitmapImage>(std::move(bitmap));
  }
  ShowPreview(state, state.pending.get(), state.pendingIsIcon);
  // A choice that gives no picture is told, rather than leaving OK to change nothing unseen.
  if (outcome == PictureLoad::kTooLarge)
    ShowUiMessage(state.dialog, kPictureTooLargeMessage);
  else if (!state.pending)
    ShowUiMessage(state.dialog, kPictureUnreadableMessage);
}

void StorePending(ImageDialog& state) {
  if (!state.pending) {
    EndDialog(state.dialog, kSoftKeyDialogChanged);
    return;
  }
  const std::u16string_view chosen = BoundedView(state.chosenPath);
  ImageStorePlan plan;
  if (!PlanImageStore(BoundedView(state.folder), state.request.target, chosen, plan) ||
      !StoreChosenImage(state.assets, state.request.target, plan, chosen, state.pending,
                        state.files)) {
    ShowUiMessage(state.dialog, kImageStoreFailedMessage);
    EndDialog(state.dialog, kSoftKeyDialogUnchanged);
    return;
  }
  EndDialog(state.dialog, kSoftKeyDialogChanged);
}

void DeleteImage(ImageDialog& state) {
  state.pending.reset();
  if (!DeleteStoredImage(state.assets, state.request.target, BoundedView(state.folder),
                         state.files)) {
    ShowUiMessage(state.dialog, kImageDeleteFailedMessage);
    EndDialog(state.dialog, kSoftKeyDialogUnchanged);
    return;
  }
  EndDialog(state.dialog, kSoftKeyDialogChanged);
}

void OpenImageDialog(ImageDialog& state) {
  SetTitle(state.dialog, ImageDialogTitle, state.request.target);
  RECT client{};
  GetClientRect(GetDlgItem(state.dialog, kSoftKeyImagePreview), &client);
  state.preview =
      SIZE{client.right - client.left - kPreviewInset, client.bottom - client.top - kPreviewInset};
  ShowPreview(state, AssetImage(state.assets, state.request.target),
              AssetImageIsIcon(state.assets, state.request.target));
}

INT_PTR ImageDialog::HandleDialogMessage(HWND window, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    dialog = window;
    OpenImageDialog(*this);
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  switch (LOWORD(wParam)) {
    case kSoftKeyImagePreview:
    case kSoftKeyImageBrowse:
      ChooseFile(*this);
      return TRUE;
    case IDOK:
      StorePending(*this);
      return TRUE;
    case IDCANCEL:
      EndDialog(dialog, kSoftKeyDialogUnchanged);
      return TRUE;
    case kSoftKeyImageDelete:
      DeleteImage(*this);
      return TRUE;
    default:
      return FALSE;
  }
}

// ---------------------------------------------------------------- caption dialog

struct TextDialog {
  const SoftKeyDialogRequest& request;

  INT_PTR HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
};

INT_PTR TextDialog::HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    SetTitle(dialog, TextDialogTitle, request.target);
    const std::wstring caption =
        WideString(AssetCaption(request.assets.tables.slots[request.slot], request.target));
    SetDlgItemTextW(dialog, kSoftKeyTextCaption, caption.c_str());
    if (request.touchKeyboard) ShowTouchKeyboard(*request.touchKeyboard);
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  const int id = LOWORD(wParam);
  if (id != IDOK && id != IDCANCEL) return FALSE;
  bool stored = false;
  if (id == IDOK) {
    wchar_t typed[kTypedCaptionChars] = {};
    GetDlgItemTextW(dialog, kSoftKeyTextCaption, typed, kTypedCaptionChars);
    stored = StoreTypedCaption(request.assets, request.slot, request.target,
                               BoundedView(Utf16(typed), kTypedCaptionChars));
  }
  if (request.touchKeyboard) HideTouchKeyboard(*request.touchKeyboard);
  if (id == IDOK && !stored) ShowUiMessage(dialog, kCaptionStoreFailedMessage);
  EndDialog(dialog, stored ? kSoftKeyDialogChanged : kSoftKeyDialogUnchanged);
  return TRUE;
}

template <typename Run>
int WithProcessRequest(int slot, AssetTarget target, Run run) {
  Win32SoftKeyAssets& assets = ProcessSoftKeyAssets();
  if (!assets.keyPads || assets.softKeyFolder[0] == 0) return kSoftKeyDialogUnchanged;
  SoftKeyAssetContext context{assets.tables, *assets.keyPads, BoundedView(assets.softKeyFolder),
                              assets.files, assets.captions};
  Win32ImageFileChooser chooser;
  const SoftKeyDialogRequest request{context, slot, target, chooser, &SystemTouchKeyboard()};
  return run(request);
}

}  // namespace

bool Win32ImageFileChooser::ChooseImageFile(UiWindow owner, char16_t (&path)[kPathChars]) {
  wchar_t file[kPathChars] = {};
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = reinterpret_cast<HWND>(owner);
  dialog.lpstrFilter = kImageFilter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file;
  dialog.nMaxFile = kPathChars;
  dialog.lpstrTitle = kImageChooserTitle;
  dialog.lpstrDefExt = L"";
  dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_NODEREFERENCELINKS;
  if (!GetOpenFileNameW(&dialog)) return false;
  file[kPathChars - 1] = 0;
  BoundedCopy(path, BoundedView(Utf16(file), kPathChars));
  return true;
}

bool Win32AssetImageFiles::CopyIconFile(std::u16string_view from, std::u16string_view to) {
  char16_t replacement[kPathChars];
  if (from.empty() || from.size() >= kPathChars || to.empty() || to.size() >= kPathChars ||
      !ReplacementPath(to, replacement))
    return false;
  const std::wstring source = WideString(from), target = WideString(to);
  // The copy is made beside the icon file and replaces it only once complete, so a failed copy
  // leaves the old file whole. It takes no read-only attribute over from the chosen file.
  bool copied = CopyFileW(source.c_str(), Wide(replacement), FALSE) != 0 &&
                SetFileAttributesW(Wide(replacement), FILE_ATTRIBUTE_NORMAL) != 0 &&
                FlushWrittenFile(Wide(replacement));
  if (copied) {
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    copied = MoveFileExW(Wide(replacement), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }
  if (!copied) DeleteFileW(Wide(replacement));
  return copied;
}

bool Win32AssetImageFiles::SaveConvertedPicture(AssetTarget target, std::u16string_view to) {
  return SaveKeptImageAsPng(tables_, target.index, to);
}

bool Win32AssetImageFiles::RemoveFile(std::u16string_view path) {
  if (path.empty()) return true;
  if (path.size() >= kPathChars) return false;
  const std::wstring file = WideString(path);
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(file.c_str());
  return GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES;
}

int RunSoftKeyImageDialog(HINSTANCE instance, HWND owner, const SoftKeyDialogRequest& request) {
  if (!IsRequestValid(request)) return kSoftKeyDialogUnchanged;
  const std::int64_t keep = request.target.index;
  int result = kSoftKeyDialogUnchanged;
  {
    ImageDialog state(request);
    result = static_cast<int>(DialogBoxParamW(instance, MAKEINTRESOURCEW(kDialogSoftKeyImage),
                                              owner, DialogProcOf<ImageDialog>,
                                              reinterpret_cast<LPARAM>(&state)));
  }
  // A picture converted but not saved (cancelled, replaced by an icon, failed) is released.
  if (IsKeepIndex(keep)) request.assets.tables.keptImages[static_cast<std::size_t>(keep)].reset();
  return result == kSoftKeyDialogChanged ? kSoftKeyDialogChanged : kSoftKeyDialogUnchanged;
}

int RunSoftKeyTextDialog(HINSTANCE instance, HWND owner, const SoftKeyDialogRequest& request) {
  if (!IsRequestValid(request)) return kSoftKeyDialogUnchanged;
  TextDialog state{request};
  const INT_PTR result =
      DialogBoxParamW(instance, MAKEINTRESOURCEW(kDialogSoftKeyText), owner,
                      DialogProcOf<TextDialog>, reinterpret_cast<LPARAM>(&state));
  return result == kSoftKeyDialogChanged ? kSoftKeyDialogChanged : kSoftKeyDialogUnchanged;
}

int RunProcessSoftKeyImageDialog(HINSTANCE instance, HWND owner, int slot, AssetTarget target) {
  return WithProcessRequest(slot, target, [&](const SoftKeyDialogRequest& request) {
    return RunSoftKeyImageDialog(instance, owner, request);
  });
}

int RunProcessSoftKeyTextDialog(HINSTANCE instance, HWND owner, int slot, AssetTarget target) {
  return WithProcessRequest(slot, target, [&](const SoftKeyDialogRequest& request) {
    return RunSoftKeyTextDialog(instance, owner, request);
  });
}

}  // namespace qv
