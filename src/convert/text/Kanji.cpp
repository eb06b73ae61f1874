// Kanji, kana and full-width symbols: the two-byte string record and the
// output of single characters through the plotter's kanji set (the alternate
// set, designated by "CA101" in the prologue and selected with "SA").
//
// A kanji-set label carries two bytes, the JIS row and cell.  The kanji set
// is drawn wider and taller than the standard set and shifted by the
// configured fractions of the character size.
#include "convert/Converter.h"
#include "convert/text/KanjiTables.h"
#include "convert/text/TextOutput.h"
#include "glf/NumberFormat.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace kesto {

namespace {

constexpr double kKanjiWidthFactor = 1.1683;      // kanji-set width over standard-set width
constexpr double kKanjiHeightFactor = 1.2113;     // kanji-set height over standard-set height
constexpr int kJisOffset = 32;                    // drawing row/cell number -> JIS byte
constexpr int kMaxLabelNumber = 255 - kJisOffset; // larger rows or cells give no label byte
constexpr std::uint8_t kSpace = 32;

void writeLabel(Converter& c, std::uint16_t jis) {
    char* p = writeLiteral("LB", c.out.reserve(6));
    *p++ = static_cast<char>(jis >> 8);
    *p++ = static_cast<char>(jis & 0xFF);
    c.out.commit(writeLiteral(kLabelEnd, p));
}

bool isSymbolCode(std::uint8_t ch) {
    return (ch >= 1 && ch <= 31) || (ch >= 127 && ch <= 160) || (ch >= 224 && ch <= 253);
}

bool isHalfWidthKana(std::uint8_t ch) {
    return ch >= kanji::kFirstHalfWidthKana && ch <= kanji::kLastHalfWidthKana;
}

// Row 3 cells of the digits and letters: 16-25, 33-58, 65-90.
bool isFullWidthAlphanumeric(std::uint8_t cell) {
    return (cell >= 16 && cell <= 25) || (cell >= 33 && cell <= 58) || (cell >= 65 && cell <= 90);
}

// A single-byte character inside a two-byte string (row 0).
void writeRowZero(Converter& c, std::uint8_t ch) {
    if (ch == kSpace) return;
    if (isSymbolCode(ch)) {
        placeKanji(c);
        writeKanjiSymbol(c, ch);
    } else if (isHalfWidthKana(ch) && c.settings.kana == CharSetChoice::FullWidth) {
        placeKanji(c);
        writeFullWidthKana(c, ch);
    } else if (isHalfWidthKana(ch) && c.settings.kana == CharSetChoice::HalfWidth) {
        writeSingleByte(c, ch, CharKind::Kana);
    } else {
        writeAlphanumeric(c, ch);
    }
}

void writeTwoByte(Converter& c, std::uint8_t row, std::uint8_t cell) {
    const bool fullAlnum = c.settings.alnum == CharSetChoice::FullWidth;
    const bool fullKana = c.settings.kana == CharSetChoice::FullWidth;
    if (row == 0) {
        writeRowZero(c, cell);
    } else if (row == kanji::kAlphanumericRow) {
        if (!fullAlnum && isFullWidthAlphanumeric(cell)) {
            writeSingleByte(c, static_cast<std::uint8_t>(cell + kJisOffset),
                            CharKind::Alphanumeric);
        } else {
            writeKanji(c, row, cell);
        }
    } else if (row == kanji::kSymbolRow) {
        if (!fullAlnum) {
            if (const auto b = kanji::row1Alphanumeric(cell)) {
                writeSingleByte(c, *b, CharKind::Alphanumeric);
                return;
            }
        }
        if (!fullKana) {
            if (const auto b = kanji::row1Kana(cell)) {
                writeSingleByte(c, *b, CharKind::Kana);
                return;
            }
        }
        writeKanji(c, row, cell);
    } else if (row == kanji::kKatakanaRow && !fullKana) {
        if (const auto b = kanji::halfWidthKatakana(cell)) {
            writeSingleByte(c, *b, CharKind::Kana);
        } else {
            writeKanji(c, row, cell);
        }
    } else {
        writeKanji(c, row, cell);
    }
}

} // namespace

void writeKanjiSize(Converter& c) {
    TextState& t = c.text();
    if (t.sizedSet == SizedSet::Kanji && t.writtenHeight == t.charHeight &&
        t.writtenWidth == t.charWidth) {
        return;
    }
    t.writtenHeight = t.charHeight;
    t.writtenWidth = t.charWidth;
    t.sizedSet = SizedSet::Kanji;
    const double w = c.charSizeCm(t.charWidth) * kKanjiWidthFactor *
                     static_cast<double>(c.settings.kanjiWidthFactor);
    const double h = c.charSizeCm(t.charHeight) * kKanjiHeightFactor *
                     static_cast<double>(c.settings.kanjiHeightFactor);
    writeSizeCommand(c, t.kanjiSize, "SA;DV0;SI", w, h);
}

void placeKanji(Converter& c) {
    const TextState& t = c.text();
    const double kx = c.settings.kanjiShiftX;
    const double ky = c.settings.kanjiShiftY;
    const double w = static_cast<double>(t.charWidth);
    const double absW = std::abs(w);
    const double absH = std::abs(static_cast<double>(t.charHeight));
    const double run = t.directionRun;
    const double rise = t.directionRise;
    char* p = writeLiteral("PA", c.out.reserve(kPairRoom + 3));
    if (c.state.page.rotated) {
        // The turned sheet takes the width with its sign.
        p = writePair(c.plotY(t.textY - run * kx * w - rise * ky * absH),
                      c.plotX(t.textX + rise * kx * w + run * ky * absH), p);
    } else {
        p = writePair(c.plotX(t.textX + run * kx * absW - rise * ky * absH),
                      c.plotY(t.textY - rise * kx * absW - run * ky * absH), p);
    }
    *p++ = ';';
    c.out.commit(p);
}

void writeKanjiSymbol(Converter& c, std::uint8_t ch) {
    writeKanjiSize(c);
    const bool digitOrLetter =
        (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
    if (digitOrLetter) {
        writeLabel(c,
                   static_cast<std::uint16_t>(((kanji::kAlphanumericRow + kJisOffset) << 8) | ch));
    } else if (const auto jis = kanji::symbolJis(ch)) {
        writeLabel(c, *jis);
    }
    // A code without a glyph leaves its "PA" without a label.
}

void writeFullWidthKana(Converter& c, std::uint8_t ch) {
    writeKanjiSize(c);
    if (const auto jis = kanji::fullWidthKana(ch)) writeLabel(c, *jis);
}

void writeKanji(Converter& c, std::uint8_t row, std::uint8_t cell) {
    writeKanjiSize(c);
    placeKanji(c);
    if (row == kanji::kExtensionRow) {
        if (const auto glyph = kanji::extensionGlyph(cell)) {
            writeLabel(c, *glyph);
            return;
        }
    }
    // Rows or cells past 223 have no label byte; the "PA" stays alone.
    if (row > kMaxLabelNumber || cell > kMaxLabelNumber) return;
    writeLabel(c, static_cast<std::uint16_t>(((row + kJisOffset) << 8) | (cell + kJisOffset)));
}

void convertTwoByteText(Converter& c, std::uint8_t operandCount) {
    const TextStep step = startString(c);
    // Fewer than three operands: X and Y only, no characters.
    for (unsigned k = 3; k <= operandCount; ++k) {
        const std::uint16_t word = c.in.next();
        writeTwoByte(c, static_cast<std::uint8_t>(word & 0xFF),
                     static_cast<std::uint8_t>(word >> 8));
        if (k == operandCount) break;
        advanceText(c, step);
    }
}

} // namespace kesto
