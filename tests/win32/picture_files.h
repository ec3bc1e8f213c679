// Picture, icon and plain files made at run time for the Win32 tests and benchmarks of the soft
// keys' images: pictures are drawn and encoded with GDI+ itself, icons written byte by byte.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/win32/owned.h"
#include "common/win32/owned_gdiplus.h"

namespace qv::testing {

// A folder of its own below the temporary folder, removed with everything in it.
class TempFolder {
 public:
  explicit TempFolder(const wchar_t* name) {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    path_ = std::wstring(base) + name + L"-" + std::to_wstring(GetCurrentProcessId());
    Remove(path_);
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~TempFolder() { Remove(path_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::wstring& path() const { return path_; }

  static void Remove(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    OwnedFind search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (search) {
      do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring inner = folder + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          Remove(inner);
        else
          DeleteFileW(inner.c_str());
      } while (FindNextFileW(search.get(), &found));
    }
    search.reset();
    RemoveDirectoryW(folder.c_str());
  }

 private:
  std::wstring path_;
};

inline bool WriteBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
  const OwnedFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD done = 0;
  return file &&
         WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
         done == bytes.size();
}

inline std::vector<std::uint8_t> ReadBytes(const std::wstring& path) {
  std::vector<std::uint8_t> bytes;
  const OwnedFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return bytes;
  bytes.resize(GetFileSize(file.get(), nullptr));
  DWORD done = 0;
  if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr))
    done = 0;
  bytes.resize(done);
  return bytes;
}

// The class id of the GDI+ encoder of a MIME type.
inline bool FindEncoderOf(const wchar_t* mime, CLSID& classId) {
  UINT count = 0, size = 0;
  if (Gdiplus::DllExports::GdipGetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0)
    return false;
  std::vector<Gdiplus::ImageCodecInfo> block(size / sizeof(Gdiplus::ImageCodecInfo) + 1);
  if (Gdiplus::DllExports::GdipGetImageEncoders(count, size, block.data()) != Gdiplus::Ok)
    return false;
  for (UINT i = 0; i < count; ++i) {
    if (std::wstring_view(block[i].MimeType) == mime) {
      classId = block[i].Clsid;
      return true;
    }
  }
  return false;
}

// A filled rectangle of a picture.
struct ColourBand {
  int x, y, width, height;
  Gdiplus::ARGB colour;
};

struct BrushTraits {
  using type = Gdiplus::GpSolidFill*;
  static type Invalid() { return nullptr; }
  static void Close(type brush) { Gdiplus::DllExports::GdipDeleteBrush(brush); }
};

// A width by height picture of `background` with the bands drawn on it, encoded as `mime`.
inline bool WritePicture(const std::wstring& path, int width, int height, const wchar_t* mime,
                         Gdiplus::ARGB background, std::initializer_list<ColourBand> bands) {
  namespace gdip = Gdiplus::DllExports;
  CLSID encoder;
  if (!FindEncoderOf(mime, encoder)) return false;
  Gdiplus::GpBitmap* created = nullptr;
  if (gdip::GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &created) !=
      Gdiplus::Ok)
    return false;
  const OwnedGdiplusImage picture(created);
  {
    OwnedGdiplusGraphics graphics;
    if (gdip::GdipGetImageGraphicsContext(picture.get(), graphics.put()) != Gdiplus::Ok)
      return false;
    gdip::GdipGraphicsClear(graphics.get(), background);
    for (const ColourBand& band : bands) {
      Owned<BrushTraits> brush;
      gdip::GdipCreateSolidFill(band.colour, brush.put());
      gdip::GdipFillRectangleI(graphics.get(), brush.get(), band.x, band.y, band.width,
                               band.height);
    }
  }
  return gdip::GdipSaveImageToFile(picture.get(), path.c_str(), &encoder, nullptr) == Gdiplus::Ok;
}

// A 32 by 32 icon file of one 32-bit image, every pixel `colour`.
inline bool WriteIconFile(const std::wstring& path, std::uint32_t colour = 0xFF2080C0) {
  constexpr std::uint32_t kSide = 32;
  constexpr std::uint32_t kPixels = kSide * kSide * 4, kMask = kSide * 4;
  std::vector<std::uint8_t> bytes;
  auto put16 = [&](std::uint32_t v) {
    bytes.push_back(v & 0xFF);
    bytes.push_back(v >> 8 & 0xFF);
  };
  auto put32 = [&](std::uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  put16(0), put16(1), put16(1);                                        // icon directory
  bytes.push_back(kSide), bytes.push_back(kSide), put16(0), put16(1);  // entry
  put16(32), put32(40 + kPixels + kMask), put32(22);
  put32(40), put32(kSide), put32(kSide * 2), put16(1), put16(32);  // BITMAPINFOHEADER
  put32(0), put32(kPixels + kMask), put32(0), put32(0), put32(0), put32(0);
  for (std::uint32_t i = 0; i < kSide * kSide; ++i) put32(colour);
  bytes.insert(bytes.end(), kMask, 0);
  return WriteBytes(path, bytes);
}

}  // namespace qv::testing
