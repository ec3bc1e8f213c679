// Conversions between the portable core's UTF-16 text (char16_t) and the Win32 API's wchar_t,
// which are the same 16-bit units on Windows.
#pragma once

#include <string>
#include <string_view>

namespace qv {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide text is UTF-16");

inline const wchar_t* Wide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}
inline wchar_t* Wide(char16_t* text) {
  return reinterpret_cast<wchar_t*>(text);
}
inline const char16_t* Utf16(const wchar_t* text) {
  return reinterpret_cast<const char16_t*>(text);
}
inline char16_t* Utf16(wchar_t* text) {
  return reinterpret_cast<char16_t*>(text);
}

// A terminated wide copy of a view (views into the core's buffers need not be terminated).
inline std::wstring WideString(std::u16string_view text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

}  // namespace qv
