// The size a picture file declares, read from its bytes before the picture is decoded, and the
// limits a picture must keep to be decoded for a 256 by 256 soft key at all: decoding needs four
// bytes for every declared pixel, so a small file that declares tens of thousands of pixels per
// side would take gigabytes, and large photos loaded at every connection take seconds. A picture
// whose size cannot be read here is never decoded: what the decoder would make of it is unknown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace qv {

// Width and height the file declares; `known` is false for a format not read here or a layout
// whose size cannot be told (a header cut short, bytes where a header belongs).
struct PictureSize {
  bool known = false;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

// Reads PNG (IHDR, the first chunk), GIF (the logical screen and every frame within the bytes:
// the size covers them all, placed at their offsets), BMP (Windows and OS/2 info headers) and
// JPEG (the first frame header, after any number of whole segments) from the file's bytes.
PictureSize ReadPictureSize(std::span<const std::uint8_t> file);

// Reads an icon or cursor file: the largest width and height among its images, each read from
// the image itself (an embedded PNG's IHDR, or a bitmap's info header without its mask rows).
// Not known when any image cannot be read or lies outside the file.
PictureSize ReadIconSize(std::span<const std::uint8_t> file);

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
// An icon is stored byte for byte as it was chosen and loaded so at every connection: it keeps
// the limits it was chosen under, so that what was accepted once loads again.
inline constexpr PictureLimits kIconFileLimits = kChosenPictureLimits;

enum class PictureVerdict {
  kAccepted,     // may be decoded
  kTooLarge,     // the file or the declared size is beyond the limits: never decoded
  kSizeUnknown,  // the declared size cannot be read: never decoded
};
// The verdict before decoding, on the file's size and the size its bytes declare.
PictureVerdict CheckPictureFile(std::uint64_t fileBytes, const PictureSize& size,
                                const PictureLimits& limits);
// Whether a picture's size keeps to the limits (also asked of the decoder before drawing).
bool PictureFits(std::uint32_t width, std::uint32_t height, const PictureLimits& limits);

}  // namespace qv
