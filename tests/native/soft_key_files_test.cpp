// What the soft-key folder's files must be before the program touches them: a picture's declared
// size and file size within the limits before it is decoded, and a caption file re-encoded only
// when every caption keeps its meaning.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "softkey_assets/caption_file_encoding.h"
#include "softkey_assets/picture_header.h"

namespace qv {
namespace {

using Bytes = std::vector<std::uint8_t>;

void PutBigEndian(Bytes& bytes, std::size_t at, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i)
    bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * (width - 1 - i)));
}
void PutLittleEndian(Bytes& bytes, std::size_t at, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

Bytes Png(std::uint32_t width, std::uint32_t height) {
  Bytes bytes = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  bytes.resize(33);
  PutBigEndian(bytes, 16, width, 4);
  PutBigEndian(bytes, 20, height, 4);
  return bytes;
}

Bytes Gif(std::uint16_t width, std::uint16_t height) {
  Bytes bytes = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0};
  PutLittleEndian(bytes, 6, width, 2);
  PutLittleEndian(bytes, 8, height, 2);
  return bytes;
}

Bytes Bmp(std::int32_t width, std::int32_t height) {
  Bytes bytes(54, 0);
  bytes[0] = 'B';
  bytes[1] = 'M';
  PutLittleEndian(bytes, 14, 40, 4);
  PutLittleEndian(bytes, 18, static_cast<std::uint32_t>(width), 4);
  PutLittleEndian(bytes, 22, static_cast<std::uint32_t>(height), 4);
  return bytes;
}

// A JPEG whose frame header follows an application segment of `appBytes` bytes.
Bytes Jpeg(std::uint16_t width, std::uint16_t height, std::size_t appBytes) {
  Bytes bytes = {0xFF, 0xD8, 0xFF, 0xE1, 0, 0};
  PutBigEndian(bytes, 4, static_cast<std::uint32_t>(appBytes + 2), 2);
  bytes.resize(bytes.size() + appBytes, 0x41);
  const std::size_t frame = bytes.size();
  bytes.insert(bytes.end(), {0xFF, 0xC2, 0, 17, 8, 0, 0, 0, 0, 3});
  PutBigEndian(bytes, frame + 5, height, 2);
  PutBigEndian(bytes, frame + 7, width, 2);
  return bytes;
}

// A GIF of a `screenWidth` by `screenHeight` logical screen with a global colour table and one
// frame of `width` by `height` at (left, top) behind a comment extension.
Bytes Gif(std::uint16_t screenWidth, std::uint16_t screenHeight, std::uint16_t left,
          std::uint16_t top, std::uint16_t width, std::uint16_t height) {
  Bytes bytes = Gif(screenWidth, screenHeight);
  bytes[10] = 0x81;                                              // 4 colours
  bytes.resize(bytes.size() + 12, 0);                            // the colour table
  bytes.insert(bytes.end(), {0x21, 0xFE, 3, 'a', 'b', 'c', 0});  // a comment
  const std::size_t frame = bytes.size();
  bytes.insert(bytes.end(), {0x2C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 0x4C, 0x01, 0, 0x3B});
  PutLittleEndian(bytes, frame + 1, left, 2);
  PutLittleEndian(bytes, frame + 3, top, 2);
  PutLittleEndian(bytes, frame + 5, width, 2);
  PutLittleEndian(bytes, frame + 7, height, 2);
  return bytes;
}

// A BMP whose info header is `infoSize` bytes: 12 has 16-bit sizes, every longer one 32-bit.
Bytes Bmp(std::uint32_t infoSize, std::int32_t width, std::int32_t height) {
  Bytes bytes(14 + std::max<std::uint32_t>(infoSize, 12), 0);
  bytes[0] = 'B';
  bytes[1] = 'M';
  PutLittleEndian(bytes, 14, infoSize, 4);
  if (infoSize == 12) {
    PutLittleEndian(bytes, 18, static_cast<std::uint32_t>(width), 2);
    PutLittleEndian(bytes, 20, static_cast<std::uint32_t>(height), 2);
  } else {
    PutLittleEndian(bytes, 18, static_cast<std::uint32_t>(width), 4);
    PutLittleEndian(bytes, 22, static_cast<std::uint32_t>(height), 4);
  }
  return bytes;
}

// An icon file of the given images, each at the offset the directory names.
Bytes Icon(const std::vector<Bytes>& images) {
  Bytes bytes(6 + 16 * images.size(), 0);
  PutLittleEndian(bytes, 2, 1, 2);
  PutLittleEndian(bytes, 4, static_cast<std::uint32_t>(images.size()), 2);
  for (std::size_t i = 0; i < images.size(); ++i) {
    const std::size_t entry = 6 + 16 * i;
    PutLittleEndian(bytes, entry + 8, static_cast<std::uint32_t>(images[i].size()), 4);
    PutLittleEndian(bytes, entry + 12, static_cast<std::uint32_t>(bytes.size()), 4);
    bytes.insert(bytes.end(), images[i].begin(), images[i].end());
  }
  return bytes;
}
// An icon's bitmap image: its info header counts the mask rows in its height.
Bytes IconBitmap(std::int32_t side) {
  Bytes bytes = Bmp(40, side, 2 * side);
  bytes.erase(bytes.begin(), bytes.begin() + 14);
  return bytes;
}

TEST(PictureFiles, TheDeclaredSizeIsReadFromEachFormatAndLayout) {
  struct Case {
    const char* name;
    Bytes bytes;
    std::uint32_t width, height;
  } cases[] = {
      {"png", Png(40000, 30000), 40000, 30000},
      {"gif", Gif(640, 480), 640, 480},
      {"gif frame within the screen", Gif(640, 480, 10, 10, 100, 100), 640, 480},
      {"gif frame beyond the screen", Gif(16, 16, 0, 0, 5000, 20), 5000, 20},
      {"gif frame placed beyond the screen", Gif(16, 16, 60000, 8, 8, 8), 60008, 16},
      {"bmp top down", Bmp(300, -200), 300, 200},
      {"bmp core header", Bmp(12, 640, 480), 640, 480},
      {"bmp OS/2 short header", Bmp(16, 70000, 3), 70000, 3},
      {"bmp OS/2 header", Bmp(64, 3, 70000), 3, 70000},
      {"jpeg after a segment", Jpeg(1920, 1080, 5000), 1920, 1080},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PictureSize size = ReadPictureSize(c.bytes);
    EXPECT_TRUE(size.known);
    EXPECT_EQ(size.width, c.width);
    EXPECT_EQ(size.height, c.height);
  }

  // An icon is as large as its largest image, an embedded PNG by its own header.
  const PictureSize icon = ReadIconSize(Icon({IconBitmap(32), Png(48, 6000), IconBitmap(256)}));
  EXPECT_TRUE(icon.known);
  EXPECT_EQ(icon.width, 256u);
  EXPECT_EQ(icon.height, 6000u);
  EXPECT_EQ(ReadIconSize(Icon({IconBitmap(32)})).height, 32u);
}

// Whatever cannot be walked to its size is not known, so it is never decoded.
TEST(PictureFiles, LayoutsWhoseSizeCannotBeReadAreNotKnown) {
  Bytes cut = Png(10, 10);
  cut.resize(20);
  Bytes chunkFirst = Png(10, 10);  // a text chunk before IHDR
  chunkFirst.insert(chunkFirst.begin() + 8, {0, 0, 0, 1, 't', 'E', 'X', 't', 'x', 0, 0, 0, 0});
  Bytes jpegCut = Jpeg(100, 100, 5000);
  jpegCut.resize(4000);
  Bytes strayByte = Jpeg(65535, 65535, 100);
  strayByte.insert(strayByte.begin() + 6 + 100, 0x00);
  Bytes scanFirst = Jpeg(100, 100, 10);
  scanFirst[3] = 0xDA;
  Bytes heightLater = Jpeg(100, 0, 10);
  Bytes gifFrameCut = Gif(16, 16, 0, 0, 5000, 5000);
  gifFrameCut.resize(gifFrameCut.size() - 10);
  Bytes gifStrayBlock = Gif(16, 16, 0, 0, 8, 8);
  gifStrayBlock.insert(gifStrayBlock.end() - 1, 0x00);
  const struct {
    const char* name;
    Bytes bytes;
  } cases[] = {
      {"png cut short", cut},
      {"png without IHDR first", chunkFirst},
      {"jpeg cut before its frame header", jpegCut},
      {"jpeg with a stray byte before its frame header", strayByte},
      {"jpeg scan before its frame header", scanFirst},
      {"jpeg height after the scan", heightLater},
      {"gif frame cut inside its descriptor", gifFrameCut},
      {"gif with a byte that starts no block", gifStrayBlock},
      {"bmp info header of 14 bytes", Bmp(14, 10, 10)},
      {"tiff", Bytes{'I', 'I', 42, 0, 8, 0, 0, 0}},
      {"nothing", Bytes{}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(ReadPictureSize(c.bytes).known);
    EXPECT_EQ(CheckPictureFile(c.bytes.size(), ReadPictureSize(c.bytes), kChosenPictureLimits),
              PictureVerdict::kSizeUnknown);
  }

  Bytes outside = Icon({IconBitmap(32)});
  PutLittleEndian(outside, 6 + 12, static_cast<std::uint32_t>(outside.size()), 4);
  Bytes pngWithoutHeader = Icon({Png(32, 32)});
  pngWithoutHeader.resize(pngWithoutHeader.size() - 20);
  PutLittleEndian(pngWithoutHeader, 6 + 8, 13, 4);
  EXPECT_FALSE(ReadIconSize(outside).known);
  EXPECT_FALSE(ReadIconSize(pngWithoutHeader).known);
  EXPECT_FALSE(ReadIconSize(Png(32, 32)).known);
  EXPECT_FALSE(ReadIconSize(Icon({})).known);
}

TEST(PictureFiles, PicturesBeyondWhatASoftKeyCanUseAreRefusedBeforeDecoding) {
  auto verdict = [](std::uint64_t fileBytes, const Bytes& head, const PictureLimits& limits) {
    return CheckPictureFile(fileBytes, ReadPictureSize(head), limits);
  };
  const auto accepted = PictureVerdict::kAccepted;
  const auto tooLarge = PictureVerdict::kTooLarge;
  // A chosen photo of 4000 x 3000 is taken; a small file declaring 40000 pixels a side is not.
  EXPECT_EQ(verdict(3'000'000, Jpeg(4000, 3000, 100), kChosenPictureLimits), accepted);
  EXPECT_EQ(verdict(100'000, Png(40000, 40000), kChosenPictureLimits), tooLarge);
  EXPECT_EQ(verdict(1000, Png(4096, 4096), kChosenPictureLimits), accepted);
  EXPECT_EQ(verdict(1000, Png(4097, 16), kChosenPictureLimits), tooLarge);
  EXPECT_EQ(verdict(1000, Gif(16, 4097), kChosenPictureLimits), tooLarge);
  EXPECT_EQ(verdict(1000, Gif(16, 16, 0, 0, 4097, 16), kChosenPictureLimits), tooLarge);
  EXPECT_EQ(verdict(kChosenPictureLimits.maxFileBytes + 1, Png(16, 16), kChosenPictureLimits),
            tooLarge);
  // In a key pad's folder the program keeps 256 x 256 pictures: a full HD photo put there by
  // hand is not decoded at every connection.
  EXPECT_EQ(verdict(200'000, Png(256, 256), kStoredPictureLimits), accepted);
  EXPECT_EQ(verdict(900'000, Jpeg(1920, 1080, 100), kStoredPictureLimits), tooLarge);
  EXPECT_EQ(verdict(kStoredPictureLimits.maxFileBytes + 1, Bytes{}, kStoredPictureLimits),
            tooLarge);
  EXPECT_FALSE(PictureFits(513, 10, kStoredPictureLimits));
  EXPECT_TRUE(PictureFits(512, 512, kStoredPictureLimits));
  // An icon whose embedded PNG declares more than a chosen picture may have is refused too.
  const Bytes icon = Icon({IconBitmap(32), Png(5000, 5000)});
  EXPECT_EQ(CheckPictureFile(icon.size(), ReadIconSize(icon), kIconFileLimits), tooLarge);
}

// A stand-in for a double-byte code page: lead bytes 0x81..0x9F and 0xE0..0xFC need a trail byte
// 0x40..0xFC; 0x80, 0xA0 and 0xFD..0xFF are not text.
bool DecodeDoubleByte(std::span<const std::uint8_t> bytes, std::u16string& text) {
  text.clear();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::uint8_t byte = bytes[i];
    if (byte < 0x80) {
      text.push_back(byte);
    } else if ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC)) {
      if (i + 1 >= bytes.size() || bytes[i + 1] < 0x40 || bytes[i + 1] > 0xFC) return false;
      text.push_back(static_cast<char16_t>(0x4E00 + (byte << 8 | bytes[i + 1]) % 0x5000));
      ++i;
    } else if (byte >= 0xA1 && byte <= 0xDF) {
      text.push_back(static_cast<char16_t>(0xFF61 + byte - 0xA1));
    } else {
      return false;
    }
  }
  return true;
}

Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

TEST(CaptionFiles, AFileIsReEncodedOnlyWhenEveryCaptionKeepsItsMeaning) {
  // Plain ASCII is the same in every code page.
  const CaptionFilePlan ascii =
      PlanCaptionFile(Text("[softkey]\r\ntext_001=Copy\r\n"), true, DecodeDoubleByte);
  ASSERT_EQ(ascii.step, CaptionFileStep::kConvert);
  EXPECT_EQ(ascii.converted, Utf16LeFile(u"[softkey]\r\ntext_001=Copy\r\n"));

  // Text in the code page is converted as the profile functions read it.
  const CaptionFilePlan ansi =
      PlanCaptionFile(Text("text_001=\x93\xfa\x96\x7b\r\n"), true, DecodeDoubleByte);
  ASSERT_EQ(ansi.step, CaptionFileStep::kConvert);
  std::u16string expected;
  ASSERT_TRUE(DecodeDoubleByte(Text("text_001=\x93\xfa\x96\x7b\r\n"), expected));
  EXPECT_EQ(ansi.converted, Utf16LeFile(expected));

  // Bytes that are not text in the code page, and UTF-8 saved by hand (which a single-byte code
  // page would read as other characters), are never re-encoded.
  EXPECT_EQ(PlanCaptionFile(Text("text_001=\xFF\xFE\xFD"), true, DecodeDoubleByte).step,
            CaptionFileStep::kRefuse);
  auto anyByte = [](std::span<const std::uint8_t> bytes, std::u16string& text) {
    text.assign(bytes.begin(), bytes.end());
    return true;
  };
  EXPECT_EQ(PlanCaptionFile(Text("text_001=\xE6\x97\xA5\xE6\x9C\xAC"), true, anyByte).step,
            CaptionFileStep::kRefuse);
  EXPECT_EQ(PlanCaptionFile(Text("text_001=caf\xE9"), true, anyByte).step,
            CaptionFileStep::kConvert);
  // A file not read whole is left as it is.
  EXPECT_EQ(PlanCaptionFile(Text("text_001=Copy"), false, DecodeDoubleByte).step,
            CaptionFileStep::kRefuse);

  // A UTF-16LE file keeps its encoding; an empty one gets the UTF-16LE mark.
  EXPECT_EQ(PlanCaptionFile(Bytes{0xFF, 0xFE, '[', 0}, true, DecodeDoubleByte).step,
            CaptionFileStep::kWriteAsIs);
  EXPECT_EQ(PlanCaptionFile(Bytes{}, true, DecodeDoubleByte).step, CaptionFileStep::kWriteMark);
}

// The profile functions write only UTF-16LE as UTF-16: a file with another mark becomes UTF-16LE
// first, every character as it was, or is left alone when that cannot be done.
TEST(CaptionFiles, FilesWithAUtf8OrUtf16BeMarkBecomeUtf16LeLosslessly) {
  const std::u16string text = u"[softkey]\r\ntext_001=コピー\U0001F600\r\ntext_002=Enter\r\n";
  Bytes utf8 = Text(
      "\xEF\xBB\xBF[softkey]\r\ntext_001=\xE3\x82\xB3\xE3\x83\x94\xE3\x83\xBC"
      "\xF0\x9F\x98\x80\r\ntext_002=Enter\r\n");
  Bytes utf16be = {0xFE, 0xFF};
  for (const char16_t unit : text) {
    utf16be.push_back(static_cast<std::uint8_t>(unit >> 8));
    utf16be.push_back(static_cast<std::uint8_t>(unit & 0xFF));
  }
  for (const Bytes& file : {utf8, utf16be}) {
    const CaptionFilePlan plan = PlanCaptionFile(file, true, DecodeDoubleByte);
    ASSERT_EQ(plan.step, CaptionFileStep::kConvert);
    EXPECT_EQ(plan.converted, Utf16LeFile(text));
  }
  // A UTF-16BE unit is kept as it is, even a surrogate without its pair.
  const CaptionFilePlan lone = PlanCaptionFile(Bytes{0xFE, 0xFF, 0xD8, 0x3D, 0, 'x'}, true, {});
  ASSERT_EQ(lone.step, CaptionFileStep::kConvert);
  EXPECT_EQ(lone.converted, Utf16LeFile(u"\xD83Dx"));
  // Only the mark: an empty file in UTF-16LE.
  EXPECT_EQ(PlanCaptionFile(Text("\xEF\xBB\xBF"), true, {}).converted, Utf16LeFile(u""));

  // What would not come back as it was is left alone, and so is a file not read whole.
  EXPECT_EQ(PlanCaptionFile(Text("\xEF\xBB\xBFtext_001=\x82\xA0"), true, DecodeDoubleByte).step,
            CaptionFileStep::kRefuse);
  EXPECT_EQ(PlanCaptionFile(Bytes{0xFE, 0xFF, 0, '[', 0}, true, DecodeDoubleByte).step,
            CaptionFileStep::kRefuse);
  EXPECT_EQ(PlanCaptionFile(utf8, false, DecodeDoubleByte).step, CaptionFileStep::kRefuse);
  EXPECT_EQ(PlanCaptionFile(utf16be, false, DecodeDoubleByte).step, CaptionFileStep::kRefuse);
}

TEST(CaptionFiles, Utf8IsToldFromOtherBytes) {
  EXPECT_TRUE(LooksLikeUtf8(Text("\xE3\x81\x82")));        // あ
  EXPECT_TRUE(LooksLikeUtf8(Text("a\xF0\x9F\x98\x80z")));  // an emoji
  EXPECT_FALSE(LooksLikeUtf8(Text("plain")));              // nothing beyond ASCII
  EXPECT_FALSE(LooksLikeUtf8(Text("\xC0\xAF")));           // overlong
  EXPECT_FALSE(LooksLikeUtf8(Text("\xED\xA0\x80")));       // a surrogate
  EXPECT_FALSE(LooksLikeUtf8(Text("\xE3\x81")));           // cut short
  EXPECT_FALSE(LooksLikeUtf8(Text("\x82\xA0")));           // Shift_JIS あ
}

}  // namespace
}  // namespace qv
