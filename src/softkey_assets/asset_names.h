// Where a key pad's soft-key images and captions are stored, and the small rules of turning a
// stored file or value into what the soft keyboard shows: which file names a key or page has,
// how a picture is cropped to a square, how long a caption may be.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/bounded_text.h"
#include "common/key_code_record.h"

namespace qv {

// A caption holds at most 8 characters and its terminator.
inline constexpr std::size_t kCaptionLength = 8;
inline constexpr std::size_t kCaptionChars = kCaptionLength + 1;
// Side of a converted picture.
inline constexpr int kAssetImageSide = 256;

inline constexpr std::u16string_view kCaptionFileName = u"softkey_text.ini";
inline constexpr std::u16string_view kCaptionSection = u"softkey";

// A key (index 0 to 143) or one of the six page buttons (index 0 to 5).
struct AssetTarget {
  bool isPage = false;
  int index = -1;
};

inline constexpr AssetTarget KeyTarget(int key) {
  return AssetTarget{false, key};
}
inline constexpr AssetTarget PageTarget(int page) {
  return AssetTarget{true, page};
}
bool IsValidTarget(AssetTarget target);

enum class ImageFileKind { kPng, kIcon };

// The image file of a key ("%03u.png" with the key number) or a page ("p%02u.png" with the page
// number) in the key pad's folder, with ".ico" for the icon copy. False, with an empty path, for
// a target out of range or a path that would be cut (a cut path names another file).
bool AssetImagePath(std::u16string_view keyPadFolder, AssetTarget target, ImageFileKind kind,
                    char16_t (&path)[kPathChars]);

// The key pad's caption file; false, with an empty path, when it would be cut.
bool CaptionFilePath(std::u16string_view keyPadFolder, char16_t (&path)[kPathChars]);

// The caption file's key of a target: "text_%03u" with the key number, "text_p%02u" with the
// page number. False, with an empty name, for a target out of range.
inline constexpr std::size_t kCaptionKeyChars = 16;
bool CaptionKeyName(AssetTarget target, char16_t (&name)[kCaptionKeyChars]);

// Whether a path names an icon: its last four characters are ".ico", in any case.
bool IsIconPath(std::u16string_view path);

// The caption kept for a stored value: its first 8 characters. A character made of two UTF-16
// units is never split: when only its first unit would fit, the caption ends before it.
std::u16string_view CutCaption(std::u16string_view value);

// The centred square of a w by h picture that is scaled onto the 256 by 256 canvas: the side is
// the shorter of width and height, offset by the integer half of the difference along the
// longer side. A picture without pixels gives side 0 (nothing is drawn).
struct SquareCrop {
  int x = 0;
  int y = 0;
  int side = 0;
};
SquareCrop CenteredSquareCrop(std::uint32_t width, std::uint32_t height);

// A system colour (0x00BBGGRR) as opaque ARGB (0xFFRRGGBB), the background a converted picture
// is shown on.
constexpr std::uint32_t OpaqueArgbFromColorRef(std::uint32_t colorRef) {
  return 0xFF000000u | (colorRef & 0xFFu) << 16 | (colorRef & 0xFF00u) | (colorRef >> 16 & 0xFFu);
}

// How a profile file's text is encoded, as its first bytes tell: a byte-order mark of UTF-16LE,
// UTF-16BE or UTF-8, or none (the system's ANSI code page). A file without bytes has none yet.
enum class ProfileEncoding { kEmpty, kAnsi, kUtf16Le, kUtf16Be, kUtf8 };
ProfileEncoding DetectProfileEncoding(const std::uint8_t* bytes, std::size_t size);

// Caption files larger than this are left in their encoding rather than read whole: a caption
// file holds 150 short values, so a larger one is not the program's own.
inline constexpr std::size_t kMaxConvertedCaptionFileBytes = 256 * 1024;

// The file a whole-file write goes to first, beside its destination: the destination's name with
// its last character made "~" ("_" when it is "~" already). The finished file then replaces the
// destination in one step, so that a failed write never leaves a damaged picture or caption file
// behind. It is exactly as long as the destination, so every file that can be named can be
// written. False for a path that names no file.
bool ReplacementPath(std::u16string_view path, char16_t (&replacement)[kPathChars]);

}  // namespace qv
