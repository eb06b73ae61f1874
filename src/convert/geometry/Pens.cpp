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

std::string lengthCommand(const char* head, double value) {
    std::string s(head);
    s += formatNumber(value, Mask::Fixed1To5);
    s += ';';
    return s;
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
        const std::string& pen = weight == 0 ? s.penMedium : (weight == 1 ? s.penThin : s.penThick);
        const double p = c.page().standardPatternLength;
        st.penCommand = pen;
        std::string pending = pen;
        switch (pattern) {
        case 0:
            st.lineTypeCommand = "LT;";
            pending += "LT;";
            break;
        case 1:
            st.lineTypeCommand = "LT2;";
            pending += lengthCommand("LT2,", p);
            break;
        case 2:
            st.lineTypeCommand = "LT5;";
            pending += lengthCommand("LT5,", 5 * p);
            break;
        case 3:
            st.lineTypeCommand = "LT6;";
            pending += lengthCommand("LT6,", 5 * p);
            break;
        default: // break line: drawn solid with the break-line pen
            st.lineTypeCommand = "LT4;";
            st.penCommand = s.penBreak;
            pending = s.penBreak + "LT;";
            break;
        }
        c.out.setPending(Slot::Style, std::move(pending));
    }
    c.state.lastStyleByte = b;
}

void reselectGeometryPen(Converter& c) {
    DrawingStyle& st = c.style();
    if (!st.textActive && st.penMode != 'S') {
        st.penMode = 'S';
        c.out.put(st.penCommand).put(st.lineTypeCommand);
    }
}

void restorePattern(Converter& c) {
    DrawingStyle& st = c.style();
    if (!st.patternFitted) return;
    if (c.out.pending(Slot::Style) == c.out.lastWritten(Slot::Style)) return;
    st.patternFitted = false;
    const double p = c.page().standardPatternLength;
    if (st.lineTypeCommand == "LT2;")
        c.out.put("LT2,").num(p, Mask::Fixed1To5).put(';');
    else if (st.lineTypeCommand == "LT5;")
        c.out.put("LT5,").num(5 * p, Mask::Fixed1To5).put(';');
    else if (st.lineTypeCommand == "LT6;")
        c.out.put("LT6,").num(5 * p, Mask::Fixed1To5).put(';');
}

void fitPatternToSegment(Converter& c, double x0, double y0, double x1, double y1) {
    DrawingStyle& st = c.style();
    const PageState& page = c.page();
    const double len = std::sqrt((x0 - x1) * (x0 - x1) + (y0 - y1) * (y0 - y1));
    // Without a sheet there is no diagonal to measure a pattern against.
    if (st.lineTypeCommand == "LT;" || len > kFitMaxPatterns * page.patternBase ||
        page.sheetDiagonal == 0) {
        restorePattern(c);
        return;
    }
    if (st.lineTypeCommand == "LT2;" && len > kFitMaxPatternsLT2 * page.patternBase) {
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
    if (st.lineTypeCommand == "LT2;") {
        c.out.setPending(Slot::Style, lengthCommand("LT2,", pct(2 * len / 3)));
    } else if (st.lineTypeCommand == "LT5;") {
        c.out.setPending(Slot::Style, lengthCommand("LT5,", pct(len / 1.7)));
    } else if (st.lineTypeCommand == "LT6;") {
        c.out.setPending(Slot::Style, lengthCommand("LT6,", pct(len / 1.7)));
    } else {
        restorePattern(c);
        return;
    }
    if (c.out.pending(Slot::Style) == c.out.lastWritten(Slot::Style)) return;
    c.out.put(c.out.pending(Slot::Style));
    c.out.setLastWritten(Slot::Style, c.out.pending(Slot::Style));
}

void writeSegment(Converter& c, double x0, double y0, double x1, double y1) {
    char* p = c.out.reserve(2 * kPairRoom + 10);
    p = c.writePoint(x0, y0, writeLiteral("PUPA", p));
    p = c.writeStep(x1 - x0, y1 - y0, writeLiteral(";PDPR", p));
    *p++ = ';';
    c.out.commit(p);
}

} // namespace kesto
