#include "softkey_assets/picture_header.h"

namespace qv {
namespace {

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

PictureSize Known(std::uint32_t width, std::uint32_t height) {
  return PictureSize{true, width, height};
}

// The signature, then the IHDR chunk: length, "IHDR", width and height.
PictureSize PngSize(std::span<const std::uint8_t> head) {
  if (head.size() < 24 || head[12] != 'I' || head[13] != 'H' || head[14] != 'D' || head[15] != 'R')
    return {};
  return Known(BigEndian32(&head[16]), BigEndian32(&head[20]));
}

// The logical screen after "GIF87a" or "GIF89a"; frames are drawn within it.
PictureSize GifSize(std::span<const std::uint8_t> head) {
  if (head.size() < 10) return {};
  return Known(LittleEndian16(&head[6]), LittleEndian16(&head[8]));
}

// "BM", then the info header: a 12-byte core header with 16-bit sizes, or a larger one with
// 32-bit sizes whose height is negative for a picture stored top down.
PictureSize BmpSize(std::span<const std::uint8_t> head) {
  if (head.size() < 26) return {};
  const std::uint32_t infoSize = LittleEndian32(&head[14]);
  if (infoSize == 12) return Known(LittleEndian16(&head[18]), LittleEndian16(&head[20]));
  if (infoSize < 40) return {};
  const auto width = static_cast<std::int32_t>(LittleEndian32(&head[18]));
  const auto height = static_cast<std::int32_t>(LittleEndian32(&head[22]));
  auto magnitude = [](std::int32_t value) {
    return value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  };
  return Known(magnitude(width), magnitude(height));
}

bool IsStartOfFrame(std::uint8_t marker) {
  // SOF0..SOF15, without DHT (C4), JPG (C8) and DAC (CC).
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// The segments after the start of image, up to the first frame header.
PictureSize JpegSize(std::span<const std::uint8_t> head) {
  std::size_t at = 2;
  while (at + 4 <= head.size()) {
    if (head[at] != 0xFF) return {};
    const std::uint8_t marker = head[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    // Markers without a length.
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      at += 2;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) return {};  // end of image, or the data before a frame
    const std::uint32_t length = BigEndian16(&head[at + 2]);
    if (length < 2) return {};
    if (IsStartOfFrame(marker)) {
      if (at + 9 > head.size() || length < 7) return {};
      return Known(BigEndian16(&head[at + 7]), BigEndian16(&head[at + 5]));
    }
    at += 2 + length;
  }
  return {};
}

}  // namespace

PictureSize ReadPictureSize(std::span<const std::uint8_t> head) {
  constexpr std::uint8_t kPng[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  auto startsWith = [&](std::span<const std::uint8_t> signature) {
    if (head.size() < signature.size()) return false;
    for (std::size_t i = 0; i < signature.size(); ++i)
      if (head[i] != signature[i]) return false;
    return true;
  };
  if (startsWith(kPng)) return PngSize(head);
  if (head.size() >= 6 && head[0] == 'G' && head[1] == 'I' && head[2] == 'F' && head[3] == '8' &&
      (head[4] == '7' || head[4] == '9') && head[5] == 'a')
    return GifSize(head);
  if (head.size() >= 2 && head[0] == 'B' && head[1] == 'M') return BmpSize(head);
  if (head.size() >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)
    return JpegSize(head);
  return {};
}

PictureVerdict CheckPictureFile(std::uint64_t fileBytes, const PictureSize& size,
                                const PictureLimits& limits) {
  if (fileBytes > limits.maxFileBytes) return PictureVerdict::kTooLarge;
  if (size.known && !PictureFits(size.width, size.height, limits)) return PictureVerdict::kTooLarge;
  return PictureVerdict::kAccepted;
}

bool PictureFits(std::uint32_t width, std::uint32_t height, const PictureLimits& limits) {
  return width <= limits.maxSide && height <= limits.maxSide;
}

}  // namespace qv
