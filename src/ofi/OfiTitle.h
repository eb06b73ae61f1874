#pragma once
// The drawing's title line: file bytes 108 to 123 (the title) and 124 to
// 127 (a second field), shown as title + "," + field.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace kesto {

constexpr std::size_t kTitleOffset = 108;   // first byte of the title block
constexpr std::size_t kTitleBytes = 16;     // the drawing title
constexpr std::size_t kTitleFieldBytes = 4; // the second field

// The title line of the drawing's bytes, in UTF-8.  Each four-byte piece is
// decoded from code page 932 on its own and made exactly four characters
// (a short file reads as blanks).
std::string titleLine(const std::uint8_t* data, std::size_t size);
// The same, reading only the title block of the file; nullopt when the file
// cannot be opened.
std::optional<std::string> readTitleLine(const std::filesystem::path& path);

} // namespace kesto
