#pragma once
// Builds OFI plot files in memory, record by record, the way the CAD system
// writes them: a 128-byte preamble that ends with the title block, then a
// stream of 16-bit little-endian words.  Used for the bundled sample
// drawings, the benchmark input and the tests.  The composer only writes
// bytes; it knows nothing about the conversion to HP-GL.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kesto {

// A point in drawing units; the file format holds each coordinate in one
// unsigned word.
struct OfiPoint {
    std::uint16_t x = 0;
    std::uint16_t y = 0;
    friend bool operator==(const OfiPoint&, const OfiPoint&) = default;
};

// One element of a pattern fill outline.
struct OfiPatternElement {
    enum class Kind { ContourStart, Arc, Line };
    Kind kind = Kind::Line;
    OfiPoint mid;               // arcs only: a point on the arc
    OfiPoint end;               // contour start point, or end point of the line or arc
    std::uint16_t lineCode = 0; // code word written for a line (any value but 0xC1 and 0x86)

    static OfiPatternElement contourStart(OfiPoint p) { return {Kind::ContourStart, {}, p, 0}; }
    static OfiPatternElement arc(OfiPoint mid, OfiPoint end) { return {Kind::Arc, mid, end, 0}; }
    static OfiPatternElement line(OfiPoint end) { return {Kind::Line, {}, end, 0}; }
};

// A (row, cell) pair of a two-byte text record: JIS X 0208 row and cell
// (1 to 94), row 115 for the CAD's special glyphs, or row 0 with a
// single-byte character in the cell.
using OfiKanji = std::pair<std::uint8_t, std::uint8_t>;

class OfiComposer {
public:
    // Size of the fixed preamble; records start right after it.
    static constexpr std::size_t PreambleBytes = 128;
    // File offset of the 16-byte drawing title.
    static constexpr std::size_t TitleOffset = 108;
    // Length of the drawing title field.
    static constexpr std::size_t TitleBytes = 16;
    // File offset of the 4-byte second title field.
    static constexpr std::size_t SecondTitleOffset = 124;
    // Length of the second title field.
    static constexpr std::size_t SecondTitleBytes = 4;
    // The text code word carries the operand count in its high byte.
    static constexpr std::size_t MaxTextOperands = 255;
    // Character words per text record once X and Y are counted.
    static constexpr std::size_t MaxTextWords = MaxTextOperands - 2;
    // The reader's element table has room for this many pattern elements.
    static constexpr std::size_t MaxPatternElements = 101;

    // Escape words.
    static constexpr std::uint16_t EscControl = 0x401B; // ESC @
    static constexpr std::uint16_t EscHeader = 0x211B;  // ESC !
    static constexpr std::uint16_t EscDrawing = 0x241B; // ESC $
    // Block markers "ST" and "ED".
    static constexpr std::uint16_t BlockStart = 0x5453;
    static constexpr std::uint16_t BlockEnd = 0x4445;

    OfiComposer();

    // --- title block (file bytes 108..127) ---------------------------------
    // Code page 932 bytes, padded with `pad` (a space by default) and cut to
    // the field length; a cut never splits a double-byte character.
    OfiComposer& title(std::string_view cp932Title, std::string_view cp932Second = {},
                       char pad = ' ');
    // The same from UTF-8 text; throws std::invalid_argument when the text has
    // no code page 932 form.
    OfiComposer& titleUtf8(std::string_view title, std::string_view second = {});

    // --- header records (ESC !) -----------------------------------------
    OfiComposer& scale(std::int16_t micrometresPerUnit);
    OfiComposer& record0132(std::int16_t value);
    OfiComposer& page(std::uint16_t extentX, std::uint16_t extentY, std::uint16_t boundX,
                      std::uint16_t boundY);
    OfiComposer& patternLength(std::uint16_t baseLength);

    // --- geometry records (ESC $) ---------------------------------------
    // Style byte: low nibble 0 medium, 1 thin, 2 thick; high nibble 0 solid,
    // 1 dashed, 2 dash-dot, 3 dash-dot-dot, 4 break line.
    OfiComposer& lineStyle(std::uint8_t styleByte, std::uint8_t highByte = 0);
    OfiComposer& line(std::uint16_t x0, std::uint16_t y0, std::uint16_t x1, std::uint16_t y1);
    OfiComposer& line(OfiPoint a, OfiPoint b) { return line(a.x, a.y, b.x, b.y); }
    // At least two points.
    OfiComposer& polyline(std::span<const OfiPoint> points);
    OfiComposer& polyline(std::initializer_list<OfiPoint> points) {
        return polyline(std::span<const OfiPoint>(points.begin(), points.size()));
    }
    // elementsRaw: element lengths × 1000 (even index dash, odd index gap);
    // phaseRaw likewise; at least one point.
    OfiComposer& wideDashedPolyline(std::uint16_t startElement,
                                    std::span<const std::uint32_t> elementsRaw,
                                    std::uint32_t phaseRaw, std::uint16_t width,
                                    std::span<const OfiPoint> points);
    OfiComposer& wideDashedPolyline(std::uint16_t startElement,
                                    std::initializer_list<std::uint32_t> elementsRaw,
                                    std::uint32_t phaseRaw, std::uint16_t width,
                                    std::initializer_list<OfiPoint> points) {
        return wideDashedPolyline(
            startElement, std::span<const std::uint32_t>(elementsRaw.begin(), elementsRaw.size()),
            phaseRaw, width, std::span<const OfiPoint>(points.begin(), points.size()));
    }
    // elementsRaw: angles in radians × 1 000 000; the ring covers the part of
    // the circle that runs clockwise from p1 to p3; p1 == p3 is a full ring.
    OfiComposer& wideDashedArc(std::uint16_t startElement,
                               std::span<const std::uint32_t> elementsRaw, std::uint32_t phaseRaw,
                               std::uint16_t width, OfiPoint p1, OfiPoint p2, OfiPoint p3,
                               std::uint8_t highByte = 0x00);
    OfiComposer& wideDashedArc(std::uint16_t startElement,
                               std::initializer_list<std::uint32_t> elementsRaw,
                               std::uint32_t phaseRaw, std::uint16_t width, OfiPoint p1,
                               OfiPoint p2, OfiPoint p3, std::uint8_t highByte = 0x00) {
        return wideDashedArc(
            startElement, std::span<const std::uint32_t>(elementsRaw.begin(), elementsRaw.size()),
            phaseRaw, width, p1, p2, p3, highByte);
    }
    // Arc from p1 through p2 to p3; p1 == p3 draws the full circle whose
    // diameter runs from p1 to p2.
    OfiComposer& arc(OfiPoint p1, OfiPoint p2, OfiPoint p3);
    // Full circle (a three-point arc with p1 == p3).
    OfiComposer& circle(OfiPoint centre, std::uint16_t radius);

    // --- text records (ESC $) -------------------------------------------
    OfiComposer& textBlock(bool start);
    // Raw slant words: the reader passes over words whose magnitude is above
    // 25000 and takes the first one that is not.
    OfiComposer& slant(const std::vector<std::int16_t>& words);
    // Slant angle in 1/100 degree (one word).
    OfiComposer& slantAngle(std::int16_t hundredthsDegree) { return slant({hundredthsDegree}); }
    // Text angle in 1/100 degree, counter-clockwise; brought into 0..35999
    // and written as an unsigned word (-9000 is written as 27000).
    OfiComposer& direction(int hundredthsDegree);
    OfiComposer& charSize(std::int16_t width, std::int16_t height, std::uint16_t pitch);
    OfiComposer& charSizeLong(std::int32_t width, std::int32_t height, std::int32_t pitch);
    // Single-byte string (code page 932 single bytes and the drawing's symbol
    // codes).  Longer strings than one record can hold go into several
    // records, each placed where the previous one ends.  An empty string
    // writes nothing.
    OfiComposer& singleByteText(std::uint16_t x, std::uint16_t y, std::string_view bytes);
    // UTF-8 form: ASCII, half-width katakana and the drawing symbols
    // (φ ± ∞ × ∠ √ Ω μ ≒ ○ ◎ ⊥ Δ ≦ ≧ □ ↑ ↓ ← →) are mapped to their single
    // bytes; throws std::invalid_argument for anything else.
    OfiComposer& singleByteTextUtf8(std::uint16_t x, std::uint16_t y, std::string_view text);
    // Two-byte string; split like singleByteText.
    OfiComposer& twoByteText(std::uint16_t x, std::uint16_t y,
                             const std::vector<OfiKanji>& characters);
    // UTF-8 form: kanji, kana and full-width symbols become their JIS row and
    // cell, ASCII and half-width katakana go into row 0, and Ⅰ to Ⅹ, ㈱, №
    // and ℡ into the extension row 115.  Throws std::invalid_argument for
    // text that has no code page 932 form.
    OfiComposer& twoByteTextUtf8(std::uint16_t x, std::uint16_t y, std::string_view text);
    OfiComposer& annotationLine(std::uint16_t x1, std::uint16_t y1, std::uint16_t x2,
                                std::uint16_t y2);

    // --- pattern records (ESC $) ----------------------------------------
    OfiComposer& patternBlock(bool start);
    // Outline starting at (x0, y0); a contour start may not be the last
    // element (the reader goes on with the element after it).
    OfiComposer& patternFill(std::uint16_t x0, std::uint16_t y0,
                             const std::vector<OfiPatternElement>& elements);

    // --- end and raw words --------------------------------------------------
    OfiComposer& end();
    OfiComposer& word(std::uint16_t value);
    OfiComposer& words(std::initializer_list<std::uint16_t> values);
    OfiComposer& bytes(std::span<const std::uint8_t> raw);
    OfiComposer& bytes(std::initializer_list<std::uint8_t> raw);

    // --- result ---------------------------------------------------------
    std::vector<std::uint8_t> data() const { return data_; }
    std::span<const std::uint8_t> view() const { return data_; }
    std::size_t size() const { return data_.size(); }
    void reserve(std::size_t bytes) { data_.reserve(bytes); }
    bool save(const std::filesystem::path& path) const;

private:
    void drawingCode(std::uint16_t code);
    void headerCode(std::uint16_t code);
    void point(OfiPoint p);
    void longWord(std::uint32_t value);
    void writeTextRecords(std::uint8_t lowCode, std::uint16_t x, std::uint16_t y,
                          const std::vector<std::uint16_t>& characterWords,
                          std::size_t charactersPerWord);
    void placeAfter(std::uint16_t& x, std::uint16_t& y, std::size_t characters) const;

    std::vector<std::uint8_t> data_;
    // What the reader will know about the text when the next string comes:
    // the last direction and pitch written (used to place continuation
    // records of split strings).
    double directionDegrees_ = 0.0;
    double pitch_ = 0.0;
};

// Code page 932 bytes -> (row, cell) pairs as a two-byte text record holds
// them; throws std::invalid_argument for a lone lead byte or a code outside
// the JIS rows and the special glyphs of row 115.
std::vector<OfiKanji> cp932ToOfiKanji(std::string_view cp932);

} // namespace kesto
