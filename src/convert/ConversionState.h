#pragma once
// What the converters share: the settings they use, and the page, pen and
// text state of a run.  Each item is reset exactly where the record
// grammar wants it: some per drawing, some once per run.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kesto {

// How a character-set field reads.
enum class CharSetChoice { FullWidth, HalfWidth, Other }; // "全角", "半角", anything else

// The items of a run's settings snapshot that conversion uses.
struct ConversionSettings {
    // Pen commands, "SP" + the field as typed + ";".
    std::string penThick = "SP3;";   // LineL
    std::string penMedium = "SP2;";  // LineM
    std::string penThin = "SP1;";    // LineS
    std::string penText = "SP1;";    // LineT
    std::string penPattern = "SP1;"; // LineP
    std::string penBreak = "SP2;";   // LineD
    // Fit target in millimetres (0 x 0: none) and reduction ratio.
    double fitLong = 0;
    double fitShort = 0;
    double reduction = 1;
    // Rotation per sheet; a sheet is plotted rotated when its value is "0".
    bool rotateA4V = false; // OfiA4V "90"
    bool rotateA4H = true;  // OfiA4H "0"
    bool rotateA3 = true;
    bool rotateA2V = false;
    bool rotateA2H = true;
    bool rotateA1 = true;
    bool rotateA0 = true;
    bool plotterA0 = true;                          // Plot is "A0ﾌﾟﾛｯﾀ"
    bool plotterA1 = false;                         // Plot is "A1ﾌﾟﾛｯﾀ"
    CharSetChoice kana = CharSetChoice::FullWidth;  // MojiK
    CharSetChoice alnum = CharSetChoice::HalfWidth; // MojiE
    float kanjiWidthFactor = 1.17f;                 // 1 + MojiW, single precision
    float kanjiHeightFactor = 1.11f;                // 1 + MojiH
    float kanjiShiftX = -0.2f;                      // MojiX
    float kanjiShiftY = -0.2f;                      // MojiY
};

// Sheet, scale and mapping of drawing coordinates to plotter units.
struct PageState {
    double drawingScale = 0; // micrometres per drawing unit
    double patternBase = 0;  // base dash length, drawing units
    double extentX = 0, extentY = 0, boundX = 0, boundY = 0;
    double firstBoundX = 0, firstBoundY = 0; // 0, 0: no page record yet in this drawing
    double sheetWidth = 0, sheetHeight = 0, halfWidth = 0, halfHeight = 0;
    bool rotated = false;
    double originX = 0, originY = 0;
    double windowLeft = 0, windowBottom = 0, windowRight = 0, windowTop = 0;
    double sheetDiagonal = 0;
    double standardPatternLength = 0; // fixed when the page record is handled
};

// The line types a line-style record picks; each stands for one HP-GL line
// type command ("LT;", "LT2;", "LT5;", "LT6;", and "LT4;" for the break line,
// which is drawn solid with the break-line pen).
enum class LineType { Solid, Dashed, DashDot, DashDotDot, Break };

// Which pen is in the plotter: the geometry pen of the line style, the
// annotation pen of a text block, or the pattern pen of a pattern block.
enum class PenMode { Geometry, Annotation, Pattern };

// Pen and line type of the drawing.  PendingStyle and LastStyle live in
// the GlfWriter's style slot.
struct DrawingStyle {
    std::string penCommand; // pen of the current line style
    LineType lineType = LineType::Solid;
    bool patternFitted = false;
    double fittedLength = 0;
    PenMode penMode = PenMode::Geometry;
    bool textActive = false;
};

enum class SizedSet { None, Standard, Kanji }; // "", "OFF", "ON"

// The size command last written for one character set and the sizes it
// was made of: text switches between the standard and the kanji set
// character by character, mostly with the same sizes.
struct SizeCommand {
    double width = 0, height = 0;
    std::string text; // empty: none made yet
};

struct TextState {
    double textX = 0, textY = 0;
    double directionRun = 0, directionRise = 0;
    std::int64_t charWidth = 0, charHeight = 0;
    double charPitch = 0;
    double lastPitch = 0; // per drawing
    std::int64_t writtenWidth = 0, writtenHeight = 0;
    SizedSet sizedSet = SizedSet::None; // per drawing
    bool kanaSetSelected = false;       // per drawing: "CS8" is the standard set
    SizeCommand standardSize, kanjiSize;
};

struct ScratchPoint {
    double x, y;
};

// The style slot's texts of the line styles (pen weight * 5 + pattern), for
// one standard pattern length; an empty text is not made yet.
struct StyleTextCache {
    double patternLength = 0;
    std::array<std::string, 15> text;

    void clear() {
        for (std::string& t : text)
            t.clear();
    }
};

// Everything that lives for one run; startDrawing() resets the per-drawing part.
struct ConversionState {
    PageState page;
    DrawingStyle style;
    TextState text;
    std::uint8_t lastStyleByte = 0;    // per run
    std::vector<ScratchPoint> scratch; // the wide dashed polyline's points
    std::vector<double> elements;      // pattern elements of the current record
    StyleTextCache styleTexts;         // per drawing

    void startDrawing(const ConversionSettings& settings) {
        page.firstBoundX = 0;
        page.firstBoundY = 0;
        style = DrawingStyle{};
        style.penCommand = settings.penMedium;
        text.lastPitch = 0;
        text.sizedSet = SizedSet::None;
        text.kanaSetSelected = false;
        styleTexts.clear(); // the settings may differ from the last drawing's
    }
};

} // namespace kesto
