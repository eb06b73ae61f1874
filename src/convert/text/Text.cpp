// Annotation text in the standard character set: the text block marker, the
// character attribute records (slant, direction, size and spacing), the
// single-byte string and the line drawn with the annotation pen.
//
// Every character is a label of its own: "PA" to the character origin, then
// "LB", the character, ETX and ";".  Direction, spacing and slant only go to
// the deferred slots here; the string records flush them before their first
// character.
#include "convert/Converter.h"
#include "convert/text/TextOutput.h"
#include "glf/NumberFormat.h"
#include "ofi/RecordCodes.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace kesto {

namespace {

constexpr int kMaxSlant = 25000;            // slant words beyond +-250 degrees are passed over
constexpr double kWordRange = 65536.0;      // a negative direction word counts from here
constexpr double kLongRange = 4294967296.0; // a negative long pitch counts from here
constexpr std::uint8_t kSpace = 32;
constexpr std::uint8_t kKanaOffset = 128; // half-width kana 0xA1..0xDF are 0x21..0x5F in set 8

// The annotation pen goes in unless it is in already, or the pattern pen is
// in and is the same pen.
bool needAnnotationPen(const Converter& c) {
    const PenMode mode = c.state.style.penMode;
    return mode == PenMode::Geometry ||
           (mode != PenMode::Annotation && c.settings.penText != c.settings.penPattern);
}

void selectAnnotationPen(Converter& c) {
    c.style().penMode = PenMode::Annotation;
    c.out.put(c.settings.penText).put("LT;");
}

void setSpacing(Converter& c, double pitch) {
    TextState& t = c.text();
    if (pitch == t.lastPitch) return;
    t.lastPitch = pitch;
    // No width or no pitch: there is no spacing to give, the last one stays.
    if (t.charWidth == 0 || pitch == 0) return;
    const double cell = 1.5 * std::abs(static_cast<double>(t.charWidth));
    const double r = pitch / cell;
    const double extra = r >= 1 ? r - 1 : 1 - cell / pitch;
    c.out.setPending(Slot::Spacing, "ES" + formatNumber(extra, Mask::Fixed1To5) + ";");
}

// A byte of a single-byte string (or a single-byte character of a two-byte one).
void dispatchSingleByte(Converter& c, std::uint8_t ch) {
    const bool symbol =
        (ch >= 1 && ch <= 31) || (ch >= 127 && ch <= 160) || (ch >= 224 && ch <= 253);
    if (symbol) {
        placeKanji(c);
        writeKanjiSymbol(c, ch);
    } else if (ch >= 161 && ch <= 223) {
        if (c.settings.kana == CharSetChoice::FullWidth) {
            placeKanji(c);
            writeFullWidthKana(c, ch);
        } else {
            writeSingleByte(c, ch, CharKind::Kana);
        }
    } else {
        writeAlphanumeric(c, ch);
    }
}

} // namespace

TextStep startString(Converter& c) {
    c.out.flushPendingStyle();
    c.out.flushPendingText();
    TextState& t = c.text();
    t.textX = c.in.next();
    t.textY = c.in.next();
    c.out.put("PU");
    if (c.state.page.rotated) return {t.directionRise * t.charPitch, t.directionRun * t.charPitch};
    return {t.directionRun * t.charPitch, t.directionRise * t.charPitch};
}

void advanceText(Converter& c, const TextStep& step) {
    TextState& t = c.text();
    t.textX += step.dx;
    // The plot's Y runs against the text's rise unless the sheet is turned.
    if (c.state.page.rotated) {
        t.textY += step.dy;
    } else {
        t.textY -= step.dy;
    }
}

void writeSizeCommand(Converter& c, SizeCommand& last, std::string_view head, double w, double h) {
    if (last.text.empty() || !(w == last.width && h == last.height)) {
        char text[2 * kMaxFormattedLength + 2];
        char* p = writeNumber(w, Mask::Fixed1To5, text);
        *p++ = ',';
        p = writeNumber(h, Mask::Fixed1To5, p);
        *p++ = ';';
        last.width = w;
        last.height = h;
        last.text.assign(text, p);
    }
    c.out.put(head).put(std::string_view(last.text));
}

void placeSingleByte(Converter& c) {
    char* p = writeLiteral("PA", c.out.reserve(kPairRoom + 3));
    p = c.writePoint(c.text().textX, c.text().textY, p);
    *p++ = ';';
    c.out.commit(p);
}

void writeAlphanumeric(Converter& c, std::uint8_t ch) {
    if (c.settings.alnum == CharSetChoice::FullWidth) {
        placeKanji(c);
        writeKanjiSymbol(c, ch);
    } else {
        writeSingleByte(c, ch, CharKind::Alphanumeric);
    }
}

void writeSingleByte(Converter& c, std::uint8_t ch, CharKind kind) {
    TextState& t = c.text();
    if (t.writtenWidth != t.charWidth || t.writtenHeight != t.charHeight ||
        t.sizedSet != SizedSet::Standard) {
        t.writtenWidth = t.charWidth;
        t.writtenHeight = t.charHeight;
        t.sizedSet = SizedSet::Standard;
        writeSizeCommand(c, t.standardSize, "SS;SI", c.charSizeCm(t.charWidth),
                         c.charSizeCm(t.charHeight));
    }
    if (kind == CharKind::Kana && !t.kanaSetSelected) {
        t.kanaSetSelected = true;
        c.out.put("CS8;");
    } else if (kind == CharKind::Alphanumeric && t.kanaSetSelected) {
        t.kanaSetSelected = false;
        c.out.put("CS6;");
    }
    placeSingleByte(c);
    const char label = static_cast<char>(kind == CharKind::Kana ? ch - kKanaOffset : ch);
    char* p = writeLiteral("LB", c.out.reserve(5));
    *p++ = label;
    c.out.commit(writeLiteral(kLabelEnd, p));
}

void convertTextBlock(Converter& c) {
    c.out.flushPendingStyle();
    const std::uint16_t marker = c.in.next();
    if (marker == ofi::kBlockStart) {
        c.style().textActive = true;
        if (needAnnotationPen(c)) {
            c.style().patternFitted = false;
            selectAnnotationPen(c);
        }
    } else if (marker == ofi::kBlockEnd) {
        c.style().textActive = false;
    }
}

void convertSlant(Converter& c) {
    int v = c.in.nextSigned();
    while (std::abs(v) > kMaxSlant)
        v = c.in.nextSigned();
    const double slope = std::tan(v / 100.0 * kPi / 180);
    c.out.setPending(Slot::Slant, "SL" + formatNumber(slope, Mask::Fixed1To3) + ";");
}

void convertDirection(Converter& c) {
    const int a = c.in.nextSigned();
    double degrees = (a < 0 ? a + kWordRange : a) / 100;
    if (c.state.page.rotated) degrees += 90;
    TextState& t = c.text();
    t.directionRun = std::cos(degrees * kPi / 180);
    t.directionRise = std::sin(degrees * kPi / 180);
    c.out.setPending(Slot::Direction, "DI" + formatNumber(t.directionRun, Mask::Fixed1To5) + "," +
                                          formatNumber(t.directionRise, Mask::Fixed1To5) + ";");
}

void convertCharSize(Converter& c) {
    TextState& t = c.text();
    t.charWidth = c.in.nextSigned();
    t.charHeight = c.in.nextSigned();
    t.charPitch = c.in.next();
    setSpacing(c, t.charPitch);
}

void convertCharSizeLong(Converter& c) {
    TextState& t = c.text();
    t.charWidth = c.in.nextSLong();
    t.charHeight = c.in.nextSLong();
    const std::int32_t pitch = c.in.nextSLong();
    t.charPitch = pitch < 0 ? pitch + kLongRange : pitch;
    setSpacing(c, t.charPitch);
}

void convertSingleByteText(Converter& c, std::uint8_t operandCount) {
    const TextStep step = startString(c);
    // Fewer than three operands: X and Y only, no characters.
    for (unsigned k = 3; k <= operandCount; ++k) {
        const std::uint16_t word = c.in.next();
        const auto first = static_cast<std::uint8_t>(word & 0xFF);
        const auto second = static_cast<std::uint8_t>(word >> 8);
        if (first != kSpace) dispatchSingleByte(c, first);
        // An odd-length string pads its last word with a space.
        if (second == kSpace && k == operandCount) break;
        advanceText(c, step);
        dispatchSingleByte(c, second);
        if (k == operandCount) break;
        advanceText(c, step);
    }
}

void convertAnnotationLine(Converter& c) {
    c.out.flushPendingStyle();
    restorePattern(c);
    if (needAnnotationPen(c)) selectAnnotationPen(c);
    const double x1 = c.in.next();
    const double y1 = c.in.next();
    const double x2 = c.in.next();
    const double y2 = c.in.next();
    writeSegment(c, x1, y1, x2, y2);
}

} // namespace kesto
