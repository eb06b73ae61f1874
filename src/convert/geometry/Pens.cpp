// Pens and line types: the style byte of a line-style record picks a pen
// (low nibble) and an HP-GL line type (high nibble).  The commands wait in
// the style slot until something is drawn.

#include "convert/Converter.h"

#include <cmath>

namespace kesto {
namespace {

constexpr double kFitMaxPatterns = 11;      // longer segments keep the standard length
constexpr double kFitMaxPatternsLT2 = 1.5;  // line type 2 is fitted only below this
constexpr double kKeepFitShort = 3000;      // micrometres: shorter segments keep the fit
constexpr double kKeepFitDifference = 2000; // micrometres: closer lengths keep the fit

// How each patterned line type writes its length: the command's head, the
// standard length as a multiple of the page's, and a fitted length as
// segment * segmentMultiple / segmentDivisor (computed in that order).
struct PatternLength {
    const char* head;
    double standardMultiple;
    double segmentMultiple;
    double segmentDivisor;
};
constexpr PatternLength kDashed{"LT2,", 1, 2, 3};
constexpr PatternLength kDashDot{"LT5,", 5, 1, 1.7};
constexpr PatternLength kDashDotDot{"LT6,", 5, 1, 1.7};

// The length rule of a patterned line type; nullptr for solid lines.
constexpr LineType kLineTypeOfPattern[] = {LineType::Solid, LineType::Dashed, LineType::DashDot,
                                           LineType::DashDotDot, LineType::Break};

const PatternLength* patternLengthOf(LineType type) {
    switch (type) {
    case LineType::Dashed: return &kDashed;
    case LineType::DashDot: return &kDashDot;
    case LineType::DashDotDot: return &kDashDotDot;
    case LineType::Solid:
    case LineType::Break: return nullptr;
    }
    return nullptr;
}

std::string lengthCommand(const PatternLength& rule, double value) {
    std::string s(rule.head);
    s += formatNumber(value, Mask::Fixed1To5);
    s += ';';
    return s;
}

} // namespace

namespace {

// The style slot's text of a pen weight (0 to 2) and pattern (0 to 4).
std::string styleText(const ConversionSettings& s, unsigned weight, unsigned pattern,
                      double standardPatternLength) {
    const std::string& pen = weight == 0 ? s.penMedium : (weight == 1 ? s.penThin : s.penThick);
    const LineType type = kLineTypeOfPattern[pattern];
    if (const PatternLength* rule = patternLengthOf(type))
        return pen + lengthCommand(*rule, rule->standardMultiple * standardPatternLength);
    // The break line is drawn solid with the break-line pen.
    if (type == LineType::Break) return s.penBreak + "LT;";
    return pen + "LT;";
}

} // namespace

void convertLineStyle(Converter& c) {
    const std::uint8_t b = c.in.next() & 0xFF;
    DrawingStyle& st = c.style();
    if (b == c.state.lastStyleByte) return;
    st.patternFitted = false;
    const unsigned weight = b & 0x0F;
    const unsigned pattern = b >> 4;
    if (weight <= 2 && pattern <= 4) {
        const ConversionSettings& s = c.settings;
        st.lineType = kLineTypeOfPattern[pattern];
        const std::string& pen = weight == 0 ? s.penMedium : (weight == 1 ? s.penThin : s.penThick);
        st.penCommand = st.lineType == LineType::Break ? s.penBreak : pen;
        // Drawings switch between a few styles thousands of times: each
        // style's text is made once per drawing and page.
        StyleTextCache& cache = c.state.styleTexts;
        const double p = c.page().standardPatternLength;
        if (!(cache.patternLength == p)) {
            cache.clear();
            cache.patternLength = p;
        }
        std::string& text = cache.text[weight * 5 + pattern];
        if (text.empty()) text = styleText(s, weight, pattern, p);
        c.out.setPending(Slot::Style, text);
    }
    c.state.lastStyleByte = b;
}

void selectGeometryPen(Converter& c) {
    DrawingStyle& st = c.style();
    st.penMode = PenMode::Geometry;
    c.out.put(st.penCommand).put(std::string_view(lineTypeCommand(st.lineType)));
}

void restoreFittedPattern(Converter& c) {
    DrawingStyle& st = c.style();
    if (c.out.pending(Slot::Style) == c.out.lastWritten(Slot::Style)) return;
    st.patternFitted = false;
    if (const PatternLength* rule = patternLengthOf(st.lineType)) {
        const double p = c.page().standardPatternLength;
        c.out.put(std::string_view(rule->head))
            .num(rule->standardMultiple * p, Mask::Fixed1To5)
            .put(';');
    }
}

void fitPatternToSegment(Converter& c, double x0, double y0, double x1, double y1) {
    DrawingStyle& st = c.style();
    // Most lines are solid: they are never fitted.
    if (st.lineType == LineType::Solid) {
        restorePattern(c);
        return;
    }
    const PageState& page = c.page();
    const double len = std::sqrt((x0 - x1) * (x0 - x1) + (y0 - y1) * (y0 - y1));
    // Without a sheet there is no diagonal to measure a pattern against.
    if (len > kFitMaxPatterns * page.patternBase || page.sheetDiagonal == 0) {
        restorePattern(c);
        return;
    }
    if (st.lineType == LineType::Dashed && len > kFitMaxPatternsLT2 * page.patternBase) {
        restorePattern(c);
        return;
    }
    if (st.patternFitted &&
        (len * page.drawingScale < kKeepFitShort ||
         std::fabs(len - st.fittedLength) * page.drawingScale < kKeepFitDifference)) {
        return;
    }
    st.patternFitted = true;
    st.fittedLength = len;
    auto pct = [&](double d) { return d * page.drawingScale / page.sheetDiagonal * 100 / 1000; };
    const PatternLength* rule = patternLengthOf(st.lineType);
    if (!rule) {
        restorePattern(c);
        return;
    }
    c.out.setPending(Slot::Style,
                     lengthCommand(*rule, pct(rule->segmentMultiple * len / rule->segmentDivisor)));
    if (c.out.pending(Slot::Style) == c.out.lastWritten(Slot::Style)) return;
    c.out.put(c.out.pending(Slot::Style));
    c.out.setLastWritten(Slot::Style, c.out.pending(Slot::Style));
}

const char* lineTypeCommand(LineType type) {
    switch (type) {
    case LineType::Solid: return "LT;";
    case LineType::Dashed: return "LT2;";
    case LineType::DashDot: return "LT5;";
    case LineType::DashDotDot: return "LT6;";
    case LineType::Break: return "LT4;";
    }
    return "LT;";
}

void writeSegment(Converter& c, double x0, double y0, double x1, double y1) {
    // The same arithmetic as Converter::point and step, with the rotation
    // tested once for both pairs.
    const double ax = c.plotX(x0);
    const double ay = c.plotY(y0);
    const double dx = c.plotLength(x1 - x0);
    const double dy = c.plotLength(y1 - y0);
    const bool rotated = c.page().rotated;
    char* p = writeLiteral("PUPA", c.out.reserve(2 * kPairRoom + 10));
    p = rotated ? writePair(ay, ax, p) : writePair(ax, ay, p);
    p = writeLiteral(";PDPR", p);
    p = rotated ? writePair(dy, dx, p) : writePair(dx, dy, p);
    *p++ = ';';
    c.out.commit(p);
}

} // namespace kesto
