#pragma once
// Code page 932 (Shift-JIS) <-> UTF-8.  iconv on POSIX, the Win32 code-page
// functions on Windows.

#include <optional>
#include <string>
#include <string_view>

namespace kesto {

// Strict conversions: nullopt when a byte or character has no counterpart.
std::optional<std::string> cp932ToUtf8(std::string_view bytes);
std::optional<std::string> utf8ToCp932(std::string_view text);

// Lenient decoding for display: a byte that does not decode (a lone lead
// byte, an invalid sequence) becomes "・".
std::string cp932ToUtf8Lenient(std::string_view bytes);

} // namespace kesto
