// The soft keys' images and captions with real GDI+, icon files and profile functions: pictures
// become 256 by 256 PNG files cropped to their centre with white made transparent, a key pad's
// folder loads into the tables, and captions keep every character whatever the code page.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/win32/wide.h"
#include "device/device_link.h"
#include "softkey_assets/win32/caption_file_win32.h"
#include "softkey_assets/win32/soft_key_images_win32.h"
#include "win32/picture_files.h"

namespace qv {
namespace {

namespace gdip = Gdiplus::DllExports;
using testing::ColourBand;
using testing::TempFolder;

constexpr Gdiplus::ARGB kWhite = 0xFFFFFFFF;
constexpr Gdiplus::ARGB kBlue = 0xFF0000FF;
constexpr Gdiplus::ARGB kRed = 0xFFFF0000;
constexpr Gdiplus::ARGB kGreen = 0xFF00FF00;

std::u16string U16(const std::wstring& text) {
  return std::u16string(Utf16(text.c_str()), text.size());
}

// The pixels of a picture file as GDI+ decodes them.
// The file system's identity of the file at `path`; 0 when it cannot be opened.
ULONGLONG FileIdentity(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION info{};
  const BOOL read = GetFileInformationByHandle(file, &info);
  CloseHandle(file);
  return read ? (ULONGLONG{info.nFileIndexHigh} << 32) | info.nFileIndexLow : 0;
}

class DecodedPicture {
 public:
  explicit DecodedPicture(const std::wstring& path) {
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (gdip::GdipCreateBitmapFromFile(path.c_str(), &bitmap) == Gdiplus::Ok) image_.reset(bitmap);
  }
  bool ok() const { return static_cast<bool>(image_); }
  SIZE Size() const {
    UINT width = 0, height = 0;
    gdip::GdipGetImageWidth(image_.get(), &width);
    gdip::GdipGetImageHeight(image_.get(), &height);
    return SIZE{static_cast<LONG>(width), static_cast<LONG>(height)};
  }
  Gdiplus::ARGB Pixel(int x, int y) const {
    Gdiplus::ARGB colour = 0;
    gdip::GdipBitmapGetPixel(static_cast<Gdiplus::GpBitmap*>(image_.get()), x, y, &colour);
    return colour;
  }

 private:
  OwnedGdiplusImage image_;
};

int Alpha(Gdiplus::ARGB c) {
  return c >> 24;
}
int Red(Gdiplus::ARGB c) {
  return c >> 16 & 0xFF;
}
int Green(Gdiplus::ARGB c) {
  return c >> 8 & 0xFF;
}
int Blue(Gdiplus::ARGB c) {
  return c & 0xFF;
}

class SoftKeyAssetsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gdiplus_);
    keyPads_.slots[0].modelIdentity = kModel0100130D;
    keyPads_.slots[0].serialNumber = 7;
    softKeyFolder_ = temp_.path() + L"\\";
    padFolder_ = softKeyFolder_ + L"130d000007";
    CreateDirectoryW(padFolder_.c_str(), nullptr);
  }

  std::wstring InPad(const wchar_t* name) const { return padFolder_ + L"\\" + name; }
  SoftKeyAssetContext Context() {
    folderText_ = U16(softKeyFolder_);
    return SoftKeyAssetContext{*tables_, keyPads_, folderText_, files_, captions_};
  }
  const SoftKeyAssetSlot& Slot() const { return tables_->slots[0]; }

  GdiplusSession gdiplus_ = StartGdiplus();
  TempFolder temp_{L"qv-soft-key-assets"};
  KeyPadTable keyPads_;
  std::unique_ptr<SoftKeyAssetTables> tables_ = std::make_unique<SoftKeyAssetTables>();
  Win32SoftKeyFiles files_{*tables_};
  Win32CaptionFile captions_;
  std::wstring softKeyFolder_, padFolder_;
  std::u16string folderText_;
};

TEST_F(SoftKeyAssetsTest, JpegBecomesCentredSquarePngWithWhiteTransparent) {
  // 400 by 300: the crop keeps x 50 to 349. Blue and green lie outside it, red starts at its
  // left edge.
  const std::wstring jpeg = temp_.path() + L"\\picture.jpg";
  ASSERT_TRUE(
      testing::WritePicture(jpeg, 400, 300, L"image/jpeg", kWhite,
                            {ColourBand{0, 0, 50, 300, kBlue}, ColourBand{50, 0, 50, 300, kRed},
                             ColourBand{350, 0, 50, 300, kGreen}}));
  OwnedBitmap display = LoadScaledBitmap(*tables_, U16(jpeg), 4, kChosenPictureLimits);
  ASSERT_TRUE(display);
  ASSERT_NE(tables_->keptImages[4], nullptr);

  // The display bitmap shows the transparent white as the button face.
  BITMAP info = {};
  ASSERT_TRUE(GetObjectW(display.get(), sizeof info, &info));
  EXPECT_EQ(info.bmWidth, 256);
  EXPECT_EQ(info.bmHeight, 256);
  {
    const OwnedMemoryDc dc(CreateCompatibleDC(nullptr));
    const SelectedObject selected(dc.get(), display.get());
    EXPECT_EQ(GetPixel(dc.get(), 160, 128), GetSysColor(COLOR_BTNFACE));
  }

  const std::wstring png = InPad(L"005.png");
  ASSERT_TRUE(testing::WriteBytes(png, {'o', 'l', 'd'}));  // replaced
  const ULONGLONG oldFile = FileIdentity(png);
  ASSERT_NE(oldFile, 0u);
  EXPECT_TRUE(SaveKeptImageAsPng(*tables_, 4, U16(png)));
  // Written whole beside the old file and moved over it, never rewritten in place: a save that
  // fails half-way leaves the old picture, and a reader sees one picture or the other.
  EXPECT_NE(FileIdentity(png), oldFile);
  EXPECT_EQ(tables_->keptImages[4], nullptr);
  EXPECT_FALSE(SaveKeptImageAsPng(*tables_, 4, U16(png)));  // nothing kept any more
  EXPECT_EQ(GetFileAttributesW(InPad(L"005.pn~").c_str()), INVALID_FILE_ATTRIBUTES);

  const DecodedPicture saved(png);
  ASSERT_TRUE(saved.ok());
  EXPECT_EQ(saved.Size().cx, 256);
  EXPECT_EQ(saved.Size().cy, 256);
  const Gdiplus::ARGB edge = saved.Pixel(3, 128);
  EXPECT_EQ(Alpha(edge), 255);
  EXPECT_GT(Red(edge), 160) << std::hex << edge;
  EXPECT_LT(Blue(edge), 96) << std::hex << edge;
  const Gdiplus::ARGB right = saved.Pixel(252, 128);  // source x 345: white, not green
  EXPECT_LT(Green(right) - Red(right), 64) << std::hex << right;
  EXPECT_EQ(Alpha(saved.Pixel(160, 128)), 0) << std::hex << saved.Pixel(160, 128);
  EXPECT_EQ(Alpha(saved.Pixel(160, 5)), 0);
}

TEST_F(SoftKeyAssetsTest, SaveReportsItsRealResultAndRefusesWhatItCannotSave) {
  const std::wstring png = temp_.path() + L"\\picture.png";
  ASSERT_TRUE(testing::WritePicture(png, 300, 400, L"image/png", kWhite, {}));
  EXPECT_TRUE(LoadScaledBitmap(*tables_, U16(png), 7, kChosenPictureLimits));
  EXPECT_GE(FindPngEncoder().index, 0);

  // A folder that does not exist: the save fails, and says so.
  EXPECT_FALSE(SaveKeptImageAsPng(*tables_, 7, U16(temp_.path() + L"\\missing\\008.png")));
  // Out of range, and a path that would be cut.
  EXPECT_TRUE(LoadScaledBitmap(*tables_, U16(png), 7, kChosenPictureLimits));
  EXPECT_FALSE(SaveKeptImageAsPng(*tables_, -1, U16(InPad(L"x.png"))));
  EXPECT_FALSE(SaveKeptImageAsPng(*tables_, 144, U16(InPad(L"x.png"))));
  EXPECT_FALSE(SaveKeptImageAsPng(*tables_, 7, std::u16string(300, u'x')));
  EXPECT_NE(tables_->keptImages[7], nullptr);
  // A keep index out of range keeps nothing; a failed conversion empties its kept entry.
  EXPECT_TRUE(LoadScaledBitmap(*tables_, U16(png), 144, kChosenPictureLimits));
  EXPECT_FALSE(
      LoadScaledBitmap(*tables_, U16(temp_.path() + L"\\none.png"), 7, kChosenPictureLimits));
  EXPECT_EQ(tables_->keptImages[7], nullptr);
}

// The 32-bit pixels of a display bitmap.
std::vector<std::uint32_t> DisplayPixels(HBITMAP bitmap) {
  std::vector<std::uint32_t> pixels(256 * 256);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = 256;
  info.bmiHeader.biHeight = -256;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  const OwnedMemoryDc dc(CreateCompatibleDC(nullptr));
  if (GetDIBits(dc.get(), bitmap, 0, 256, pixels.data(), &info, DIB_RGB_COLORS) != 256)
    pixels.clear();
  return pixels;
}

TEST_F(SoftKeyAssetsTest, StoredSquarePicturesLoadAsTheFullConversionShowsThem) {
  // A picture of the stored size and kind (256 by 256 with alpha) that still has opaque white,
  // colours and a half-transparent band.
  const std::wstring stored = InPad(L"001.png");
  ASSERT_TRUE(testing::WritePicture(
      stored, 256, 256, L"image/png", 0x00FFFFFF,
      {ColourBand{0, 0, 200, 256, kWhite}, ColourBand{0, 0, 50, 256, kRed},
       ColourBand{100, 0, 30, 256, 0x802040C0}, ColourBand{150, 100, 20, 20, kGreen}}));

  const OwnedBitmap loaded = LoadScaledBitmap(*tables_, U16(stored), -1, kStoredPictureLimits);
  const OwnedBitmap converted = LoadScaledBitmap(*tables_, U16(stored), 3, kChosenPictureLimits);
  ASSERT_TRUE(loaded && converted);
  const std::vector<std::uint32_t> a = DisplayPixels(loaded.get()),
                                   b = DisplayPixels(converted.get());
  ASSERT_EQ(a.size(), 256u * 256u);
  int differing = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const std::uint32_t x = a[i], y = b[i];
    for (int shift = 0; shift < 24; shift += 8)
      if (std::abs(int(x >> shift & 0xFF) - int(y >> shift & 0xFF)) > 1) ++differing;
  }
  EXPECT_EQ(differing, 0);
  const std::uint32_t face = GetSysColor(COLOR_BTNFACE);
  const std::uint32_t faceRgb = (face & 0xFF) << 16 | (face & 0xFF00) | (face >> 16 & 0xFF);
  EXPECT_EQ(a[128 * 256 + 180] & 0xFFFFFF, faceRgb);  // opaque white
  EXPECT_EQ(a[128 * 256 + 250] & 0xFFFFFF, faceRgb);  // transparent
}

TEST_F(SoftKeyAssetsTest, FolderLoadsPngBeforeIconAndDamagedFilesLeaveNoImage) {
  ASSERT_TRUE(testing::WritePicture(InPad(L"001.png"), 256, 256, L"image/png", kRed, {}));
  ASSERT_TRUE(testing::WriteIconFile(InPad(L"001.ico")));
  ASSERT_TRUE(testing::WriteIconFile(InPad(L"002.ico")));
  ASSERT_TRUE(testing::WriteBytes(InPad(L"003.png"), std::vector<std::uint8_t>(600, 0x5A)));
  std::vector<std::uint8_t> truncated = testing::ReadBytes(InPad(L"001.png"));
  truncated.resize(truncated.size() / 2);
  ASSERT_TRUE(testing::WriteBytes(InPad(L"004.png"), truncated));
  ASSERT_TRUE(testing::WriteBytes(InPad(L"005.ico"), {0, 0, 1, 0, 1, 0, 32, 32, 0, 0, 1, 0}));
  // A picture is decoded by its content, whatever its name says.
  ASSERT_TRUE(testing::WritePicture(InPad(L"p02.png"), 64, 48, L"image/jpeg", kGreen, {}));

  SoftKeyAssetContext context = Context();
  EXPECT_TRUE(LoadSoftKeyAssets(context, 0));
  EXPECT_EQ(Slot().softKeyAssetsLoaded.load(), 1u);

  EXPECT_EQ(AssetImagePathOf(Slot(), KeyTarget(0)), U16(InPad(L"001.png")));
  EXPECT_FALSE(AssetImageIsIcon(Slot(), KeyTarget(0)));
  HANDLE bitmap = SoftKeyImageHandle(AssetImage(Slot(), KeyTarget(0)));
  BITMAP info = {};
  ASSERT_TRUE(GetObjectW(bitmap, sizeof info, &info));
  EXPECT_EQ(info.bmWidth, 256);

  EXPECT_TRUE(AssetImageIsIcon(Slot(), KeyTarget(1)));
  ICONINFO icon = {};
  ASSERT_TRUE(
      GetIconInfo(static_cast<HICON>(SoftKeyImageHandle(AssetImage(Slot(), KeyTarget(1)))), &icon));
  const OwnedBitmap iconColour(icon.hbmColor), iconMask(icon.hbmMask);

  EXPECT_EQ(AssetImage(Slot(), KeyTarget(2)), nullptr);  // not a picture
  EXPECT_EQ(AssetImagePathOf(Slot(), KeyTarget(2)), U16(InPad(L"003.png")));
  EXPECT_EQ(AssetImage(Slot(), KeyTarget(4)), nullptr);  // a broken icon
  EXPECT_NE(AssetImage(Slot(), PageTarget(1)), nullptr);
  EXPECT_EQ(AssetImage(Slot(), PageTarget(0)), nullptr);
}

// A PNG whose header declares `side` pixels a side and which holds nothing more.
std::vector<std::uint8_t> PngHeaderOnly(std::uint32_t side) {
  std::vector<std::uint8_t> bytes = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A,
                                     0,    0,   0,   13,  'I',  'H',  'D',  'R'};
  for (int i = 0; i < 2; ++i)
    for (int shift = 24; shift >= 0; shift -= 8)
      bytes.push_back(static_cast<std::uint8_t>(side >> shift));
  bytes.insert(bytes.end(), {8, 6, 0, 0, 0, 0, 0, 0, 0});
  return bytes;
}

TEST_F(SoftKeyAssetsTest, PicturesBeyondTheLimitsAreRefusedBeforeGdiplusDecodesThem) {
  // A tiny file that declares 60000 pixels a side would need gigabytes once decoded.
  const std::wstring bomb = InPad(L"bomb.png");
  ASSERT_TRUE(testing::WriteBytes(bomb, PngHeaderOnly(60000)));
  PictureLoad outcome = PictureLoad::kLoaded;
  EXPECT_FALSE(LoadScaledBitmap(*tables_, U16(bomb), 3, kChosenPictureLimits, &outcome));
  EXPECT_EQ(outcome, PictureLoad::kTooLarge);
  EXPECT_EQ(tables_->keptImages[3], nullptr);
  // A file that is no picture at all is told apart.
  ASSERT_TRUE(testing::WriteBytes(bomb, std::vector<std::uint8_t>(100, 0x5A)));
  EXPECT_FALSE(LoadScaledBitmap(*tables_, U16(bomb), 3, kChosenPictureLimits, &outcome));
  EXPECT_EQ(outcome, PictureLoad::kUnreadable);

  // In the key pad's folder: what the program stores loads, a larger picture put there does not.
  ASSERT_TRUE(testing::WritePicture(InPad(L"001.png"), 512, 512, L"image/png", kRed, {}));
  ASSERT_TRUE(testing::WritePicture(InPad(L"002.png"), 600, 400, L"image/jpeg", kRed, {}));
  ASSERT_TRUE(testing::WritePicture(InPad(L"003.png"), 600, 400, L"image/jpeg", kRed, {}));
  SoftKeyAssetContext context = Context();
  LoadSoftKeyAssets(context, 0);
  EXPECT_NE(AssetImage(Slot(), KeyTarget(0)), nullptr);
  EXPECT_EQ(AssetImage(Slot(), KeyTarget(1)), nullptr);
  // Chosen in the image dialog, the same picture is converted.
  EXPECT_TRUE(LoadScaledBitmap(*tables_, U16(InPad(L"003.png")), 2, kChosenPictureLimits));
}

// The offset of a JPEG's frame header, walking the segments before it; 0 when there is none.
std::size_t FrameHeaderOffset(const std::vector<std::uint8_t>& jpeg) {
  std::size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
    const std::uint8_t marker = jpeg[at + 1];
    if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) return at;
    at += 2 + (std::size_t{jpeg[at + 2]} << 8 | jpeg[at + 3]);
  }
  return 0;
}

// An icon file whose one image is the given PNG file.
std::vector<std::uint8_t> IconOfPng(const std::vector<std::uint8_t>& png) {
  std::vector<std::uint8_t> icon = {0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 32, 0};
  for (const std::uint32_t value : {static_cast<std::uint32_t>(png.size()), 22u})
    for (int shift = 0; shift < 32; shift += 8)
      icon.push_back(static_cast<std::uint8_t>(value >> shift));
  icon.insert(icon.end(), png.begin(), png.end());
  return icon;
}

// GDI+ decodes all of these at a size that the file's first header does not tell; each is
// refused before it is decoded, and what the decoder would make of them never matters.
TEST_F(SoftKeyAssetsTest, PicturesWhoseSizeIsNotReadInFullAreNeverDecoded) {
  PictureLoad outcome = PictureLoad::kLoaded;
  // A JPEG with one stray byte before its frame header: GDI+ skips it and decodes the picture.
  const std::wstring jpeg = temp_.path() + L"\\stray.jpg";
  ASSERT_TRUE(testing::WritePicture(jpeg, 300, 200, L"image/jpeg", kRed, {}));
  std::vector<std::uint8_t> bytes = testing::ReadBytes(jpeg);
  const std::size_t frame = FrameHeaderOffset(bytes);
  ASSERT_NE(frame, 0u);
  EXPECT_TRUE(LoadScaledBitmap(*tables_, U16(jpeg), 3, kChosenPictureLimits));
  bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(frame), 0x00);
  ASSERT_TRUE(testing::WriteBytes(jpeg, bytes));
  EXPECT_FALSE(LoadScaledBitmap(*tables_, U16(jpeg), 3, kChosenPictureLimits, &outcome));
  EXPECT_EQ(outcome, PictureLoad::kUnreadable);
  EXPECT_EQ(tables_->keptImages[3], nullptr);

  // A GIF whose logical screen says 16 by 16 around a frame of 600 by 600, in the key pad's
  // folder: the frame counts.
  const std::wstring gif = InPad(L"006.png");
  ASSERT_TRUE(testing::WritePicture(gif, 600, 600, L"image/gif", kRed, {}));
  bytes = testing::ReadBytes(gif);
  ASSERT_GE(bytes.size(), 13u);
  bytes[6] = 16, bytes[7] = 0, bytes[8] = 16, bytes[9] = 0;
  ASSERT_TRUE(testing::WriteBytes(gif, bytes));
  EXPECT_FALSE(LoadScaledBitmap(*tables_, U16(gif), -1, kStoredPictureLimits, &outcome));
  EXPECT_EQ(outcome, PictureLoad::kTooLarge);
  SoftKeyAssetContext context = Context();
  LoadSoftKeyAssets(context, 0);
  EXPECT_EQ(AssetImage(Slot(), KeyTarget(5)), nullptr);

  // An icon whose PNG image is wider than a chosen picture may be; a small one loads.
  const std::wstring png = temp_.path() + L"\\wide.png";
  const std::wstring icon = temp_.path() + L"\\wide.ico";
  ASSERT_TRUE(testing::WritePicture(png, kIconFileLimits.maxSide + 4, 8, L"image/png", kRed, {}));
  ASSERT_TRUE(testing::WriteBytes(icon, IconOfPng(testing::ReadBytes(png))));
  EXPECT_FALSE(LoadIconFile(U16(icon), kIconFileLimits, &outcome));
  EXPECT_EQ(outcome, PictureLoad::kTooLarge);
  ASSERT_TRUE(testing::WritePicture(png, 64, 64, L"image/png", kRed, {}));
  ASSERT_TRUE(testing::WriteBytes(icon, IconOfPng(testing::ReadBytes(png))));
  EXPECT_TRUE(LoadIconFile(U16(icon), kIconFileLimits, &outcome));
  EXPECT_EQ(outcome, PictureLoad::kLoaded);
}

TEST_F(SoftKeyAssetsTest, JapaneseCaptionsSurviveAWesternCodePage) {
  // The test program runs under a Western code page here; the captions must not depend on it.
  EXPECT_NE(GetACP(), 932u) << "run under a non-Japanese locale to show the point";
  // Written into a new caption file, and into an existing empty one.
  for (const bool emptyFileFirst : {false, true}) {
    SCOPED_TRACE(emptyFileFirst ? "empty file" : "no file");
    DeleteFileW(InPad(L"softkey_text.ini").c_str());
    if (emptyFileFirst) {
      ASSERT_TRUE(testing::WriteBytes(InPad(L"softkey_text.ini"), {}));
      // The system's profile functions write an empty file in the ANSI code page: the mark goes
      // in before them.
      EXPECT_TRUE(PrepareUtf16ProfileFile(U16(InPad(L"softkey_text.ini"))));
      EXPECT_EQ(testing::ReadBytes(InPad(L"softkey_text.ini")),
                (std::vector<std::uint8_t>{0xFF, 0xFE}));
    }
    SoftKeyAssetContext context = Context();
    SetAssetCaption(tables_->slots[0], KeyTarget(4), u"日本語キャプション");
    SetAssetCaption(tables_->slots[0], PageTarget(1), u"ページ二");
    EXPECT_TRUE(WriteKeyCaption(context, 0, 4));
    EXPECT_TRUE(WritePageCaption(context, 0, 1));

    const std::vector<std::uint8_t> bytes = testing::ReadBytes(InPad(L"softkey_text.ini"));
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);

    SoftKeyAssetTables reloaded;
    Win32SoftKeyFiles files(reloaded);
    SoftKeyAssetContext again{reloaded, keyPads_, folderText_, files, captions_};
    LoadSoftKeyAssets(again, 0);
    EXPECT_TRUE(AssetCaption(reloaded.slots[0], KeyTarget(4)) == u"日本語キャプショ");
    EXPECT_TRUE(AssetCaption(reloaded.slots[0], PageTarget(1)) == u"ページ二");
    EXPECT_TRUE(AssetCaption(reloaded.slots[0], KeyTarget(0)).empty());
  }
}

TEST_F(SoftKeyAssetsTest, AnsiCaptionFileIsReadAndTurnedUtf16BeforeAWrite) {
  const std::string ansi = "[softkey]\r\ntext_001=caf\xE9 au lait\r\ntext_p01=P\xE9ge\r\n";
  ASSERT_TRUE(testing::WriteBytes(InPad(L"softkey_text.ini"),
                                  std::vector<std::uint8_t>(ansi.begin(), ansi.end())));
  wchar_t expected[16] = {};
  MultiByteToWideChar(CP_ACP, 0, "caf\xE9 au ", -1, expected, 16);  // 8 characters

  SoftKeyAssetContext context = Context();
  LoadSoftKeyAssets(context, 0);
  EXPECT_TRUE(AssetCaption(Slot(), KeyTarget(0)) == Utf16(expected));
  EXPECT_EQ(AssetCaption(Slot(), PageTarget(0)).size(), 4u);

  // The first write converts the file: its captions stay, and Japanese ones survive too.
  SetAssetCaption(tables_->slots[0], KeyTarget(1), u"漢字");
  EXPECT_TRUE(WriteKeyCaption(context, 0, 1));
  const std::vector<std::uint8_t> bytes = testing::ReadBytes(InPad(L"softkey_text.ini"));
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xFE);
  EXPECT_EQ(GetFileAttributesW(InPad(L"softkey_text.in~").c_str()), INVALID_FILE_ATTRIBUTES);
  LoadSoftKeyAssets(context, 0);
  EXPECT_TRUE(AssetCaption(Slot(), KeyTarget(0)) == Utf16(expected));
  EXPECT_EQ(AssetCaption(Slot(), PageTarget(0)).size(), 4u);
  EXPECT_TRUE(AssetCaption(Slot(), KeyTarget(1)) == u"漢字");
}

TEST_F(SoftKeyAssetsTest, ACaptionFileSavedAsUtf8ByHandIsNeverReEncoded) {
  // "日本" as UTF-8 without a mark: every byte is text in a Western code page, as other
  // characters; converting it would make those for good.
  const std::string utf8 = "[softkey]\r\ntext_001=\xE6\x97\xA5\xE6\x9C\xAC\r\n";
  const std::vector<std::uint8_t> before(utf8.begin(), utf8.end());
  ASSERT_TRUE(testing::WriteBytes(InPad(L"softkey_text.ini"), before));
  SoftKeyAssetContext context = Context();
  LoadSoftKeyAssets(context, 0);
  const std::u16string shown(AssetCaption(Slot(), KeyTarget(0)));
  SetAssetCaption(tables_->slots[0], KeyTarget(1), u"new");
  EXPECT_FALSE(WriteKeyCaption(context, 0, 1));
  EXPECT_EQ(testing::ReadBytes(InPad(L"softkey_text.ini")), before);
  LoadSoftKeyAssets(context, 0);
  EXPECT_TRUE(AssetCaption(Slot(), KeyTarget(0)) == shown);
}

// Windows' profile functions write ANSI into a UTF-8 or UTF-16BE file with its mark (and the
// mark then hides the section on line 1): such a file becomes UTF-16LE first, every caption in
// it as it was.
TEST_F(SoftKeyAssetsTest, CaptionFilesWithAUtf8OrUtf16BeMarkBecomeUtf16LeBeforeAWrite) {
  const std::u16string text = u"[softkey]\r\ntext_001=コピー\r\ntext_p01=頁\U0001F600\r\n";
  const std::string utf8 =
      "\xEF\xBB\xBF[softkey]\r\ntext_001=\xE3\x82\xB3\xE3\x83\x94\xE3\x83\xBC\r\n"
      "text_p01=\xE9\xA0\x81\xF0\x9F\x98\x80\r\n";
  std::vector<std::uint8_t> utf16be = {0xFE, 0xFF};
  for (const char16_t unit : text) {
    utf16be.push_back(static_cast<std::uint8_t>(unit >> 8));
    utf16be.push_back(static_cast<std::uint8_t>(unit & 0xFF));
  }
  for (const auto& file : {std::vector<std::uint8_t>(utf8.begin(), utf8.end()), utf16be}) {
    SCOPED_TRACE(file[0] == 0xEF ? "UTF-8" : "UTF-16BE");
    ASSERT_TRUE(testing::WriteBytes(InPad(L"softkey_text.ini"), file));
    SoftKeyAssetContext context = Context();
    SetAssetCaption(tables_->slots[0], KeyTarget(1), u"漢字");
    EXPECT_TRUE(WriteKeyCaption(context, 0, 1));
    const std::vector<std::uint8_t> bytes = testing::ReadBytes(InPad(L"softkey_text.ini"));
    ASSERT_GE(bytes.size(), 2u + 2 * text.size());
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    // The file's own text comes first, unit for unit.
    for (std::size_t i = 0; i < text.size(); ++i)
      EXPECT_EQ(bytes[2 + 2 * i] | bytes[3 + 2 * i] << 8, text[i]) << i;
    LoadSoftKeyAssets(context, 0);
    EXPECT_TRUE(AssetCaption(Slot(), KeyTarget(0)) == u"コピー");
    EXPECT_TRUE(AssetCaption(Slot(), PageTarget(0)) == u"頁\U0001F600");
    EXPECT_TRUE(AssetCaption(Slot(), KeyTarget(1)) == u"漢字");
  }
}

}  // namespace
}  // namespace qv
