// The files of a key pad's soft-key folder from the fuzzer's bytes: "softkey_text.ini" as a
// caption write finds it (the encoding told by its first bytes, and whether and how it is
// converted to UTF-16LE) and picture files (the size they declare). The caption plan is checked
// against a model written from the rules, with UTF-8 told by a table of well-formed byte
// sequences. Picture sizes are checked against files generated in each format and layout with
// sizes chosen by the fuzzer (the reader must find exactly the size written, or none for a
// layout whose size cannot be told), and any bytes at all are only ever accepted at a known size
// within the limits.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "softkey_assets/caption_file_encoding.h"
#include "softkey_assets/picture_header.h"

using namespace qv;
using namespace qv::fuzz;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Code pages the decoder stands for: one that takes only ASCII, one that takes every byte, and a
// double-byte one with lead and trail ranges.
bool DecodeAsciiOnly(std::span<const std::uint8_t> bytes, std::u16string& text) {
  text.clear();
  for (std::uint8_t byte : bytes) {
    if (byte >= 0x80) return false;
    text.push_back(byte);
  }
  return true;
}
bool DecodeEveryByte(std::span<const std::uint8_t> bytes, std::u16string& text) {
  text.assign(bytes.begin(), bytes.end());
  return true;
}
bool DecodeDoubleByte(std::span<const std::uint8_t> bytes, std::u16string& text) {
  text.clear();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::uint8_t byte = bytes[i];
    if (byte < 0x80) {
      text.push_back(byte);
    } else if (byte >= 0x81 && byte <= 0x9F) {
      if (i + 1 >= bytes.size() || bytes[i + 1] < 0x40) return false;
      text.push_back(static_cast<char16_t>(0x4E00 + (byte << 8 | bytes[++i])));
    } else {
      return false;
    }
  }
  return true;
}

// Well-formed UTF-8 by the table of byte ranges (first byte, then the allowed range of each
// following byte).
bool WellFormedUtf8(const Bytes& bytes, bool& beyondAscii) {
  struct Form {
    std::uint8_t first0, first1;
    std::uint8_t ranges[3][2];
    int trailing;
  };
  static const Form forms[] = {
      {0xC2, 0xDF, {{0x80, 0xBF}}, 1},
      {0xE0, 0xE0, {{0xA0, 0xBF}, {0x80, 0xBF}}, 2},
      {0xE1, 0xEC, {{0x80, 0xBF}, {0x80, 0xBF}}, 2},
      {0xED, 0xED, {{0x80, 0x9F}, {0x80, 0xBF}}, 2},
      {0xEE, 0xEF, {{0x80, 0xBF}, {0x80, 0xBF}}, 2},
      {0xF0, 0xF0, {{0x90, 0xBF}, {0x80, 0xBF}, {0x80, 0xBF}}, 3},
      {0xF1, 0xF3, {{0x80, 0xBF}, {0x80, 0xBF}, {0x80, 0xBF}}, 3},
      {0xF4, 0xF4, {{0x80, 0x8F}, {0x80, 0xBF}, {0x80, 0xBF}}, 3},
  };
  beyondAscii = false;
  for (std::size_t i = 0; i < bytes.size();) {
    if (bytes[i] < 0x80) {
      ++i;
      continue;
    }
    const Form* form = nullptr;
    for (const Form& f : forms)
      if (bytes[i] >= f.first0 && bytes[i] <= f.first1) form = &f;
    if (!form || i + form->trailing >= bytes.size()) return false;
    for (int k = 0; k < form->trailing; ++k) {
      const std::uint8_t next = bytes[i + 1 + k];
      if (next < form->ranges[k][0] || next > form->ranges[k][1]) return false;
    }
    beyondAscii = true;
    i += 1 + form->trailing;
  }
  return true;
}

// The units of well-formed UTF-8, by the bits of each sequence (checked well-formed first).
std::u16string Utf8Units(const Bytes& bytes) {
  std::u16string units;
  for (std::size_t i = 0; i < bytes.size();) {
    const std::uint8_t lead = bytes[i];
    const int trailing = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    std::uint32_t code = trailing == 0 ? lead : lead & (0x3Fu >> trailing);
    for (int k = 1; k <= trailing; ++k) code = code << 6 | (bytes[i + k] & 0x3Fu);
    if (code > 0xFFFF) {
      units.push_back(static_cast<char16_t>(0xD7C0 + (code >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 | (code & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(code));
    }
    i += 1 + trailing;
  }
  return units;
}

// A file with a UTF-16BE or UTF-8 mark becomes UTF-16LE when read whole and its text comes
// through unchanged: every big-endian pair swapped, or the UTF-8 decoded; else it is left.
void CheckMarkedCaptionFile(const Bytes& bytes, bool whole, bool big, const CaptionFilePlan& plan) {
  const Bytes rest(bytes.begin() + (big ? 2 : 3), bytes.end());
  bool beyondAscii = false;
  const bool convertible = big ? rest.size() % 2 == 0 : WellFormedUtf8(rest, beyondAscii);
  const bool convert = whole && bytes.size() <= kMaxConvertedCaptionFileBytes && convertible;
  Check(plan.step == (convert ? CaptionFileStep::kConvert : CaptionFileStep::kRefuse),
        "a marked file is converted exactly when it comes through whole");
  if (!convert) return;
  Bytes expected = {0xFF, 0xFE};
  if (big) {
    for (std::size_t i = 0; i < rest.size(); i += 2) {
      expected.push_back(rest[i + 1]);
      expected.push_back(rest[i]);
    }
  } else {
    for (const char16_t unit : Utf8Units(rest)) {
      expected.push_back(static_cast<std::uint8_t>(unit & 0xFF));
      expected.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
  }
  Check(plan.converted == expected, "the marked file's text as UTF-16LE");
}

void CheckCaptionFile(FuzzInput& input, const Bytes& bytes) {
  const int code = input.Byte() % 3;
  const bool whole = input.Bool();
  const AnsiDecoder decode = code == 0   ? AnsiDecoder(DecodeAsciiOnly)
                             : code == 1 ? AnsiDecoder(DecodeEveryByte)
                                         : AnsiDecoder(DecodeDoubleByte);
  const CaptionFilePlan plan = PlanCaptionFile(bytes, whole, decode);

  const bool little = bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
  const bool big = bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF;
  const bool utf8Mark =
      bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
  if (bytes.empty()) {
    Check(plan.step == (whole ? CaptionFileStep::kWriteMark : CaptionFileStep::kRefuse),
          "an empty file gets the mark when read whole");
    return;
  }
  if (little) {
    Check(plan.step == CaptionFileStep::kWriteAsIs, "a UTF-16LE file keeps its encoding");
    return;
  }
  if (big || utf8Mark) {
    CheckMarkedCaptionFile(bytes, whole, big, plan);
    return;
  }
  bool ascii = true;
  for (std::uint8_t byte : bytes) ascii = ascii && byte < 0x80;
  bool beyondAscii = false;
  const bool utf8 = WellFormedUtf8(bytes, beyondAscii) && beyondAscii;
  Check(utf8 == LooksLikeUtf8(bytes), "UTF-8 told as the table of sequences tells it");
  std::u16string text;
  const bool decoded = decode(bytes, text);
  const bool convert =
      whole && bytes.size() <= kMaxConvertedCaptionFileBytes && (ascii || (!utf8 && decoded));
  Check(plan.step == (convert ? CaptionFileStep::kConvert : CaptionFileStep::kRefuse),
        "converted exactly when every caption keeps its meaning");
  if (!convert) {
    Check(plan.converted.empty(), "nothing to write when refused");
    return;
  }
  if (ascii) text.assign(bytes.begin(), bytes.end());
  Check(plan.converted.size() == 2 + 2 * text.size(), "the mark and two bytes a unit");
  Check(plan.converted[0] == 0xFF && plan.converted[1] == 0xFE, "UTF-16LE mark");
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit =
        static_cast<char16_t>(plan.converted[2 + 2 * i] | plan.converted[3 + 2 * i] << 8);
    Check(unit == text[i], "the text as the code page decodes it");
  }
}

// ---------------------------------------------------------------- pictures

// Files written from the fuzzer's choices in every format and layout the program meets, each
// with the size it was written with, or marked as a layout whose size is not to be told.
struct WrittenPicture {
  Bytes bytes;
  bool sizeTold = true;  // false: a layout whose size the reader must not claim to know
  std::uint32_t width = 0, height = 0;
};

void PutBig(Bytes& b, std::uint32_t value, int width) {
  for (int i = width - 1; i >= 0; --i) b.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
void PutLittle(Bytes& b, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) b.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
std::uint32_t Side16(FuzzInput& input) {
  return static_cast<std::uint32_t>(input.Byte()) << 8 | input.Byte();
}
std::uint32_t Side32(FuzzInput& input) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = value << 8 | input.Byte();
  // Mostly sizes near the limits, sometimes anything.
  return input.Bool() ? value % 9000 : value;
}
void PutFiller(FuzzInput& input, Bytes& b, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) b.push_back(input.Byte());
}

WrittenPicture WritePng(FuzzInput& input) {
  WrittenPicture picture;
  picture.width = Side32(input);
  picture.height = Side32(input);
  picture.bytes = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (input.Byte() % 4 == 0) {  // another chunk first: not a PNG a decoder takes
    const std::uint8_t length = input.Byte() % 16;
    PutBig(picture.bytes, length, 4);
    picture.bytes.insert(picture.bytes.end(), {'t', 'E', 'X', 't'});
    PutFiller(input, picture.bytes, length + 4u);
    picture.sizeTold = false;
  }
  PutBig(picture.bytes, 13, 4);
  picture.bytes.insert(picture.bytes.end(), {'I', 'H', 'D', 'R'});
  PutBig(picture.bytes, picture.width, 4);
  PutBig(picture.bytes, picture.height, 4);
  PutFiller(input, picture.bytes, 9);
  return picture;
}

// Sub-blocks of data with lengths from the fuzzer, ending with the empty one.
void PutSubBlocks(FuzzInput& input, Bytes& b) {
  const int blocks = input.Byte() % 4;
  for (int i = 0; i < blocks; ++i) {
    const std::uint8_t length = 1 + input.Byte() % 40;
    b.push_back(length);
    PutFiller(input, b, length);
  }
  b.push_back(0);
}

WrittenPicture WriteGif(FuzzInput& input) {
  WrittenPicture picture;
  Bytes& b = picture.bytes;
  b = {'G', 'I', 'F', '8', input.Bool() ? std::uint8_t{'7'} : std::uint8_t{'9'}, 'a'};
  picture.width = Side16(input);
  picture.height = Side16(input);
  PutLittle(b, picture.width, 2);
  PutLittle(b, picture.height, 2);
  const std::uint8_t packed = input.Byte() & 0x87;
  b.push_back(packed);
  PutFiller(input, b, 2);
  if (packed & 0x80) b.resize(b.size() + (3u << ((packed & 7) + 1)), 0x11);
  const int blocks = input.Byte() % 5;
  for (int i = 0; i < blocks; ++i) {
    if (input.Bool()) {  // an extension: graphic control, comment, application
      b.push_back(0x21);
      b.push_back(input.Bool() ? 0xF9 : 0xFE);
      PutSubBlocks(input, b);
      continue;
    }
    const std::uint32_t left = Side16(input), top = Side16(input);
    const std::uint32_t width = Side16(input), height = Side16(input);
    b.push_back(0x2C);
    PutLittle(b, left, 2);
    PutLittle(b, top, 2);
    PutLittle(b, width, 2);
    PutLittle(b, height, 2);
    const std::uint8_t local = input.Byte() & 0x87;
    b.push_back(local);
    if (local & 0x80) b.resize(b.size() + (3u << ((local & 7) + 1)), 0x22);
    b.push_back(2);  // the code size
    PutSubBlocks(input, b);
    picture.width = std::max(picture.width, left + width);
    picture.height = std::max(picture.height, top + height);
  }
  switch (input.Byte() % 6) {
    case 0:  // ends without its trailer after a whole block: the frames written are all there is
      break;
    case 1:  // a byte that starts no block
      b.push_back(static_cast<std::uint8_t>(0x3C + input.Byte() % 0x80));
      picture.sizeTold = false;
      break;
    case 2: {  // a frame cut inside its descriptor
      b.push_back(0x2C);
      PutFiller(input, b, input.Byte() % 9);
      picture.sizeTold = false;
      break;
    }
    default:
      b.push_back(0x3B);
      PutFiller(input, b, input.Byte() % 4);  // what follows the trailer is not read
      break;
  }
  return picture;
}

WrittenPicture WriteBmp(FuzzInput& input) {
  WrittenPicture picture;
  Bytes& b = picture.bytes;
  b = {'B', 'M'};
  PutFiller(input, b, 12);
  // The core header, OS/2's headers of 16 to 64 bytes, Windows' of 40 to 124, or a size that
  // names none.
  static constexpr std::uint32_t kInfoSizes[] = {12, 16, 24, 40, 52, 56, 64, 108, 124, 0, 8, 13};
  const std::uint32_t infoSize = kInfoSizes[input.Byte() % std::size(kInfoSizes)];
  PutLittle(b, infoSize, 4);
  if (infoSize == 12) {
    picture.width = Side16(input);
    picture.height = Side16(input);
    PutLittle(b, picture.width, 2);
    PutLittle(b, picture.height, 2);
  } else {
    const auto width = static_cast<std::int32_t>(Side32(input));
    std::int32_t height = static_cast<std::int32_t>(Side32(input));
    if (input.Bool() && height != INT32_MIN) height = -height;  // stored top down
    PutLittle(b, static_cast<std::uint32_t>(width), 4);
    PutLittle(b, static_cast<std::uint32_t>(height), 4);
    auto magnitude = [](std::int32_t v) {
      return v < 0 ? static_cast<std::uint32_t>(-static_cast<std::int64_t>(v))
                   : static_cast<std::uint32_t>(v);
    };
    picture.width = magnitude(width);
    picture.height = magnitude(height);
    picture.sizeTold = infoSize >= 16;
  }
  PutFiller(input, b, input.Byte() % 32);
  return picture;
}

WrittenPicture WriteJpeg(FuzzInput& input) {
  WrittenPicture picture;
  Bytes& b = picture.bytes;
  b = {0xFF, 0xD8};
  const int segments = input.Byte() % 5;
  for (int i = 0; i < segments; ++i) {
    switch (input.Byte() % 4) {
      case 0:  // a fill byte before a marker
        b.insert(b.end(), {0xFF, 0xFF, static_cast<std::uint8_t>(0xD0 + input.Byte() % 8)});
        break;
      case 1:  // a restart or TEM marker, without a length
        b.push_back(0xFF);
        b.push_back(input.Bool() ? 0x01 : static_cast<std::uint8_t>(0xD0 + input.Byte() % 8));
        break;
      default: {  // APPn, COM, DQT, DHT, or a SOF-like marker inside nothing
        static constexpr std::uint8_t kMarkers[] = {0xE0, 0xE1, 0xEF, 0xFE, 0xDB, 0xC4, 0xC8, 0xCC};
        b.push_back(0xFF);
        b.push_back(kMarkers[input.Byte() % std::size(kMarkers)]);
        const std::uint32_t length = input.Byte() % 64;
        PutBig(b, length + 2, 2);
        // A frame header inside a segment (an EXIF thumbnail's) is not the picture's.
        for (std::uint32_t k = 0; k < length; ++k) b.push_back(k % 5 == 0 ? 0xFF : 0xC0);
        break;
      }
    }
  }
  picture.width = Side16(input);
  picture.height = Side16(input);
  switch (input.Byte() % 8) {
    case 0:  // a stray byte before the frame header
      b.push_back(static_cast<std::uint8_t>(input.Byte() % 0xFF));
      picture.sizeTold = false;
      break;
    case 1:  // the scan comes first
      b.insert(b.end(), {0xFF, 0xDA, 0, 2});
      picture.sizeTold = false;
      break;
    default:
      break;
  }
  static constexpr std::uint8_t kFrames[] = {0xC0, 0xC1, 0xC2, 0xC3, 0xC5, 0xC6, 0xC7,
                                             0xC9, 0xCA, 0xCB, 0xCD, 0xCE, 0xCF};
  b.push_back(0xFF);
  b.push_back(kFrames[input.Byte() % std::size(kFrames)]);
  PutBig(b, 17, 2);
  b.push_back(8);
  PutBig(b, picture.height, 2);
  PutBig(b, picture.width, 2);
  if (picture.height == 0) picture.sizeTold = false;  // the height follows the scan
  if (input.Byte() % 8 == 0) {  // cut inside the frame header: the file ends there
    b.resize(b.size() - 1 - input.Byte() % 4);
    picture.sizeTold = false;
    return picture;
  }
  PutFiller(input, b, input.Byte() % 16);
  return picture;
}

// An icon file of one to four images, each a PNG or a bitmap with its mask rows; the layout
// may put an image beyond the file.
WrittenPicture WriteIcon(FuzzInput& input) {
  WrittenPicture picture;
  const int count = 1 + input.Byte() % 4;
  std::vector<Bytes> images;
  for (int i = 0; i < count; ++i) {
    Bytes image;
    std::uint32_t width, height;
    if (input.Bool()) {
      const WrittenPicture png = WritePng(input);
      image = png.bytes;
      picture.sizeTold = picture.sizeTold && png.sizeTold;
      width = png.width;
      height = png.height;
    } else {
      const std::uint32_t side = Side16(input);
      PutLittle(image, 40, 4);
      PutLittle(image, side, 4);
      PutLittle(image, 2 * side, 4);  // colour rows and mask rows
      PutFiller(input, image, 28);
      width = height = side;
    }
    picture.width = std::max(picture.width, width);
    picture.height = std::max(picture.height, height);
    images.push_back(image);
  }
  Bytes& b = picture.bytes;
  PutLittle(b, 0, 2);
  PutLittle(b, input.Bool() ? 1 : 2, 2);
  PutLittle(b, static_cast<std::uint32_t>(count), 2);
  std::size_t offset = 6 + 16 * images.size();
  const int beyond = input.Byte() % 8 == 0 ? input.Byte() % count : -1;
  for (int i = 0; i < count; ++i) {
    b.push_back(static_cast<std::uint8_t>(picture.width));
    b.push_back(static_cast<std::uint8_t>(picture.height));
    PutFiller(input, b, 6);
    PutLittle(b, static_cast<std::uint32_t>(images[i].size()), 4);
    PutLittle(b, static_cast<std::uint32_t>(i == beyond ? offset + 0x10000 : offset), 4);
    offset += images[i].size();
  }
  if (beyond >= 0) picture.sizeTold = false;
  for (const Bytes& image : images) b.insert(b.end(), image.begin(), image.end());
  return picture;
}

void CheckWrittenPicture(const WrittenPicture& written, const PictureSize& size,
                         const char* format) {
  if (!written.sizeTold) {
    Check(!size.known, format);
    return;
  }
  Check(size.known && size.width == written.width && size.height == written.height, format);
}

// A file written in one format and layout, read back: the size it was written with, or none
// for a layout whose size cannot be told; and the verdict follows from that size alone.
void CheckGeneratedPicture(FuzzInput& input) {
  const int format = input.Byte() % 5;
  WrittenPicture written;
  switch (format) {
    case 0:
      written = WritePng(input);
      break;
    case 1:
      written = WriteGif(input);
      break;
    case 2:
      written = WriteBmp(input);
      break;
    case 3:
      written = WriteJpeg(input);
      break;
    default:
      written = WriteIcon(input);
      break;
  }
  static const char* const kFormats[] = {"PNG size", "GIF size", "BMP size", "JPEG size",
                                         "icon size"};
  const PictureSize size =
      format == 4 ? ReadIconSize(written.bytes) : ReadPictureSize(written.bytes);
  CheckWrittenPicture(written, size, kFormats[format]);
  for (const PictureLimits& limits : {kChosenPictureLimits, kStoredPictureLimits}) {
    const PictureVerdict verdict = CheckPictureFile(written.bytes.size(), size, limits);
    const bool fits = written.width <= limits.maxSide && written.height <= limits.maxSide;
    Check(verdict == (!written.sizeTold ? PictureVerdict::kSizeUnknown
                      : fits            ? PictureVerdict::kAccepted
                                        : PictureVerdict::kTooLarge),
          "verdict from the written size");
  }
}

// Any bytes at all: a verdict of "accepted" always rests on a known size within the limits, and
// a size is only known for the formats read.
void CheckAnyPictureBytes(const Bytes& bytes) {
  const PictureSize size = ReadPictureSize(bytes);
  const std::size_t n = bytes.size();
  const bool read = (n >= 8 && bytes[0] == 0x89 && bytes[1] == 'P') ||
                    (n >= 6 && bytes[0] == 'G' && bytes[1] == 'I' && bytes[2] == 'F') ||
                    (n >= 2 && bytes[0] == 'B' && bytes[1] == 'M') ||
                    (n >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF);
  Check(read || !size.known, "other formats are not read");
  for (const PictureSize& any : {size, ReadIconSize(bytes)}) {
    for (const PictureLimits& limits : {kChosenPictureLimits, kStoredPictureLimits}) {
      const PictureVerdict verdict = CheckPictureFile(n, any, limits);
      if (verdict == PictureVerdict::kAccepted)
        Check(any.known && any.width <= limits.maxSide && any.height <= limits.maxSide,
              "accepted only at a known size within the limits");
      if (!any.known) Check(verdict != PictureVerdict::kAccepted, "an unknown size is refused");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const int mode = input.Byte() % 3;
  FuzzInput settings(data + (size > 0 ? 1 : 0), size > 0 ? size - 1 : 0);
  const std::size_t skip = size > 3 ? 3 : size;
  const Bytes bytes(data + skip, data + size);
  if (mode == 0)
    CheckAnyPictureBytes(bytes);
  else if (mode == 1)
    CheckGeneratedPicture(settings);
  else
    CheckCaptionFile(settings, bytes);
  return 0;
}
