// The soft keys' pictures under Win32: GDI+ turns any picture into the 256 by 256 image the
// soft keyboard shows and the ".png" file keeps, icons come from their files, and the table's
// images own their bitmaps, icons and GDI+ images.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

#include "common/win32/owned.h"
#include "common/win32/owned_gdiplus.h"
#include "softkey_assets/picture_header.h"
#include "softkey_assets/soft_key_assets.h"

namespace qv {

// A display bitmap of the tables.
class Win32BitmapImage final : public PlatformImage {
 public:
  explicit Win32BitmapImage(OwnedBitmap bitmap) : bitmap_(std::move(bitmap)) {}
  HBITMAP bitmap() const { return bitmap_.get(); }

 private:
  OwnedBitmap bitmap_;
};

// An icon of the tables, destroyed as an icon.
class Win32IconImage final : public PlatformImage {
 public:
  explicit Win32IconImage(OwnedIcon icon) : icon_(std::move(icon)) {}
  HICON icon() const { return icon_.get(); }

 private:
  OwnedIcon icon_;
};

// A converted 256 by 256 ARGB picture kept for saving.
class Win32KeptImage final : public PlatformImage {
 public:
  explicit Win32KeptImage(OwnedGdiplusImage image) : image_(std::move(image)) {}
  Gdiplus::GpImage* image() const { return image_.get(); }

 private:
  OwnedGdiplusImage image_;
};

// The handle of a table image for BM_SETIMAGE and CopyImage: its HBITMAP or HICON (the entry's
// icon flag tells which); null for no image.
HANDLE SoftKeyImageHandle(const PlatformImage* image);

// How loading a picture went.
enum class PictureLoad {
  kLoaded,
  kTooLarge,    // the file or its declared size is beyond the limits: it was never decoded
  kUnreadable,  // missing, its size cannot be read (never decoded), or the decoder failed
};

// Converts a picture file (any format GDI+ decodes): its centred square scaled onto a 256 by 256
// ARGB canvas that starts transparent, with opaque white made transparent. Returns that canvas
// composited on the button face colour as a display bitmap. With a keep index (a key or page
// index, 0 to 143) the canvas becomes the kept image of that index (the one there is released
// first); with -1 it is released. A file larger than `limits` allow, whose bytes declare more
// pixels a side or whose size cannot be read from its bytes (ReadPictureSize) is refused before
// it is decoded; so is a picture whose size GDI+ gives beyond them, before it is drawn.
// Null when the path is 260 characters or longer, the picture is refused or cannot be decoded
// or GDI+ fails; the kept image of the index is then empty. `outcome`, when given, tells which.
OwnedBitmap LoadScaledBitmap(SoftKeyAssetTables& tables, std::u16string_view path,
                             std::int64_t keep, const PictureLimits& limits,
                             PictureLoad* outcome = nullptr);

// The installed PNG encoder: its index in GDI+'s encoder list and its class id; index -1 when
// there is none.
struct PngEncoder {
  int index = -1;
  CLSID classId{};
};
PngEncoder FindPngEncoder();

// Saves the kept image of `target` (a key or page index) as a PNG file at `path`, replacing an
// existing file in one step: the file is written beside it first, so a failed save leaves the
// old file as it was. The kept image is released after the attempt. False, saving nothing, for
// no kept image, a path that would be cut or no PNG encoder; false when the save failed.
bool SaveKeptImageAsPng(SoftKeyAssetTables& tables, std::int64_t target, std::u16string_view path);

// Makes what was written to a file (by a call that gives no handle: GDI+, CopyFileW) reach the
// disk, so that once it is moved into place a power loss cannot leave it empty. False when the
// file cannot be opened or flushed.
bool FlushWrittenFile(const wchar_t* path);

// An icon file loaded at 256 by 256; null when it cannot be read. Its images are checked first
// like a picture (ReadIconSize against `limits`); `outcome`, when given, tells why it is null.
OwnedIcon LoadIconFile(std::u16string_view path, const PictureLimits& limits,
                       PictureLoad* outcome = nullptr);

// Whether a file exists and can be opened (opened without access rights and closed again).
bool FileOpens(std::u16string_view path);

// The key pad's folder as loading reads it.
class Win32SoftKeyFiles final : public SoftKeyFiles {
 public:
  explicit Win32SoftKeyFiles(SoftKeyAssetTables& tables) : tables_(tables) {}
  bool FileOpens(std::u16string_view path) override;
  ImageOwner LoadIconImage(std::u16string_view path) override;
  ImageOwner LoadPictureImage(std::u16string_view path) override;

 private:
  SoftKeyAssetTables& tables_;
};

}  // namespace qv
