// The files of a key pad's soft-key folder from the fuzzer's bytes: "softkey_text.ini" as a
// caption write finds it (the encoding told by its first bytes, and whether and how it is
// converted to UTF-16LE) and the header of a picture file (the size it declares). The caption
// plan is checked against a model written from the rules (a mark keeps the encoding; a file
// without one is converted only when read whole, within the size limit, and either plain ASCII
// or text in the code page that is not UTF-8, into the mark and the decoded text), with UTF-8
// told by a table of well-formed byte sequences; picture sizes against the formats' layouts.
#include <cstddef>
#include <cstdint>
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

void CheckCaptionFile(FuzzInput& input, const Bytes& bytes) {
  const int code = input.Byte() % 3;
  const bool whole = input.Bool();
  const AnsiDecoder decode = code == 0   ? AnsiDecoder(DecodeAsciiOnly)
                             : code == 1 ? AnsiDecoder(DecodeEveryByte)
                                         : AnsiDecoder(DecodeDoubleByte);
  const CaptionFilePlan plan = PlanCaptionFile(bytes, whole, decode);

  const bool mark = (bytes.size() >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) ||
                                           (bytes[0] == 0xFE && bytes[1] == 0xFF))) ||
                    (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF);
  if (bytes.empty()) {
    Check(plan.step == (whole ? CaptionFileStep::kWriteMark : CaptionFileStep::kRefuse),
          "an empty file gets the mark when read whole");
    return;
  }
  if (mark) {
    Check(plan.step == CaptionFileStep::kWriteAsIs, "a file with a mark keeps its encoding");
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

std::uint32_t Big(const Bytes& b, std::size_t at, int width) {
  std::uint32_t value = 0;
  for (int i = 0; i < width; ++i) value = value << 8 | b[at + i];
  return value;
}
std::uint32_t Little(const Bytes& b, std::size_t at, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | b[at + i];
  return value;
}

void CheckPictureHeader(const Bytes& bytes) {
  const PictureSize size = ReadPictureSize(bytes);
  const std::size_t n = bytes.size();
  if (n >= 8 && bytes[0] == 0x89 && bytes[1] == 'P' && bytes[2] == 'N' && bytes[3] == 'G') {
    if (size.known) {
      Check(n >= 24 && Big(bytes, 12, 4) == 0x49484452u, "PNG size from IHDR");
      Check(size.width == Big(bytes, 16, 4) && size.height == Big(bytes, 20, 4), "PNG size");
    }
  } else if (n >= 6 && bytes[0] == 'G' && bytes[1] == 'I' && bytes[2] == 'F') {
    if (size.known)
      Check(size.width == Little(bytes, 6, 2) && size.height == Little(bytes, 8, 2), "GIF size");
  } else if (n >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
    if (size.known && n >= 26 && Little(bytes, 14, 4) == 12)
      Check(size.width == Little(bytes, 18, 2) && size.height == Little(bytes, 20, 2),
            "BMP core size");
  } else if (n >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) {
    Check(!size.known || (size.width <= 0xFFFF && size.height <= 0xFFFF), "JPEG 16-bit sizes");
  } else {
    Check(!size.known, "other formats are not read");
  }
  // A size is only ever accepted within the limits.
  for (const PictureLimits& limits : {kChosenPictureLimits, kStoredPictureLimits}) {
    if (CheckPictureFile(n, size, limits) == PictureVerdict::kAccepted && size.known)
      Check(size.width <= limits.maxSide && size.height <= limits.maxSide, "limits kept");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const bool picture = input.Bool();
  FuzzInput settings(data + (size > 0 ? 1 : 0), size > 0 ? size - 1 : 0);
  const std::size_t skip = size > 3 ? 3 : size;
  const Bytes bytes(data + skip, data + size);
  if (picture)
    CheckPictureHeader(bytes);
  else
    CheckCaptionFile(settings, bytes);
  return 0;
}
