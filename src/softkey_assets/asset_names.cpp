#include "softkey_assets/asset_names.h"

#include "common/key_code_record.h"

namespace qv {

bool IsValidTarget(AssetTarget target) {
  const int count = target.isPage ? kPageCount : kMaxKeys;
  return target.index >= 0 && target.index < count;
}

bool AssetImagePath(std::u16string_view keyPadFolder, AssetTarget target, ImageFileKind kind,
                    char16_t (&path)[kPathChars]) {
  path[0] = 0;
  if (!IsValidTarget(target) || keyPadFolder.empty()) return false;
  const unsigned number = static_cast<unsigned>(target.index) + 1;
  std::u16string_view format;
  if (target.isPage)
    format = kind == ImageFileKind::kPng ? u"%s\\p%02u.png" : u"%s\\p%02u.ico";
  else
    format = kind == ImageFileKind::kPng ? u"%s\\%03u.png" : u"%s\\%03u.ico";
  if (!BoundedFormat(path, format, {keyPadFolder, number})) {
    path[0] = 0;
    return false;
  }
  return true;
}

bool CaptionFilePath(std::u16string_view keyPadFolder, char16_t (&path)[kPathChars]) {
  path[0] = 0;
  if (keyPadFolder.empty()) return false;
  if (!BoundedFormat(path, u"%s\\%s", {keyPadFolder, kCaptionFileName})) {
    path[0] = 0;
    return false;
  }
  return true;
}

bool CaptionKeyName(AssetTarget target, char16_t (&name)[kCaptionKeyChars]) {
  name[0] = 0;
  if (!IsValidTarget(target)) return false;
  const unsigned number = static_cast<unsigned>(target.index) + 1;
  return BoundedFormat(name, target.isPage ? u"text_p%02u" : u"text_%03u", {number});
}

bool IsIconPath(std::u16string_view path) {
  return path.size() >= 4 && EqualsIgnoreAsciiCase(path.substr(path.size() - 4), u".ico");
}

std::u16string_view CutCaption(std::u16string_view value) {
  std::u16string_view caption = CutTo(value, kCaptionLength);
  if (caption.size() == kCaptionLength && value.size() > kCaptionLength) {
    const char16_t last = caption.back();
    if (last >= 0xD800 && last <= 0xDBFF) caption.remove_suffix(1);
  }
  return caption;
}

SquareCrop CenteredSquareCrop(std::uint32_t width, std::uint32_t height) {
  SquareCrop crop;
  if (width == 0 || height == 0) return crop;
  // GDI+ draws with int coordinates: a picture beyond that range cannot be drawn anyway.
  constexpr std::uint32_t kMaxSide = 0x7FFFFFFF;
  if (width > kMaxSide || height > kMaxSide) return crop;
  if (width > height) {
    crop.x = static_cast<int>((width - height) / 2);
    crop.side = static_cast<int>(height);
  } else {
    crop.y = static_cast<int>((height - width) / 2);
    crop.side = static_cast<int>(width);
  }
  return crop;
}

ProfileEncoding DetectProfileEncoding(const std::uint8_t* bytes, std::size_t size) {
  if (size == 0) return ProfileEncoding::kEmpty;
  if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return ProfileEncoding::kUtf16Le;
  if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) return ProfileEncoding::kUtf16Be;
  if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
    return ProfileEncoding::kUtf8;
  return ProfileEncoding::kAnsi;
}

bool ReplacementPath(std::u16string_view path, char16_t (&replacement)[kPathChars]) {
  replacement[0] = 0;
  if (path.empty() || path.back() == u'\\' || path.back() == u'/' ||
      !BoundedCopy(replacement, path)) {
    replacement[0] = 0;
    return false;
  }
  char16_t& last = replacement[path.size() - 1];
  last = last == u'~' ? u'_' : u'~';
  return true;
}

}  // namespace qv
