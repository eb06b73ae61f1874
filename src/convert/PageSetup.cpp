// Header records: scale, page and base dash length.  The first page record
// of a drawing chooses the sheet, fits the drawing and writes the prologue.

#include "convert/Converter.h"

#include <cmath>

namespace kesto {
namespace {

constexpr double kPatternBaseFactor = 1.86; // drawing units per count of the base dash record
constexpr int kMaxShrinks = 8;              // one shrink always fits; more means a broken scale

struct Sheet {
    double width, height;
    bool rotateSetting;
};

// The first row that holds gives the sheet.  False when none does.
bool classify(double sizeX, double sizeY, const ConversionSettings& s, Sheet& sheet) {
    if (sizeX <= 297 && sizeY <= 210)
        sheet = {297, 210, s.rotateA4H};
    else if (sizeX <= 210 && sizeY <= 297)
        sheet = {210, 297, s.rotateA4V};
    else if (sizeX <= 420 && sizeY <= 297)
        sheet = {420, 297, s.rotateA3};
    else if (sizeX <= 594 && sizeY <= 420)
        sheet = {594, 420, s.rotateA2H};
    else if (sizeX <= 420 && sizeY <= 594)
        sheet = {420, 594, s.rotateA2V};
    else if (sizeX <= 841 && sizeY <= 594)
        sheet = {841, 594, s.rotateA1};
    else if (s.plotterA0 && sizeX <= 1189 && sizeY <= 841)
        sheet = {1189, 841, s.rotateA0};
    else
        return false;
    return true;
}

void writePrologue(Converter& c) {
    PageState& p = c.page();
    GlfWriter& out = c.out;
    auto units = [&](double d) { return d * p.drawingScale / 25; };
    if (!p.rotated) {
        out.put("IP").num(-40 * p.halfWidth).put(',').num(40 * p.halfHeight).put(',');
        out.num(40 * p.halfWidth).put(',').num(-40 * p.halfHeight).put(';');
        out.put("SC0,").num(40 * p.sheetWidth).put(",0,").num(40 * p.sheetHeight).put(';');
        out.put("IW").num(units(p.windowLeft)).put(',').num(units(p.windowBottom)).put(',');
        out.num(units(p.windowRight)).put(',').num(units(p.windowTop)).put(';');
    } else {
        out.put("IP").num(-40 * p.halfHeight).put(',').num(-40 * p.halfWidth).put(',');
        out.num(40 * p.halfHeight).put(',').num(40 * p.halfWidth).put(';');
        out.put("SC0,").num(40 * p.sheetHeight).put(",0,").num(40 * p.sheetWidth).put(';');
        out.put("IW").num(units(p.windowBottom)).put(',').num(units(p.windowLeft)).put(',');
        out.num(units(p.windowTop)).put(',').num(units(p.windowRight)).put(';');
    }
    out.put("CS6;SS;CA101;SP2;");
}

void firstPageRecord(Converter& c) {
    PageState& p = c.page();
    const ConversionSettings& s = c.settings;
    if (p.extentX == 0 || p.extentY == 0) throw DrawingDamaged("page record with an extent of 0");
    if (p.drawingScale == 0) throw DrawingDamaged("page record without a scale");
    p.firstBoundX = p.boundX;
    p.firstBoundY = p.boundY;

    // Fit to the chosen paper.
    if (s.fitLong != 0) {
        const double targetX = p.extentX > p.extentY ? s.fitLong : s.fitShort;
        const double targetY = p.extentX > p.extentY ? s.fitShort : s.fitLong;
        const double f1 = 1000 * targetX / p.extentX / p.drawingScale;
        const double f2 = 1000 * targetY / p.extentY / p.drawingScale;
        p.drawingScale = p.drawingScale * (f1 < f2 ? f1 : f2);
    }

    // Classify, shrinking a drawing that fits no sheet of the plotter.
    const double limitX = s.plotterA0 ? 1159000 : 814000; // micrometres
    const double limitY = s.plotterA0 ? 831000 : 584000;
    Sheet sheet{};
    for (int shrinks = 0;; ++shrinks) {
        const double sizeX = std::fabs(p.extentX * p.drawingScale / 1000);
        const double sizeY = std::fabs(p.extentY * p.drawingScale / 1000);
        if (classify(sizeX, sizeY, s, sheet)) break;
        if (shrinks == kMaxShrinks) throw DrawingDamaged("drawing fits no sheet");
        const double f1 = limitX / p.extentX / p.drawingScale;
        const double f2 = limitY / p.extentY / p.drawingScale;
        p.drawingScale = p.drawingScale * (f1 < f2 ? f1 : f2);
    }
    p.sheetWidth = sheet.width;
    p.sheetHeight = sheet.height;
    p.halfWidth = sheet.width / 2;
    p.halfHeight = sheet.height / 2;
    p.rotated = sheet.rotateSetting;

    // Centre the drawing on the sheet.
    const double sx = 1000 * p.sheetWidth / p.drawingScale;
    const double sy = 1000 * p.sheetHeight / p.drawingScale;
    const double left = (sx - p.extentX) / 2;
    const double bottom = (sy - p.extentY) / 2;
    p.originX = (p.boundX - p.extentX) - left;
    p.originY = (p.boundY - p.extentY) - bottom;
    p.windowLeft = left;
    p.windowBottom = bottom;
    p.windowRight = left + p.extentX;
    p.windowTop = bottom + p.extentY;

    writePrologue(c);

    p.sheetDiagonal = std::sqrt(p.sheetWidth * p.sheetWidth + p.sheetHeight * p.sheetHeight);
    p.standardPatternLength = p.patternBase * p.drawingScale / (10 * p.sheetDiagonal);
}

} // namespace

void convertScale(Converter& c) {
    const double s = c.in.nextSigned();
    c.page().drawingScale = s * c.settings.reduction;
}

void convertHeader0132(Converter& c) {
    c.in.nextSigned();
}

void convertPage(Converter& c) {
    PageState& p = c.page();
    const double extentX = c.in.next();
    const double extentY = c.in.next();
    const double boundX = c.in.next();
    const double boundY = c.in.next();
    p.extentX = extentX;
    p.extentY = extentY;
    p.boundX = boundX;
    p.boundY = boundY;
    if (p.firstBoundX == 0 && p.firstBoundY == 0) {
        firstPageRecord(c);
    } else {
        // A later page record only moves the origins.
        p.originX = p.originX + boundX - p.firstBoundX;
        p.originY = p.originY + boundY - p.firstBoundY;
    }
}

void convertPatternLength(Converter& c) {
    c.page().patternBase = c.in.next() * kPatternBaseFactor;
}

} // namespace kesto
