// How long loading one paged key pad's soft-key assets takes under the platform's own GDI+,
// icon loader and profile functions: 150 pictures as the program stores them (256 by 256 PNG
// files, a few icons) and the same folder filled with 150 large JPEG pictures, which loading
// refuses before decoding them. Prints the times of several runs; the goal for stored pictures
// is under one second per key pad.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/win32/owned_gdiplus.h"
#include "common/win32/wide.h"
#include "device/device_link.h"
#include "softkey_assets/win32/caption_file_win32.h"
#include "softkey_assets/win32/soft_key_images_win32.h"
#include "win32/picture_files.h"

namespace {

using qv::testing::ColourBand;

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

std::u16string U16(const std::wstring& text) {
  return std::u16string(qv::Utf16(text.c_str()), text.size());
}

// Loads slot 0 `runs` times and prints the fastest, median and slowest run.
void TimeLoading(const char* what, qv::SoftKeyAssetContext& context, int runs) {
  std::vector<double> times;
  int images = 0;
  for (int run = 0; run < runs; ++run) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    qv::LoadSoftKeyAssets(context, 0);
    QueryPerformanceCounter(&end);
    times.push_back(Milliseconds(start, end));
  }
  const qv::SoftKeyAssetSlot& slot = context.tables.slots[0];
  for (int key = 0; key < qv::kMaxKeys; ++key)
    if (qv::AssetImage(slot, qv::KeyTarget(key))) ++images;
  for (int page = 0; page < qv::kPageCount; ++page)
    if (qv::AssetImage(slot, qv::PageTarget(page))) ++images;
  std::sort(times.begin(), times.end());
  std::printf("%-44s images %3d  runs %d  min %8.1f ms  median %8.1f ms  max %8.1f ms\n", what,
              images, runs, times.front(), times[times.size() / 2], times.back());
}

}  // namespace

int wmain() {
  const qv::GdiplusSession gdiplus = qv::StartGdiplus();
  if (!gdiplus) {
    std::printf("GDI+ did not start\n");
    return 1;
  }
  qv::testing::TempFolder temp(L"qv-assets-bench");
  qv::KeyPadTable keyPads;
  keyPads.slots[0].modelIdentity = qv::kModel0100130D;
  keyPads.slots[0].serialNumber = 1;
  const std::wstring softKeyFolder = temp.path() + L"\\";
  const std::wstring padFolder = softKeyFolder + L"130d000001";
  CreateDirectoryW(padFolder.c_str(), nullptr);
  auto inPad = [&](const wchar_t* format, int number) {
    wchar_t name[32];
    swprintf(name, 32, format, number);
    return padFolder + L"\\" + name;
  };

  auto tables = std::make_unique<qv::SoftKeyAssetTables>();
  qv::Win32SoftKeyFiles files(*tables);
  qv::Win32CaptionFile captions;
  const std::u16string folderText = U16(softKeyFolder);
  qv::SoftKeyAssetContext context{*tables, keyPads, folderText, files, captions};

  // Stored pictures: 140 keys and 6 pages as 256 by 256 PNG files made by the program's own
  // conversion, 4 keys as icons; every key and page with a caption.
  const std::wstring source = temp.path() + L"\\source.jpg";
  if (!qv::testing::WritePicture(source, 640, 480, L"image/jpeg", 0xFFFFFFFF,
                                 {ColourBand{120, 60, 200, 300, 0xFFC02040},
                                  ColourBand{300, 200, 220, 180, 0xFF2060C0}})) {
    std::printf("no JPEG encoder\n");
    return 1;
  }
  qv::LoadScaledBitmap(*tables, U16(source), 0, qv::kChosenPictureLimits);
  const std::wstring stored = temp.path() + L"\\stored.png";
  qv::SaveKeptImageAsPng(*tables, 0, U16(stored));
  for (int key = 1; key <= qv::kMaxKeys; ++key) {
    if (key > 140)
      qv::testing::WriteIconFile(inPad(L"%03d.ico", key));
    else
      CopyFileW(stored.c_str(), inPad(L"%03d.png", key).c_str(), FALSE);
    qv::SetAssetCaption(tables->slots[0], qv::KeyTarget(key - 1), u"キー");
    qv::WriteKeyCaption(context, 0, key - 1);
  }
  for (int page = 1; page <= qv::kPageCount; ++page) {
    CopyFileW(stored.c_str(), inPad(L"p%02d.png", page).c_str(), FALSE);
    qv::SetAssetCaption(tables->slots[0], qv::PageTarget(page - 1), u"ページ");
    qv::WritePageCaption(context, 0, page - 1);
  }
  TimeLoading("stored 256x256 PNG (146) and icons (4)", context, 7);

  // Large pictures put in the folder under the stored names: 1920 by 1080 JPEG files, beyond the
  // limits of stored pictures, so each is refused on its header without being decoded.
  const std::wstring large = temp.path() + L"\\large.jpg";
  qv::testing::WritePicture(
      large, 1920, 1080, L"image/jpeg", 0xFFFFFFFF,
      {ColourBand{300, 100, 900, 700, 0xFFC02040}, ColourBand{1000, 400, 800, 600, 0xFF2060C0}});
  for (int key = 1; key <= qv::kMaxKeys; ++key) {
    DeleteFileW(inPad(L"%03d.ico", key).c_str());
    CopyFileW(large.c_str(), inPad(L"%03d.png", key).c_str(), FALSE);
  }
  for (int page = 1; page <= qv::kPageCount; ++page)
    CopyFileW(large.c_str(), inPad(L"p%02d.png", page).c_str(), FALSE);
  TimeLoading("large 1920x1080 JPEG (150), refused", context, 3);
  return 0;
}
