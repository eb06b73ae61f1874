#pragma once
// The converters: one function per record kind.  Each is called by the
// record dispatch with the cursor on the record's code word, reads its
// operands by advancing the cursor and writes HP-GL through the GlfWriter.

#include "convert/ConversionState.h"
#include "glf/GlfWriter.h"
#include "glf/PlotterPi.h"
#include "ofi/OfiReader.h"

#include <exception>
#include <string>
#include <utility>

namespace kesto {

// A record whose operands cannot be drawn (counts out of range and the
// like); the conversion boundary turns it into a damaged drawing.
class DrawingDamaged : public std::exception {
public:
    explicit DrawingDamaged(std::string reason) : reason_(std::move(reason)) {}
    const char* what() const noexcept override { return reason_.c_str(); }

private:
    std::string reason_;
};

// Every angle of the plotter is converted between degrees and radians with this value.
constexpr double kPi = kPlotterPi;

// ETX ends a label, ";" the command.
constexpr char kLabelEnd[] = "\x03;";

struct Converter {
    OfiCursor& in;
    GlfWriter& out;
    ConversionState& state;
    const ConversionSettings& settings;

    PageState& page() { return state.page; }
    DrawingStyle& style() { return state.style; }
    TextState& text() { return state.text; }

    // Drawing coordinates to plotter units: (c - origin) * scale / 25.
    double plotX(double x) const { return (x - state.page.originX) * state.page.drawingScale / 25; }
    double plotY(double y) const { return (y - state.page.originY) * state.page.drawingScale / 25; }
    double plotLength(double d) const { return d * state.page.drawingScale / 25; }

    // Writes the plotter pair of drawing point (x, y), axes exchanged when rotated.
    void point(double x, double y) { out.commit(writePoint(x, y, out.reserve(kPairRoom))); }
    // A character size in the standard set's centimetres: plotter units
    // (0.025 mm) divided by 400.
    double charSizeCm(std::int64_t size) const {
        return static_cast<double>(size) * state.page.drawingScale / 25 / 1000 * 2.5;
    }
    // Writes the plotter pair of a relative step (dx, dy).
    void step(double dx, double dy) { out.commit(writeStep(dx, dy, out.reserve(kPairRoom))); }

    // The same straight into the writer's buffer at `at` (room for
    // kPairRoom bytes); they return the end.
    char* writePoint(double x, double y, char* at) const {
        return state.page.rotated ? writePair(plotY(y), plotX(x), at)
                                  : writePair(plotX(x), plotY(y), at);
    }
    char* writeStep(double dx, double dy, char* at) const {
        return state.page.rotated ? writePair(plotLength(dy), plotLength(dx), at)
                                  : writePair(plotLength(dx), plotLength(dy), at);
    }
};

// Page setup (header records).
void convertScale(Converter& c);         // 0x0157
void convertHeader0132(Converter& c);    // 0x0132
void convertPage(Converter& c);          // 0x0452
void convertPatternLength(Converter& c); // 0x014A

// Pens and line types.
void convertLineStyle(Converter& c); // 0x0154
// Writes the standard pattern length again after a fitted one.
void restoreFittedPattern(Converter& c);
inline void restorePattern(Converter& c) {
    if (c.state.style.patternFitted) restoreFittedPattern(c);
}
// The HP-GL command of a line type: "LT;", "LT2;", "LT5;", "LT6;" or "LT4;".
const char* lineTypeCommand(LineType type);
// Puts the geometry pen back after text or patterns.
void selectGeometryPen(Converter& c);
inline void reselectGeometryPen(Converter& c) {
    const DrawingStyle& st = c.state.style;
    if (!st.textActive && st.penMode != PenMode::Geometry) selectGeometryPen(c);
}
void fitPatternToSegment(Converter& c, double x0, double y0, double x1, double y1);
// Writes "PUPA" start ";PDPR" step ";" for a straight segment.
void writeSegment(Converter& c, double x0, double y0, double x1, double y1);

// Lines.
void convertLineSegment(Converter& c);        // 0x0444
void convertPolyline(Converter& c);           // 0xFF44
void convertWideDashedPolyline(Converter& c); // 0xFF42
// Reads the `n` dash pattern elements of a wide dashed record, starting at
// element `start`, each divided by `divisor`, into state.elements.
void readPatternElements(Converter& c, unsigned start, unsigned n, double divisor);

// Arcs.
struct ArcPoints {
    double x1, y1, x2, y2, x3, y3;
};
// Centre of the circle through three points (P1 != P3), after nudging the
// points as the arc routines want.  False when the points lie on one line.
bool arcCentre(ArcPoints& p, double& cx, double& cy);
// "PD;AA" centre, sweep ",3;" for the arc from P1 through P2 to P3.
void arcThroughThreePoints(Converter& c, double cx, double cy, const ArcPoints& p);
// "PD;AA" centre ",360,3;": the full circle through (x, y) whose centre lies
// half-way from (throughX, throughY) to (x, y).
void writeFullCircle(Converter& c, double x, double y, double throughX, double throughY);
void convertThreePointArc(Converter& c); // 0x0641
void convertWideDashedArc(Converter& c); // low byte 0x45

// Text.
void convertTextBlock(Converter& c);                                 // 0x0153
void convertSlant(Converter& c);                                     // 0x0149
void convertDirection(Converter& c);                                 // 0x014A
void convertCharSize(Converter& c);                                  // 0x0348
void convertCharSizeLong(Converter& c);                              // 0x0648
void convertSingleByteText(Converter& c, std::uint8_t operandCount); // low byte 0x4B
void convertTwoByteText(Converter& c, std::uint8_t operandCount);    // low byte 0x4C
void convertAnnotationLine(Converter& c);                            // 0x044E

// Patterns.
void convertPatternBlock(Converter& c); // 0x0152
void convertPatternFill(Converter& c);  // 0xFF50

} // namespace kesto
