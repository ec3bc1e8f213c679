// A small JSON writer for the answers the WebAssembly modules give the page: UTF-16 texts of the
// core become UTF-8 JSON strings.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qv {

// The text as a quoted JSON string (UTF-8), control characters and quotes escaped.
std::string JsonString(std::u16string_view text);
std::string JsonString(std::string_view ascii);
// Bytes as lower-case hex digits, two per byte, quoted.
std::string JsonHex(std::span<const std::uint8_t> bytes);

}  // namespace qv
