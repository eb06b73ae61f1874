#pragma once
// Character output shared by the single-byte and the two-byte string records:
// placing and labelling one character in the standard set or the kanji set.

#include "convert/Converter.h"

#include <cstdint>
#include <string_view>

namespace kesto {

enum class CharKind { Alphanumeric, Kana };

// Step from one character origin to the next, drawing units.
struct TextStep {
    double dx = 0;
    double dy = 0;
};

// String entry shared by both string records: the flushes, the origin X, Y
// and "PU".  Returns the per-character step.
TextStep startString(Converter& c);
// Moves the text position one step along the string.
void advanceText(Converter& c, const TextStep& step);

// Writes `head` and "w,h;" (both to 5 decimals), made again only when the
// sizes differ from the last ones of `last`.
void writeSizeCommand(Converter& c, SizeCommand& last, std::string_view head, double w, double h);

// Standard set.
void placeSingleByte(Converter& c);
void writeSingleByte(Converter& c, std::uint8_t ch, CharKind kind);
// An alphanumeric character, from the kanji set or the standard set as the
// settings choose.
void writeAlphanumeric(Converter& c, std::uint8_t ch);

// Kanji set.
void placeKanji(Converter& c);
void writeKanjiSize(Converter& c);
void writeKanjiSymbol(Converter& c, std::uint8_t ch);
void writeFullWidthKana(Converter& c, std::uint8_t ch);
void writeKanji(Converter& c, std::uint8_t row, std::uint8_t cell);

} // namespace kesto
