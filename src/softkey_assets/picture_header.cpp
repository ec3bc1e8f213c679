#include "softkey_assets/picture_header.h"

#include <algorithm>

namespace qv {
namespace {

using Bytes = std::span<const std::uint8_t>;

std::uint32_t BigEndian32(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
         std::uint32_t{bytes[2]} << 8 | bytes[3];
}
std::uint32_t BigEndian16(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} << 8 | bytes[1];
}
std::uint32_t LittleEndian16(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[1]} << 8 | bytes[0];
}
std::uint32_t LittleEndian32(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[3]} << 24 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[1]} << 8 | bytes[0];
}
// A signed 32-bit size field as a pixel count (a negative height stores rows top down).
std::uint32_t Magnitude32(const std::uint8_t* bytes) {
  const auto value = static_cast<std::int32_t>(LittleEndian32(bytes));
  return value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
}

PictureSize Known(std::uint32_t width, std::uint32_t height) {
  return PictureSize{true, width, height};
}

bool StartsWith(Bytes bytes, std::initializer_list<std::uint8_t> signature) {
  return bytes.size() >= signature.size() &&
         std::equal(signature.begin(), signature.end(), bytes.begin());
}

bool IsPng(Bytes bytes) {
  return StartsWith(bytes, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A});
}

// The signature, then the IHDR chunk, which must come first: length 13, "IHDR", width, height.
PictureSize PngSize(Bytes png) {
  if (png.size() < 24 || BigEndian32(&png[8]) != 13 || png[12] != 'I' || png[13] != 'H' ||
      png[14] != 'D' || png[15] != 'R')
    return {};
  return Known(BigEndian32(&png[16]), BigEndian32(&png[20]));
}

// Walks the blocks after the logical screen: extensions and their data are skipped, every
// frame's rectangle widens the size. The bytes may end anywhere but inside a frame's descriptor
// (no frame can follow); a byte that starts no block leaves the size unknown.
PictureSize GifSize(Bytes gif) {
  if (gif.size() < 13) return {};
  std::uint32_t width = LittleEndian16(&gif[6]);
  std::uint32_t height = LittleEndian16(&gif[8]);
  auto colourTableBytes = [](std::uint8_t packed) -> std::size_t {
    return (packed & 0x80) ? 3u << ((packed & 0x07) + 1) : 0;
  };
  std::size_t at = 13 + colourTableBytes(gif[10]);
  // Sub-blocks: a length byte and that many bytes, up to a length of 0. False when the bytes
  // end first.
  auto skipSubBlocks = [&] {
    while (at < gif.size()) {
      const std::size_t length = gif[at];
      at += 1 + length;
      if (length == 0) return true;
    }
    return false;
  };
  while (at < gif.size()) {
    const std::uint8_t introducer = gif[at];
    if (introducer == 0x3B) break;  // the trailer
    if (introducer == 0x21) {       // an extension: its label, then its sub-blocks
      at += 2;
      if (!skipSubBlocks()) break;
      continue;
    }
    if (introducer != 0x2C) return {};
    if (at + 10 > gif.size()) return {};  // a frame whose rectangle cannot be read
    const std::uint32_t left = LittleEndian16(&gif[at + 1]);
    const std::uint32_t top = LittleEndian16(&gif[at + 3]);
    width = std::max(width, left + LittleEndian16(&gif[at + 5]));
    height = std::max(height, top + LittleEndian16(&gif[at + 7]));
    at += 10 + colourTableBytes(gif[at + 9]) + 1;  // the descriptor, its colours, the code size
    if (!skipSubBlocks()) break;
  }
  return Known(width, height);
}

// The bitmap info header at `header`: the 12-byte core header has 16-bit sizes; every longer one
// (OS/2's of 16 to 64 bytes, Windows' of 40 and more) has 32-bit ones.
PictureSize DibSize(Bytes bytes, std::size_t header) {
  if (bytes.size() < header + 4) return {};
  const std::uint32_t infoSize = LittleEndian32(&bytes[header]);
  if (infoSize == 12) {
    if (bytes.size() < header + 8) return {};
    return Known(LittleEndian16(&bytes[header + 4]), LittleEndian16(&bytes[header + 6]));
  }
  if (infoSize < 16 || bytes.size() < header + 12) return {};
  return Known(Magnitude32(&bytes[header + 4]), Magnitude32(&bytes[header + 8]));
}

bool IsStartOfFrame(std::uint8_t marker) {
  // SOF0..SOF15, without DHT (C4), JPG (C8) and DAC (CC).
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// The segments after the start of image, up to the first frame header. Only markers and whole
// segments may come before it; anything else (stray bytes, the scan, the end) leaves the size
// unknown, as does a height of 0 (the height then follows the scan).
PictureSize JpegSize(Bytes jpeg) {
  std::size_t at = 2;
  while (at + 4 <= jpeg.size()) {
    if (jpeg[at] != 0xFF) return {};
    const std::uint8_t marker = jpeg[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    // Markers without a length.
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      at += 2;
      continue;
    }
    if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA) return {};
    const std::uint32_t length = BigEndian16(&jpeg[at + 2]);
    if (length < 2) return {};
    if (IsStartOfFrame(marker)) {
      if (at + 9 > jpeg.size() || length < 7) return {};
      const std::uint32_t height = BigEndian16(&jpeg[at + 5]);
      if (height == 0) return {};
      return Known(BigEndian16(&jpeg[at + 7]), height);
    }
    at += 2 + length;
  }
  return {};
}

// One image of an icon file, `bytes` long at `offset`.
PictureSize IconImageSize(Bytes file, std::uint32_t offset, std::uint32_t bytes) {
  if (offset > file.size() || bytes > file.size() - offset) return {};
  const Bytes image = file.subspan(offset, bytes);
  if (IsPng(image)) return PngSize(image);
  const PictureSize dib = DibSize(image, 0);
  // The height counts the colour rows and the mask rows below them.
  return dib.known ? Known(dib.width, dib.height - dib.height / 2) : dib;
}

}  // namespace

PictureSize ReadPictureSize(Bytes file) {
  if (IsPng(file)) return PngSize(file);
  if (StartsWith(file, {'G', 'I', 'F', '8', '7', 'a'}) ||
      StartsWith(file, {'G', 'I', 'F', '8', '9', 'a'}))
    return GifSize(file);
  if (StartsWith(file, {'B', 'M'})) return DibSize(file, 14);
  if (StartsWith(file, {0xFF, 0xD8, 0xFF})) return JpegSize(file);
  return {};
}

PictureSize ReadIconSize(Bytes file) {
  constexpr std::size_t kDirectoryBytes = 6, kEntryBytes = 16;
  if (file.size() < kDirectoryBytes || LittleEndian16(&file[0]) != 0) return {};
  const std::uint32_t type = LittleEndian16(&file[2]);
  const std::size_t count = LittleEndian16(&file[4]);
  if ((type != 1 && type != 2) || count == 0 || file.size() < kDirectoryBytes + count * kEntryBytes)
    return {};
  PictureSize largest = Known(0, 0);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = &file[kDirectoryBytes + i * kEntryBytes];
    const PictureSize image =
        IconImageSize(file, LittleEndian32(entry + 12), LittleEndian32(entry + 8));
    if (!image.known) return {};
    largest.width = std::max(largest.width, image.width);
    largest.height = std::max(largest.height, image.height);
  }
  return largest;
}

PictureVerdict CheckPictureFile(std::uint64_t fileBytes, const PictureSize& size,
                                const PictureLimits& limits) {
  if (fileBytes > limits.maxFileBytes) return PictureVerdict::kTooLarge;
  if (!size.known) return PictureVerdict::kSizeUnknown;
  if (!PictureFits(size.width, size.height, limits)) return PictureVerdict::kTooLarge;
  return PictureVerdict::kAccepted;
}

bool PictureFits(std::uint32_t width, std::uint32_t height, const PictureLimits& limits) {
  return width <= limits.maxSide && height <= limits.maxSide;
}

}  // namespace qv
