#pragma once
// Code tables between the drawing's character codes and the plotter's kanji
// set.  A kanji-set character is a JIS X 0208 code: the row byte in the high
// half, the cell byte in the low half, each 0x21 to 0x7E.  A drawing names a
// two-byte character by row and cell numbers, each the JIS byte minus 0x20.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace kesto::kanji {

// Single-byte drawing code -> JIS code of the glyph drawn for it.
struct SymbolEntry {
    std::uint8_t code;
    std::uint16_t jis;
};

// Cell of a two-byte row -> single-byte code of the standard set.
struct CellEntry {
    std::uint8_t cell;
    std::uint8_t byte;
};

// Cell of the drawing's extension row -> the two label bytes the plotter wants.
struct ExtensionGlyph {
    std::uint8_t cell;
    std::uint16_t label;
};

constexpr std::size_t kSymbolCount = 84;           // single-byte codes with a kanji-set glyph
constexpr std::size_t kRow1AlphanumericCount = 31; // row-1 symbols with a standard-set twin
constexpr std::size_t kRow1KanaCount = 7;          // row-1 marks with a half-width kana twin
constexpr std::uint8_t kFirstHalfWidthKana = 0xA1; // first half-width katakana byte
constexpr std::uint8_t kLastHalfWidthKana = 0xDF;  // last half-width katakana byte
constexpr std::size_t kHalfWidthKanaCount = kLastHalfWidthKana - kFirstHalfWidthKana + 1;
constexpr std::size_t kExtensionGlyphCount = 15; // special glyphs of the extension row

constexpr std::uint8_t kCellsPerRow = 94;    // cells 1 to 94 of a JIS row
constexpr std::uint8_t kSymbolRow = 1;       // JIS row of punctuation and symbols
constexpr std::uint8_t kAlphanumericRow = 3; // JIS row of full-width digits and letters
constexpr std::uint8_t kKatakanaRow = 5;     // JIS row of katakana
constexpr std::uint8_t kExtensionRow = 115;  // the drawing's row of special glyphs

extern const std::array<SymbolEntry, kSymbolCount> kSymbolTable;
extern const std::array<CellEntry, kRow1AlphanumericCount> kRow1Alphanumerics;
extern const std::array<CellEntry, kRow1KanaCount> kRow1Kana;
// JIS code of each half-width katakana byte, 0xA1 first.
extern const std::array<std::uint16_t, kHalfWidthKanaCount> kHalfWidthKana;
extern const std::array<ExtensionGlyph, kExtensionGlyphCount> kExtensionGlyphs;

// JIS code drawn for a single-byte symbol code; nothing when the code has none.
std::optional<std::uint16_t> symbolJis(std::uint8_t code);
// Standard-set byte of a row-1 cell, alphanumeric and kana tables.
std::optional<std::uint8_t> row1Alphanumeric(std::uint8_t cell);
std::optional<std::uint8_t> row1Kana(std::uint8_t cell);
// JIS code of a half-width katakana byte (0xA1 to 0xDF); nothing for other bytes.
std::optional<std::uint16_t> fullWidthKana(std::uint8_t byte);
// Half-width byte of a katakana-row cell; nothing for cells without one
// (voiced kana and the rare small forms).
std::optional<std::uint8_t> halfWidthKatakana(std::uint8_t cell);
// Label bytes of an extension-row cell; nothing for cells without a glyph.
std::optional<std::uint16_t> extensionGlyph(std::uint8_t cell);

} // namespace kesto::kanji
