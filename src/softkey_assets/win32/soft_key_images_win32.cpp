#include "softkey_assets/win32/soft_key_images_win32.h"

#include <algorithm>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/win32/wide.h"

namespace qv {
namespace {

namespace gdip = Gdiplus::DllExports;

constexpr Gdiplus::ARGB kOpaqueWhite = 0xFFFFFFFF;
constexpr Gdiplus::ARGB kTransparentWhite = 0x00FFFFFF;

// A terminated copy of a path, empty when it does not fit a path buffer.
std::wstring PathArgument(std::u16string_view path) {
  if (path.empty() || path.size() >= kPathChars) return std::wstring();
  return WideString(path);
}

// The 256 by 256 canvas with the picture's centred square drawn on it, white made transparent.
OwnedGdiplusImage ConvertPicture(Gdiplus::GpImage* source) {
  Gdiplus::GpBitmap* created = nullptr;
  if (gdip::GdipCreateBitmapFromScan0(kAssetImageSide, kAssetImageSide, 0, PixelFormat32bppARGB,
                                      nullptr, &created) != Gdiplus::Ok)
    return OwnedGdiplusImage();
  OwnedGdiplusImage canvas(created);

  OwnedGdiplusGraphics graphics;
  OwnedGdiplusImageAttributes attributes;
  if (gdip::GdipGetImageGraphicsContext(canvas.get(), graphics.put()) != Gdiplus::Ok ||
      gdip::GdipCreateImageAttributes(attributes.put()) != Gdiplus::Ok)
    return OwnedGdiplusImage();
  Gdiplus::ColorMap remap;
  remap.oldColor = Gdiplus::Color(kOpaqueWhite);
  remap.newColor = Gdiplus::Color(kTransparentWhite);
  if (gdip::GdipSetImageAttributesRemapTable(attributes.get(), Gdiplus::ColorAdjustTypeDefault,
                                             TRUE, 1, &remap) != Gdiplus::Ok ||
      gdip::GdipGraphicsClear(graphics.get(), kTransparentWhite) != Gdiplus::Ok)
    return OwnedGdiplusImage();

  UINT width = 0, height = 0;
  gdip::GdipGetImageWidth(source, &width);
  gdip::GdipGetImageHeight(source, &height);
  const SquareCrop crop = CenteredSquareCrop(width, height);
  if (crop.side == 0) return OwnedGdiplusImage();
  if (gdip::GdipDrawImageRectRectI(graphics.get(), source, 0, 0, kAssetImageSide, kAssetImageSide,
                                   crop.x, crop.y, crop.side, crop.side, Gdiplus::UnitPixel,
                                   attributes.get(), nullptr, nullptr) != Gdiplus::Ok)
    return OwnedGdiplusImage();
  // The drawing surface goes first: it may still hold drawing that reaches the canvas only when
  // it is flushed.
  graphics.reset();
  return canvas;
}

// A picture of exactly 256 by 256 ARGB pixels (what the program stores) is drawn onto the canvas
// one to one, so the canvas would hold its pixels with opaque white made transparent. That is done
// here on the decoded pixels themselves, which spares a canvas and a drawing pass for every
// stored picture that loads when a key pad connects. False when GDI+ cannot give the pixels.
bool MakeWhiteTransparentInPlace(Gdiplus::GpBitmap* picture) {
  const Gdiplus::GpRect all(0, 0, kAssetImageSide, kAssetImageSide);
  Gdiplus::BitmapData data = {};
  if (gdip::GdipBitmapLockBits(picture, &all,
                               Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeWrite,
                               PixelFormat32bppARGB, &data) != Gdiplus::Ok)
    return false;
  auto* rows = static_cast<std::uint8_t*>(data.Scan0);
  for (UINT y = 0; y < data.Height; ++y) {
    auto* pixel =
        reinterpret_cast<Gdiplus::ARGB*>(rows + static_cast<std::ptrdiff_t>(y) * data.Stride);
    for (UINT x = 0; x < data.Width; ++x)
      if (pixel[x] == kOpaqueWhite) pixel[x] = kTransparentWhite;
  }
  return gdip::GdipBitmapUnlockBits(picture, &data) == Gdiplus::Ok;
}

// The file's size and the size its bytes declare (`readSize` reads them), checked before
// anything decodes it. The file is read whole, as far as the limits allow: a JPEG's frame header
// and a GIF's frames may stand anywhere in it.
PictureLoad CheckPictureBeforeDecoding(const std::wstring& file, const PictureLimits& limits,
                                       PictureSize (*readSize)(std::span<const std::uint8_t>)) {
  const OwnedFile opened(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!opened || !GetFileSizeEx(opened.get(), &size) || size.QuadPart < 0)
    return PictureLoad::kUnreadable;
  const auto fileBytes = static_cast<std::uint64_t>(size.QuadPart);
  if (fileBytes > limits.maxFileBytes) return PictureLoad::kTooLarge;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(fileBytes));
  DWORD read = 0;
  if (!bytes.empty() &&
      !ReadFile(opened.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
    return PictureLoad::kUnreadable;
  bytes.resize(read);
  switch (CheckPictureFile(fileBytes, readSize(bytes), limits)) {
    case PictureVerdict::kAccepted:
      return PictureLoad::kLoaded;
    case PictureVerdict::kTooLarge:
      return PictureLoad::kTooLarge;
    case PictureVerdict::kSizeUnknown:
      break;
  }
  return PictureLoad::kUnreadable;
}

}  // namespace

bool FlushWrittenFile(const wchar_t* path) {
  const OwnedFile file(
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && FlushFileBuffers(file.get());
}

HANDLE SoftKeyImageHandle(const PlatformImage* image) {
  if (auto* bitmap = dynamic_cast<const Win32BitmapImage*>(image)) return bitmap->bitmap();
  if (auto* icon = dynamic_cast<const Win32IconImage*>(image)) return icon->icon();
  return nullptr;
}

OwnedBitmap LoadScaledBitmap(SoftKeyAssetTables& tables, std::u16string_view path,
                             std::int64_t keep, const PictureLimits& limits, PictureLoad* outcome) {
  PictureLoad ignored = PictureLoad::kLoaded;
  PictureLoad& result = outcome ? *outcome : ignored;
  result = PictureLoad::kUnreadable;
  // A conversion that fails leaves no kept image behind: an earlier picture must not be saved
  // in place of the one that failed.
  if (IsKeepIndex(keep)) tables.keptImages[static_cast<std::size_t>(keep)].reset();
  const std::wstring file = PathArgument(path);
  if (file.empty()) return OwnedBitmap();
  switch (CheckPictureBeforeDecoding(file, limits, ReadPictureSize)) {
    case PictureLoad::kLoaded:
      break;
    case PictureLoad::kTooLarge:
      result = PictureLoad::kTooLarge;
      return OwnedBitmap();
    case PictureLoad::kUnreadable:
      return OwnedBitmap();
  }
  const Gdiplus::ARGB background = OpaqueArgbFromColorRef(GetSysColor(COLOR_BTNFACE));

  Gdiplus::GpBitmap* decoded = nullptr;
  if (gdip::GdipCreateBitmapFromFile(file.c_str(), &decoded) != Gdiplus::Ok) return OwnedBitmap();
  const OwnedGdiplusImage source(decoded);
  UINT width = 0, height = 0;
  gdip::GdipGetImageWidth(source.get(), &width);
  gdip::GdipGetImageHeight(source.get(), &height);
  // The decoder is asked too, before anything is drawn: it has the last word on what it made
  // of the file.
  if (!PictureFits(width, height, limits)) {
    result = PictureLoad::kTooLarge;
    return OwnedBitmap();
  }

  OwnedBitmap display;
  if (!IsKeepIndex(keep)) {
    // Only pixels held as ARGB take the transparent white back unchanged.
    Gdiplus::PixelFormat format = 0;
    gdip::GdipGetImagePixelFormat(source.get(), &format);
    if (width == kAssetImageSide && height == kAssetImageSide && format == PixelFormat32bppARGB &&
        MakeWhiteTransparentInPlace(decoded)) {
      if (gdip::GdipCreateHBITMAPFromBitmap(decoded, display.put(), background) != Gdiplus::Ok)
        return OwnedBitmap();
      result = PictureLoad::kLoaded;
      return display;
    }
  }

  OwnedGdiplusImage canvas = ConvertPicture(source.get());
  if (!canvas) return OwnedBitmap();
  if (gdip::GdipCreateHBITMAPFromBitmap(static_cast<Gdiplus::GpBitmap*>(canvas.get()),
                                        display.put(), background) != Gdiplus::Ok)
    return OwnedBitmap();
  if (IsKeepIndex(keep))
    tables.keptImages[static_cast<std::size_t>(keep)] =
        std::make_unique<Win32KeptImage>(std::move(canvas));
  result = PictureLoad::kLoaded;
  return display;
}

PngEncoder FindPngEncoder() {
  PngEncoder found;
  UINT count = 0, size = 0;
  if (gdip::GdipGetImageEncodersSize(&count, &size) != Gdiplus::Ok || count == 0 ||
      size < count * sizeof(Gdiplus::ImageCodecInfo))
    return found;
  // The list and the texts it points to come in one block of `size` bytes.
  std::vector<Gdiplus::ImageCodecInfo> block(size / sizeof(Gdiplus::ImageCodecInfo) + 1);
  if (gdip::GdipGetImageEncoders(count, size, block.data()) != Gdiplus::Ok) return found;
  for (UINT i = 0; i < count; ++i) {
    const wchar_t* mime = block[i].MimeType;
    if (mime && std::wstring_view(mime) == L"image/png") {
      found.index = static_cast<int>(i);
      found.classId = block[i].Clsid;
      return found;
    }
  }
  return found;
}

bool SaveKeptImageAsPng(SoftKeyAssetTables& tables, std::int64_t target, std::u16string_view path) {
  if (!IsKeepIndex(target)) return false;
  ImageOwner& entry = tables.keptImages[static_cast<std::size_t>(target)];
  auto* kept = dynamic_cast<Win32KeptImage*>(entry.get());
  const std::wstring file = PathArgument(path);
  char16_t replacement[kPathChars];
  if (!kept || file.empty() || !ReplacementPath(path, replacement)) return false;
  const PngEncoder encoder = FindPngEncoder();
  if (encoder.index < 0) return false;

  bool saved = gdip::GdipSaveImageToFile(kept->image(), Wide(replacement), &encoder.classId,
                                         nullptr) == Gdiplus::Ok &&
               FlushWrittenFile(Wide(replacement));
  if (saved)
    saved = MoveFileExW(Wide(replacement), file.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!saved) DeleteFileW(Wide(replacement));
  entry.reset();
  return saved;
}

OwnedIcon LoadIconFile(std::u16string_view path, const PictureLimits& limits,
                       PictureLoad* outcome) {
  PictureLoad ignored = PictureLoad::kLoaded;
  PictureLoad& result = outcome ? *outcome : ignored;
  result = PictureLoad::kUnreadable;
  const std::wstring file = PathArgument(path);
  if (file.empty()) return OwnedIcon();
  // The system decodes an icon's embedded PNG at the size it declares, whatever size is asked.
  result = CheckPictureBeforeDecoding(file, limits, ReadIconSize);
  if (result != PictureLoad::kLoaded) return OwnedIcon();
  OwnedIcon icon(static_cast<HICON>(LoadImageW(nullptr, file.c_str(), IMAGE_ICON, kAssetImageSide,
                                               kAssetImageSide, LR_LOADFROMFILE)));
  if (!icon) result = PictureLoad::kUnreadable;
  return icon;
}

bool FileOpens(std::u16string_view path) {
  const std::wstring file = PathArgument(path);
  if (file.empty()) return false;
  const OwnedFile opened(CreateFileW(file.c_str(), 0,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(opened);
}

bool Win32SoftKeyFiles::FileOpens(std::u16string_view path) {
  return qv::FileOpens(path);
}

ImageOwner Win32SoftKeyFiles::LoadIconImage(std::u16string_view path) {
  OwnedIcon icon = LoadIconFile(path, kIconFileLimits);
  if (!icon) return nullptr;
  return std::make_unique<Win32IconImage>(std::move(icon));
}

ImageOwner Win32SoftKeyFiles::LoadPictureImage(std::u16string_view path) {
  OwnedBitmap bitmap = LoadScaledBitmap(tables_, path, -1, kStoredPictureLimits);
  if (!bitmap) return nullptr;
  return std::make_unique<Win32BitmapImage>(std::move(bitmap));
}

}  // namespace qv
