#include "render/CharacterSets.h"

#include "io/Cp932.h"

#include <array>
#include <atomic>
#include <string>

namespace kesto::render {

namespace {

constexpr char32_t kUnknown = 0xFFFFFFFF;

char32_t firstCodePoint(const std::string& utf8) {
    if (utf8.empty()) return 0;
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(utf8[i]); };
    const unsigned char c = b(0);
    if (c < 0x80) return c;
    if ((c >> 5) == 6 && utf8.size() >= 2) return ((c & 0x1Fu) << 6) | (b(1) & 0x3Fu);
    if ((c >> 4) == 14 && utf8.size() >= 3)
        return ((c & 0x0Fu) << 12) | ((b(1) & 0x3Fu) << 6) | (b(2) & 0x3Fu);
    if ((c >> 3) == 30 && utf8.size() >= 4)
        return ((c & 0x07u) << 18) | ((b(1) & 0x3Fu) << 12) | ((b(2) & 0x3Fu) << 6) |
               (b(3) & 0x3Fu);
    return 0;
}

// The Shift-JIS bytes of a JIS row/cell pair, decoded through code page 932
// (which also holds the extension row of the kanji set).
char32_t decodeJis(unsigned char j1, unsigned char j2) {
    const unsigned s1 = ((j1 + 1u) >> 1) + (j1 <= 0x5E ? 0x70u : 0xB0u);
    const unsigned s2 = j2 + ((j1 & 1u) ? (j2 >= 0x60 ? 0x20u : 0x1Fu) : 0x7Eu);
    const char bytes[2] = {static_cast<char>(s1), static_cast<char>(s2)};
    const auto text = cp932ToUtf8(std::string_view(bytes, 2));
    if (!text) return 0;
    return firstCodePoint(*text);
}

// Filled on first use of each pair; several painters may share it.
struct KanjiCache {
    KanjiCache() {
        for (auto& c : codes)
            c.store(kUnknown, std::memory_order_relaxed);
    }
    std::array<std::atomic<char32_t>, 94 * 94> codes;
};

std::array<std::atomic<char32_t>, 94 * 94>& kanjiCache() {
    static KanjiCache cache;
    return cache.codes;
}

} // namespace

char32_t kanjiSetCharacter(unsigned char rowByte, unsigned char cellByte) {
    if (rowByte < 0x21 || rowByte > 0x7E || cellByte < 0x21 || cellByte > 0x7E) return 0;
    auto& slot = kanjiCache()[(rowByte - 0x21u) * 94u + (cellByte - 0x21u)];
    char32_t code = slot.load(std::memory_order_relaxed);
    if (code == kUnknown) {
        code = decodeJis(rowByte, cellByte);
        slot.store(code, std::memory_order_relaxed);
    }
    return code;
}

char32_t standardSetCharacter(int set, unsigned char byte) {
    if (byte < 0x20 || byte == 0x7F) return 0;
    switch (set) {
    case 6: // JIS ASCII: yen sign and overline in place of backslash and tilde
        if (byte == 0x5C) return U'\u00A5';
        if (byte == 0x7E) return U'\u203E';
        break;
    case 8: // JIS katakana: 0x21 to 0x5F are the half-width katakana
        if (byte >= 0x21 && byte <= 0x5F) return 0xFF61 + (byte - 0x21u);
        break;
    default: break;
    }
    if (byte < 0x80) return byte;
    // Bytes of the upper half: the half-width katakana of code page 932.
    if (byte >= 0xA1 && byte <= 0xDF) return 0xFF61 + (byte - 0xA1u);
    return 0;
}

} // namespace kesto::render
