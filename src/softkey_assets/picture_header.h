// The size a picture file declares in its header, read before the picture is decoded, and the
// limits a picture must keep to be decoded for a 256 by 256 soft key at all: decoding needs four
// bytes for every declared pixel, so a small file that declares tens of thousands of pixels per
// side would take gigabytes, and large photos loaded at every connection take seconds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace qv {

// Width and height as the header declares them; `known` is false for a format not read here (or
// a header cut short), whose size the decoder itself tells before it draws.
struct PictureSize {
  bool known = false;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

// Reads PNG, GIF, BMP and JPEG headers from the first bytes of a file. A JPEG's size stands in
// its frame header, after any number of other segments: it is found only within `head`.
PictureSize ReadPictureSize(std::span<const std::uint8_t> head);

// The bytes of a file that ReadPictureSize is given at most.
inline constexpr std::size_t kPictureHeadBytes = 1024 * 1024;

struct PictureLimits {
  std::uint64_t maxFileBytes = 0;
  std::uint32_t maxSide = 0;  // for width and for height
};

// A picture the user chooses for a soft key: at most 4096 pixels per side (16 times the side of
// the 256 by 256 image it becomes; a 12-megapixel photo fits) and a file of at most 64 MiB (a
// 4096 by 4096 picture without compression).
inline constexpr PictureLimits kChosenPictureLimits{64ull * 1024 * 1024, 4096};
// A picture in a key pad's folder, loaded at every connection: the program stores 256 by 256
// PNG files there; twice that per side, in at most 2 MiB, is left for files put there by hand.
inline constexpr PictureLimits kStoredPictureLimits{2ull * 1024 * 1024, 512};

enum class PictureVerdict {
  kAccepted,  // may be decoded
  kTooLarge,  // the file or the declared size is beyond the limits: never decoded
};
// The verdict before decoding, on the file's size and its header's declared size (a size not
// known here is accepted; the decoder's size is checked with PictureFits before drawing).
PictureVerdict CheckPictureFile(std::uint64_t fileBytes, const PictureSize& size,
                                const PictureLimits& limits);
// Whether a decoded picture's size keeps to the limits.
bool PictureFits(std::uint32_t width, std::uint32_t height, const PictureLimits& limits);

}  // namespace qv
