// Bounded UTF-16 text: every formatted string and path of the program is produced here, cut to
// the size of its destination and always terminated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace qv {

// Paths hold 260 characters including the terminator.
inline constexpr std::size_t kPathChars = 260;

// One argument of BoundedFormat: a signed or unsigned number or a terminated UTF-16 text.
class FormatArg {
 public:
  enum class Kind { kSigned, kUnsigned, kText };

  FormatArg(int value) : kind_(Kind::kSigned), signed_(value) {}
  FormatArg(long value) : kind_(Kind::kSigned), signed_(value) {}
  FormatArg(long long value) : kind_(Kind::kSigned), signed_(value) {}
  FormatArg(unsigned value) : kind_(Kind::kUnsigned), unsigned_(value) {}
  FormatArg(unsigned long value) : kind_(Kind::kUnsigned), unsigned_(value) {}
  FormatArg(unsigned long long value) : kind_(Kind::kUnsigned), unsigned_(value) {}
  FormatArg(std::u16string_view text) : kind_(Kind::kText), text_(text) {}
  FormatArg(const char16_t* text) : kind_(Kind::kText), text_(text ? text : u"") {}

  Kind kind() const { return kind_; }
  long long AsSigned() const {
    return kind_ == Kind::kSigned ? signed_ : static_cast<long long>(unsigned_);
  }
  unsigned long long AsUnsigned() const {
    return kind_ == Kind::kUnsigned ? unsigned_ : static_cast<unsigned long long>(signed_);
  }
  std::u16string_view text() const { return text_; }

 private:
  Kind kind_;
  long long signed_ = 0;
  unsigned long long unsigned_ = 0;
  std::u16string_view text_;
};

// Formats `format` into dest[0 .. capacity-1]. Conversions: %s (text), %d, %u, %x, %X with an
// optional '0' flag and width (for example "%06u", "%08x"), and %%. A conversion whose argument
// is missing or of the wrong kind produces nothing. The result is cut to capacity - 1 characters
// and always terminated (capacity 0 writes nothing). Returns true when the whole result fit.
bool BoundedFormat(char16_t* dest, std::size_t capacity, std::u16string_view format,
                   std::initializer_list<FormatArg> args);

template <std::size_t N>
bool BoundedFormat(char16_t (&dest)[N], std::u16string_view format,
                   std::initializer_list<FormatArg> args) {
  return BoundedFormat(dest, N, format, args);
}

// Copies src into dest, cut to capacity - 1 characters, terminated. True when nothing was cut.
bool BoundedCopy(char16_t* dest, std::size_t capacity, std::u16string_view src);

template <std::size_t N>
bool BoundedCopy(char16_t (&dest)[N], std::u16string_view src) {
  return BoundedCopy(dest, N, src);
}

// Length of a terminated text, reading at most capacity characters.
std::size_t BoundedLength(const char16_t* text, std::size_t capacity);

// The text of a terminated buffer as a view (never beyond capacity).
inline std::u16string_view BoundedView(const char16_t* text, std::size_t capacity) {
  return std::u16string_view(text, BoundedLength(text, capacity));
}
template <std::size_t N>
std::u16string_view BoundedView(const char16_t (&text)[N]) {
  return BoundedView(text, N);
}

// The first `limit` characters of a text (all of it when it is shorter).
constexpr std::u16string_view CutTo(std::u16string_view text, std::size_t limit) {
  return text.size() > limit ? text.substr(0, limit) : text;
}

// Compares two texts, ignoring the case of the ASCII letters only.
bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b);

}  // namespace qv
