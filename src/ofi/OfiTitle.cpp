#include "ofi/OfiTitle.h"

#include "io/Cp932.h"

#include <fstream>

namespace kesto {
namespace {

constexpr std::size_t kPiece = 4; // bytes decoded together

// Makes a decoded piece exactly four characters, as a fixed-length field would.
std::string fourCharacters(const std::string& utf8) {
    std::string out;
    std::size_t chars = 0;
    for (std::size_t i = 0; i < utf8.size() && chars < kPiece;) {
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        const std::size_t len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        out.append(utf8, i, len);
        i += len;
        ++chars;
    }
    for (; chars < kPiece; ++chars)
        out += ' ';
    return out;
}

} // namespace

std::string titleLine(const std::uint8_t* data, std::size_t size) {
    std::string line;
    for (std::size_t piece = 0; piece < (kTitleBytes + kTitleFieldBytes) / kPiece; ++piece) {
        if (piece == kTitleBytes / kPiece) line += ',';
        std::string bytes;
        for (std::size_t j = 0; j < kPiece; ++j) {
            const std::size_t at = kTitleOffset + piece * kPiece + j;
            bytes += at < size ? static_cast<char>(data[at]) : ' ';
        }
        line += fourCharacters(cp932ToUtf8Lenient(bytes));
    }
    return line;
}

std::optional<std::string> readTitleLine(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::uint8_t buf[kTitleOffset + kTitleBytes + kTitleFieldBytes] = {};
    in.read(reinterpret_cast<char*>(buf), sizeof buf);
    return titleLine(buf, static_cast<std::size_t>(in.gcount()));
}

} // namespace kesto
