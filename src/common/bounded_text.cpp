#include "common/bounded_text.h"

namespace qv {
namespace {

// Appends characters to a bounded destination, remembering whether anything was cut.
class Sink {
 public:
  Sink(char16_t* dest, std::size_t capacity) : dest_(dest), capacity_(capacity) {}

  void Put(char16_t c) {
    if (capacity_ == 0 || used_ + 1 >= capacity_) {
      cut_ = true;
      return;
    }
    dest_[used_++] = c;
  }
  void Put(std::u16string_view text) {
    for (char16_t c : text) Put(c);
  }
  bool Finish() {
    if (capacity_ != 0) dest_[used_] = 0;
    return !cut_ && capacity_ != 0;
  }

 private:
  char16_t* dest_;
  std::size_t capacity_;
  std::size_t used_ = 0;
  bool cut_ = false;
};

void PutNumber(Sink& sink, unsigned long long value, bool negative, unsigned base, bool upper,
               bool zeroPad, std::size_t width) {
  char16_t digits[24];
  std::size_t count = 0;
  do {
    unsigned digit = static_cast<unsigned>(value % base);
    digits[count++] =
        static_cast<char16_t>(digit < 10 ? u'0' + digit : (upper ? u'A' : u'a') + digit - 10);
    value /= base;
  } while (value != 0);
  std::size_t length = count + (negative ? 1 : 0);
  std::size_t pad = width > length ? width - length : 0;
  if (!zeroPad)
    for (; pad > 0; --pad) sink.Put(u' ');
  if (negative) sink.Put(u'-');
  for (; pad > 0; --pad) sink.Put(u'0');
  while (count > 0) sink.Put(digits[--count]);
}

}  // namespace

bool BoundedFormat(char16_t* dest, std::size_t capacity, std::u16string_view format,
                   std::initializer_list<FormatArg> args) {
  Sink sink(dest, capacity);
  const FormatArg* next = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    char16_t c = format[i];
    if (c != u'%') {
      sink.Put(c);
      continue;
    }
    std::size_t start = i;
    ++i;
    if (i < format.size() && format[i] == u'%') {
      sink.Put(u'%');
      continue;
    }
    bool zeroPad = false;
    if (i < format.size() && format[i] == u'0') {
      zeroPad = true;
      ++i;
    }
    std::size_t width = 0;
    while (i < format.size() && format[i] >= u'0' && format[i] <= u'9' && width < 64) {
      width = width * 10 + (format[i] - u'0');
      ++i;
    }
    // "%ls" is accepted as "%s".
    if (i < format.size() && format[i] == u'l') ++i;
    if (i >= format.size()) {
      sink.Put(format.substr(start));
      break;
    }
    char16_t conversion = format[i];
    const FormatArg* arg = next != args.end() ? next : nullptr;
    switch (conversion) {
      case u's':
        if (arg) ++next;
        if (arg && arg->kind() == FormatArg::Kind::kText) {
          std::u16string_view text = arg->text();
          for (std::size_t n = text.size(); n < width; ++n) sink.Put(u' ');
          sink.Put(text);
        }
        break;
      case u'd':
        if (arg) ++next;
        if (arg && arg->kind() != FormatArg::Kind::kText) {
          long long v = arg->AsSigned();
          unsigned long long magnitude = v < 0 ? 0ULL - static_cast<unsigned long long>(v)
                                               : static_cast<unsigned long long>(v);
          PutNumber(sink, magnitude, v < 0, 10, false, zeroPad, width);
        }
        break;
      case u'u':
      case u'x':
      case u'X':
        if (arg) ++next;
        if (arg && arg->kind() != FormatArg::Kind::kText) {
          unsigned long long v = arg->AsUnsigned();
          // Like printf, a 32-bit conversion shows the low 32 bits of a negative number.
          if (arg->kind() == FormatArg::Kind::kSigned && arg->AsSigned() < 0) v &= 0xFFFFFFFFULL;
          PutNumber(sink, v, false, conversion == u'u' ? 10 : 16, conversion == u'X', zeroPad,
                    width);
        }
        break;
      default:
        sink.Put(format.substr(start, i - start + 1));
        break;
    }
  }
  return sink.Finish();
}

bool BoundedCopy(char16_t* dest, std::size_t capacity, std::u16string_view src) {
  Sink sink(dest, capacity);
  sink.Put(src);
  return sink.Finish();
}

std::size_t BoundedLength(const char16_t* text, std::size_t capacity) {
  std::size_t n = 0;
  if (!text) return 0;
  while (n < capacity && text[n] != 0) ++n;
  return n;
}

bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - u'a' + u'A');
    if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - u'a' + u'A');
    if (x != y) return false;
  }
  return true;
}

}  // namespace qv
