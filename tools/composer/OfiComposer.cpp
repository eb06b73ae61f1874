#include "composer/OfiComposer.h"

#include "glf/PlotterPi.h"
#include "io/Cp932.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <stdexcept>

namespace kesto {

namespace {

// Header record codes (after ESC !).
constexpr std::uint16_t CodeScale = 0x0157;
constexpr std::uint16_t Code0132 = 0x0132;
constexpr std::uint16_t CodePage = 0x0452;
constexpr std::uint16_t CodePatternLength = 0x014A;

// Drawing record codes (after ESC $).
constexpr std::uint16_t CodeLineStyle = 0x0154;
constexpr std::uint16_t CodeWideDashedPolyline = 0xFF42;
constexpr std::uint8_t CodeWideDashedArcLow = 0x45;
constexpr std::uint16_t CodeArc = 0x0641;
constexpr std::uint16_t CodeLine = 0x0444;
constexpr std::uint16_t CodePolyline = 0xFF44;
constexpr std::uint16_t CodeTextBlock = 0x0153;
constexpr std::uint16_t CodeSlant = 0x0149;
constexpr std::uint16_t CodeDirection = 0x014A;
constexpr std::uint16_t CodeCharSize = 0x0348;
constexpr std::uint16_t CodeCharSizeLong = 0x0648;
constexpr std::uint8_t CodeSingleByteTextLow = 0x4B;
constexpr std::uint8_t CodeTwoByteTextLow = 0x4C;
constexpr std::uint16_t CodePatternBlock = 0x0152;
constexpr std::uint16_t CodePatternFill = 0xFF50;
constexpr std::uint16_t CodeAnnotationLine = 0x044E;
// Word after ESC @ that ends the drawing ("E").
constexpr std::uint16_t CodeEnd = 0x0045;

// Pattern fill element codes.
constexpr std::uint16_t ElementContourStart = 0x00C1;
constexpr std::uint16_t ElementArc = 0x0086;

// Hundredths of a degree in a full turn.
constexpr int FullTurn = 36000;

bool isLeadByte(std::uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Copies `text` into a field of `width` bytes, padded, never cutting a
// double-byte character in half.
void putField(std::uint8_t* field, std::size_t width, std::string_view text, char pad) {
    std::size_t used = 0;
    while (used < text.size()) {
        const std::size_t len =
            isLeadByte(static_cast<std::uint8_t>(text[used])) && used + 1 < text.size() ? 2 : 1;
        if (used + len > width) break;
        used += len;
    }
    std::fill(field, field + width, static_cast<std::uint8_t>(pad));
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(used), field);
}

std::string toCp932(std::string_view utf8) {
    auto converted = utf8ToCp932(utf8);
    if (!converted) throw std::invalid_argument("text has no code page 932 form");
    return *converted;
}

// The CAD writes its special glyphs in row 115; code page 932 has them in
// row 13, which the plotter shows differently.
struct SpecialGlyph {
    std::string_view utf8;
    std::uint8_t cell;
};
constexpr SpecialGlyph Row115Glyphs[] = {
    {"Ⅰ", 11}, {"Ⅱ", 12}, {"Ⅲ", 13}, {"Ⅳ", 14},  {"Ⅴ", 15},  {"Ⅵ", 16}, {"Ⅶ", 17},
    {"Ⅷ", 18}, {"Ⅸ", 19}, {"Ⅹ", 20}, {"〝", 24}, {"㈱", 25}, {"№", 26}, {"℡", 27},
};
// The CAD's extension row for special glyphs.
constexpr std::uint8_t ExtensionRow = 115;
// Highest row of the JIS character set.
constexpr std::uint8_t LastJisRow = 94;

// Drawing symbol codes of single-byte strings.
struct SymbolCode {
    std::string_view utf8;
    std::uint8_t code;
};
constexpr SymbolCode SymbolCodes[] = {
    {"□", 1},   {"↑", 12},  {"↓", 13},  {"←", 14},  {"→", 15},  {"φ", 129}, {"Δ", 134},
    {"◎", 138}, {"○", 141}, {"⊥", 143}, {"∠", 145}, {"±", 149}, {"√", 150}, {"Ω", 152},
    {"μ", 153}, {"∞", 155}, {"≒", 156}, {"×", 157}, {"≦", 246}, {"≧", 247},
};

std::size_t utf8Length(std::uint8_t lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    return 4;
}

std::uint16_t roundToWord(double v) {
    return static_cast<std::uint16_t>(std::clamp(std::lround(v), 0L, 65535L));
}

} // namespace

std::vector<OfiKanji> cp932ToOfiKanji(std::string_view cp932) {
    std::vector<OfiKanji> out;
    for (std::size_t i = 0; i < cp932.size(); ++i) {
        const auto b1 = static_cast<std::uint8_t>(cp932[i]);
        if (!isLeadByte(b1)) {
            out.emplace_back(0, b1);
            continue;
        }
        if (i + 1 >= cp932.size()) throw std::invalid_argument("lone lead byte");
        const auto b2 = static_cast<std::uint8_t>(cp932[++i]);
        if (b2 < 0x40 || b2 == 0x7F || b2 > 0xFC) throw std::invalid_argument("bad trail byte");
        int row = b1 <= 0x9F ? (b1 - 0x81) * 2 + 1 : (b1 - 0xC1) * 2 + 1;
        int cell = 0;
        if (b2 >= 0x9F) {
            ++row;
            cell = b2 - 0x9E;
        } else {
            cell = b2 - 0x3F - (b2 >= 0x80 ? 1 : 0);
        }
        const bool special = row == ExtensionRow &&
                             std::any_of(std::begin(Row115Glyphs), std::end(Row115Glyphs),
                                         [&](const SpecialGlyph& g) { return g.cell == cell; });
        if (row > LastJisRow && !special)
            throw std::invalid_argument("character outside the plotter's kanji set");
        out.emplace_back(static_cast<std::uint8_t>(row), static_cast<std::uint8_t>(cell));
    }
    return out;
}

OfiComposer::OfiComposer() : data_(PreambleBytes, 0) {
    title({}, {});
}

OfiComposer& OfiComposer::title(std::string_view cp932Title, std::string_view cp932Second,
                                char pad) {
    putField(data_.data() + TitleOffset, TitleBytes, cp932Title, pad);
    putField(data_.data() + SecondTitleOffset, SecondTitleBytes, cp932Second, pad);
    return *this;
}

OfiComposer& OfiComposer::titleUtf8(std::string_view title, std::string_view second) {
    return this->title(toCp932(title), toCp932(second));
}

// --- low-level writers ----------------------------------------------------------

OfiComposer& OfiComposer::word(std::uint16_t value) {
    data_.push_back(static_cast<std::uint8_t>(value & 0xFF));
    data_.push_back(static_cast<std::uint8_t>(value >> 8));
    return *this;
}

OfiComposer& OfiComposer::words(std::initializer_list<std::uint16_t> values) {
    for (auto v : values)
        word(v);
    return *this;
}

OfiComposer& OfiComposer::bytes(std::span<const std::uint8_t> raw) {
    data_.insert(data_.end(), raw.begin(), raw.end());
    return *this;
}

OfiComposer& OfiComposer::bytes(std::initializer_list<std::uint8_t> raw) {
    data_.insert(data_.end(), raw.begin(), raw.end());
    return *this;
}

void OfiComposer::drawingCode(std::uint16_t code) {
    word(EscDrawing);
    word(code);
}

void OfiComposer::headerCode(std::uint16_t code) {
    word(EscHeader);
    word(code);
}

void OfiComposer::point(OfiPoint p) {
    word(p.x);
    word(p.y);
}

void OfiComposer::longWord(std::uint32_t value) {
    word(static_cast<std::uint16_t>(value & 0xFFFF));
    word(static_cast<std::uint16_t>(value >> 16));
}

// --- header records -------------------------------------------------------------

OfiComposer& OfiComposer::scale(std::int16_t micrometresPerUnit) {
    headerCode(CodeScale);
    return word(static_cast<std::uint16_t>(micrometresPerUnit));
}

OfiComposer& OfiComposer::record0132(std::int16_t value) {
    headerCode(Code0132);
    return word(static_cast<std::uint16_t>(value));
}

OfiComposer& OfiComposer::page(std::uint16_t extentX, std::uint16_t extentY, std::uint16_t boundX,
                               std::uint16_t boundY) {
    headerCode(CodePage);
    return words({extentX, extentY, boundX, boundY});
}

OfiComposer& OfiComposer::patternLength(std::uint16_t baseLength) {
    headerCode(CodePatternLength);
    return word(baseLength);
}

// --- geometry records -----------------------------------------------------------

OfiComposer& OfiComposer::lineStyle(std::uint8_t styleByte, std::uint8_t highByte) {
    drawingCode(CodeLineStyle);
    return word(static_cast<std::uint16_t>(styleByte | (highByte << 8)));
}

OfiComposer& OfiComposer::line(std::uint16_t x0, std::uint16_t y0, std::uint16_t x1,
                               std::uint16_t y1) {
    drawingCode(CodeLine);
    return words({x0, y0, x1, y1});
}

OfiComposer& OfiComposer::polyline(std::span<const OfiPoint> points) {
    if (points.size() < 2) throw std::invalid_argument("a polyline needs two points");
    drawingCode(CodePolyline);
    longWord(static_cast<std::uint32_t>(points.size() * 2));
    for (const auto& p : points)
        point(p);
    return *this;
}

OfiComposer& OfiComposer::wideDashedPolyline(std::uint16_t startElement,
                                             std::span<const std::uint32_t> elementsRaw,
                                             std::uint32_t phaseRaw, std::uint16_t width,
                                             std::span<const OfiPoint> points) {
    if (elementsRaw.empty() || elementsRaw.size() > MaxPatternElements ||
        startElement >= MaxPatternElements)
        throw std::invalid_argument("dash pattern does not fit the element table");
    if (points.empty()) throw std::invalid_argument("a wide dashed polyline needs a point");
    // StartElement, n, the elements, the phase, the width and the points.
    const std::size_t length = 2 + 2 * elementsRaw.size() + 2 + 1 + 2 * points.size();
    drawingCode(CodeWideDashedPolyline);
    longWord(static_cast<std::uint32_t>(length));
    word(startElement);
    word(static_cast<std::uint16_t>(elementsRaw.size()));
    for (auto e : elementsRaw)
        longWord(e);
    longWord(phaseRaw);
    word(width);
    for (const auto& p : points)
        point(p);
    return *this;
}

OfiComposer& OfiComposer::wideDashedArc(std::uint16_t startElement,
                                        std::span<const std::uint32_t> elementsRaw,
                                        std::uint32_t phaseRaw, std::uint16_t width, OfiPoint p1,
                                        OfiPoint p2, OfiPoint p3, std::uint8_t highByte) {
    if (elementsRaw.empty() || elementsRaw.size() > MaxPatternElements ||
        startElement >= MaxPatternElements)
        throw std::invalid_argument("dash pattern does not fit the element table");
    drawingCode(static_cast<std::uint16_t>(CodeWideDashedArcLow | (highByte << 8)));
    word(startElement);
    word(static_cast<std::uint16_t>(elementsRaw.size()));
    for (auto e : elementsRaw)
        longWord(e);
    longWord(phaseRaw);
    word(width);
    point(p1);
    point(p2);
    point(p3);
    return *this;
}

OfiComposer& OfiComposer::arc(OfiPoint p1, OfiPoint p2, OfiPoint p3) {
    drawingCode(CodeArc);
    point(p1);
    point(p2);
    point(p3);
    return *this;
}

OfiComposer& OfiComposer::circle(OfiPoint centre, std::uint16_t radius) {
    const OfiPoint right{roundToWord(double(centre.x) + radius), centre.y};
    const OfiPoint left{roundToWord(double(centre.x) - radius), centre.y};
    return arc(right, left, right);
}

// --- text records ---------------------------------------------------------------

OfiComposer& OfiComposer::textBlock(bool start) {
    drawingCode(CodeTextBlock);
    return word(start ? BlockStart : BlockEnd);
}

OfiComposer& OfiComposer::slant(const std::vector<std::int16_t>& slantWords) {
    drawingCode(CodeSlant);
    for (auto w : slantWords)
        word(static_cast<std::uint16_t>(w));
    return *this;
}

OfiComposer& OfiComposer::direction(int hundredthsDegree) {
    const int angle = ((hundredthsDegree % FullTurn) + FullTurn) % FullTurn;
    directionDegrees_ = angle / 100.0;
    drawingCode(CodeDirection);
    return word(static_cast<std::uint16_t>(angle));
}

OfiComposer& OfiComposer::charSize(std::int16_t width, std::int16_t height, std::uint16_t pitch) {
    pitch_ = pitch;
    drawingCode(CodeCharSize);
    return words({static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), pitch});
}

OfiComposer& OfiComposer::charSizeLong(std::int32_t width, std::int32_t height,
                                       std::int32_t pitch) {
    pitch_ = pitch;
    drawingCode(CodeCharSizeLong);
    longWord(static_cast<std::uint32_t>(width));
    longWord(static_cast<std::uint32_t>(height));
    longWord(static_cast<std::uint32_t>(pitch));
    return *this;
}

// The reader moves each character by the pitch along the text direction,
// with X growing by cos × pitch and Y shrinking by sin × pitch.
void OfiComposer::placeAfter(std::uint16_t& x, std::uint16_t& y, std::size_t characters) const {
    const double a = directionDegrees_ * kPlotterPi / 180.0;
    const double d = pitch_ * static_cast<double>(characters);
    x = roundToWord(x + std::cos(a) * d);
    y = roundToWord(y - std::sin(a) * d);
}

void OfiComposer::writeTextRecords(std::uint8_t lowCode, std::uint16_t x, std::uint16_t y,
                                   const std::vector<std::uint16_t>& characterWords,
                                   std::size_t charactersPerWord) {
    const std::uint16_t x0 = x;
    const std::uint16_t y0 = y;
    for (std::size_t first = 0; first < characterWords.size(); first += MaxTextWords) {
        const std::size_t count = std::min(MaxTextWords, characterWords.size() - first);
        // Each continuation record starts where the reader would have put
        // its first character, measured from the string's origin so that
        // rounding does not add up.
        x = x0;
        y = y0;
        if (first > 0) placeAfter(x, y, first * charactersPerWord);
        drawingCode(static_cast<std::uint16_t>(lowCode | ((count + 2) << 8)));
        word(x);
        word(y);
        for (std::size_t i = 0; i < count; ++i)
            word(characterWords[first + i]);
    }
}

OfiComposer& OfiComposer::singleByteText(std::uint16_t x, std::uint16_t y, std::string_view text) {
    std::vector<std::uint16_t> packed;
    packed.reserve((text.size() + 1) / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const auto first = static_cast<std::uint8_t>(text[i]);
        const auto second = i + 1 < text.size() ? static_cast<std::uint8_t>(text[i + 1]) : ' ';
        packed.push_back(static_cast<std::uint16_t>(first | (second << 8)));
    }
    writeTextRecords(CodeSingleByteTextLow, x, y, packed, 2);
    return *this;
}

OfiComposer& OfiComposer::singleByteTextUtf8(std::uint16_t x, std::uint16_t y,
                                             std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len =
            std::min(utf8Length(static_cast<std::uint8_t>(text[i])), text.size() - i);
        const std::string_view ch = text.substr(i, len);
        i += len;
        if (len == 1) {
            out.push_back(ch[0]);
            continue;
        }
        auto symbol = std::find_if(std::begin(SymbolCodes), std::end(SymbolCodes),
                                   [&](const SymbolCode& s) { return s.utf8 == ch; });
        if (symbol != std::end(SymbolCodes)) {
            out.push_back(static_cast<char>(symbol->code));
            continue;
        }
        const std::string cp = toCp932(ch);
        if (cp.size() != 1) throw std::invalid_argument("character has no single-byte form");
        out += cp;
    }
    return singleByteText(x, y, out);
}

OfiComposer& OfiComposer::twoByteText(std::uint16_t x, std::uint16_t y,
                                      const std::vector<OfiKanji>& characters) {
    std::vector<std::uint16_t> packed;
    packed.reserve(characters.size());
    for (const auto& [row, cell] : characters)
        packed.push_back(static_cast<std::uint16_t>(row | (cell << 8)));
    writeTextRecords(CodeTwoByteTextLow, x, y, packed, 1);
    return *this;
}

OfiComposer& OfiComposer::twoByteTextUtf8(std::uint16_t x, std::uint16_t y, std::string_view text) {
    std::vector<OfiKanji> characters;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len =
            std::min(utf8Length(static_cast<std::uint8_t>(text[i])), text.size() - i);
        const std::string_view ch = text.substr(i, len);
        i += len;
        if (len == 1) {
            characters.emplace_back(0, static_cast<std::uint8_t>(ch[0]));
            continue;
        }
        auto special = std::find_if(std::begin(Row115Glyphs), std::end(Row115Glyphs),
                                    [&](const SpecialGlyph& g) { return g.utf8 == ch; });
        if (special != std::end(Row115Glyphs)) {
            characters.emplace_back(ExtensionRow, special->cell);
            continue;
        }
        const auto converted = cp932ToOfiKanji(toCp932(ch));
        characters.insert(characters.end(), converted.begin(), converted.end());
    }
    return twoByteText(x, y, characters);
}

OfiComposer& OfiComposer::annotationLine(std::uint16_t x1, std::uint16_t y1, std::uint16_t x2,
                                         std::uint16_t y2) {
    drawingCode(CodeAnnotationLine);
    return words({x1, y1, x2, y2});
}

// --- pattern records ------------------------------------------------------------

OfiComposer& OfiComposer::patternBlock(bool start) {
    drawingCode(CodePatternBlock);
    return word(start ? BlockStart : BlockEnd);
}

OfiComposer& OfiComposer::patternFill(std::uint16_t x0, std::uint16_t y0,
                                      const std::vector<OfiPatternElement>& elements) {
    using Kind = OfiPatternElement::Kind;
    if (elements.empty() || elements.back().kind == Kind::ContourStart)
        throw std::invalid_argument("a pattern outline must end with a line or an arc");
    // The reserved word and X0, Y0, then every element with its code word.
    std::size_t length = 3;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const auto& e = elements[i];
        // The reader takes the element after a contour start as a drawn one.
        if (e.kind == Kind::ContourStart && i + 1 < elements.size() &&
            elements[i + 1].kind == Kind::ContourStart)
            throw std::invalid_argument("two contour starts in a row");
        length += e.kind == Kind::Arc ? 5 : 3;
        if (e.kind == Kind::Line && (e.lineCode == ElementContourStart || e.lineCode == ElementArc))
            throw std::invalid_argument("line code taken by another element");
    }
    drawingCode(CodePatternFill);
    longWord(static_cast<std::uint32_t>(length));
    word(0);
    word(x0);
    word(y0);
    for (const auto& e : elements) {
        switch (e.kind) {
        case Kind::ContourStart:
            word(ElementContourStart);
            point(e.end);
            break;
        case Kind::Arc:
            word(ElementArc);
            point(e.mid);
            point(e.end);
            break;
        case Kind::Line:
            word(e.lineCode);
            point(e.end);
            break;
        }
    }
    return *this;
}

// --- end and output -------------------------------------------------------------

OfiComposer& OfiComposer::end() {
    word(EscControl);
    return word(CodeEnd);
}

bool OfiComposer::save(const std::filesystem::path& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(data_.data()),
              static_cast<std::streamsize>(data_.size()));
    out.close();
    return static_cast<bool>(out);
}

} // namespace kesto
