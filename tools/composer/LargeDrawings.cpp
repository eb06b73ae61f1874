// Large drawings for the benchmarks and the fuzzer's seeds.
#include "composer/DrawingParts.h"
#include "composer/SampleDrawings.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace kesto {

using namespace parts;

// Large drawings: A1 at 20 µm per unit, filled with detail cells at
// pseudo-random places until the size is reached.

namespace {

constexpr int LargeExtentX = 41000;
constexpr int LargeExtentY = 29000;

void mixedCell(OfiComposer& c, Random& rng, int x, int y) {
    c.lineStyle(Thick);
    const int w = rng.range(1500, 2500);
    const int h = rng.range(1000, 1800);
    c.polyline({pt(x, y), pt(x + w, y), pt(x + w, y + h - 200), pt(x + w - 200, y + h),
                pt(x, y + h), pt(x, y)});
    c.circle(pt(x + w / 2, y + h / 2), static_cast<std::uint16_t>(h / 4));
    c.circle(pt(x + 250, y + 250), 100);
    c.circle(pt(x + w - 250, y + 250), 100);
    c.arc(pt(x + 300, y + h - 300), pt(x + 500, y + h - 100), pt(x + 700, y + h - 300));
    c.lineStyle(ThinChain);
    centreCross(c, x + w / 2, y + h / 2, h / 4 + 200);
    c.lineStyle(ThinDashed);
    c.line(x, y + h / 2 - 100, x + w, y + h / 2 - 100);
    c.line(x, y + h / 2 + 100, x + w, y + h / 2 + 100);
    c.lineStyle(Medium);
    c.wideDashedPolyline(0, {300 * LengthRaw, 80 * LengthRaw, 40 * LengthRaw, 80 * LengthRaw},
                         static_cast<std::uint32_t>(rng.range(0, 100)) * LengthRaw, 30,
                         {pt(x, y - 150), pt(x + w, y - 150), pt(x + w + 150, y)});
    if (rng.next() % 4 == 0)
        c.wideDashedArc(0, {200000, 60000}, 0, 30, pt(x + w / 2 + h / 3, y + h / 2),
                        pt(x + w / 2, y + h / 2 + h / 3), pt(x + w / 2 - h / 3, y + h / 2));
    c.patternBlock(true);
    c.patternFill(x + 50, y + 50,
                  {OfiPatternElement::line(pt(x + 450, y + 50)),
                   OfiPatternElement::arc(pt(x + 530, y + 250), pt(x + 450, y + 450)),
                   OfiPatternElement::line(pt(x + 50, y + 450)),
                   OfiPatternElement::line(pt(x + 50, y + 50))});
    c.patternBlock(false);
    c.textBlock(true);
    c.charSize(100, 150, 150);
    c.annotationLine(x, y + h + 100, x + w, y + h + 100);
    c.singleByteTextUtf8(x + w / 2 - 300, y + h + 150, "φ" + std::to_string(h / 2) + "±0.05");
    c.direction(Vertical);
    c.singleByteTextUtf8(x - 100, y + h / 3, std::to_string(h));
    c.direction(Horizontal);
    c.twoByteTextUtf8(x + 100, y + 100, "部品Ｂ－" + std::to_string(rng.range(1, 99)));
    c.textBlock(false);
}

void textCell(OfiComposer& c, Random& rng, int x, int y) {
    static const std::array<std::string_view, 8> names = {
        "六角ボルト", "深溝玉軸受", "オイルシール", "平行ピン",
        "止め輪",     "ハウジング", "スペーサ",     "㈱北斗機工 Ⅱ型"};
    c.lineStyle(Thin);
    c.line(x, y, x + 6000, y);
    c.textBlock(true);
    c.charSize(100, 150, 160);
    for (int r = 0; r < 8; ++r) {
        const int ry = y + 200 + r * 250;
        c.singleByteTextUtf8(x + 50, ry, std::to_string(rng.range(1, 999)));
        c.twoByteTextUtf8(x + 600, ry, names[(r + rng.next()) % names.size()]);
        c.singleByteTextUtf8(x + 2600, ry,
                             "M" + std::to_string(rng.range(3, 24)) + "×" +
                                 std::to_string(rng.range(5, 120)) + " SUS304 ﾒｯｷ");
    }
    c.twoByteTextUtf8(x + 4500, y + 200, "備考：市販品を使用すること");
    c.textBlock(false);
}

// Geometry alone: a traced outline (a long polyline of short steps), its
// section hatching, holes, a fillet, hidden and centre lines, a wide
// dashed border.  No text and no pattern fills.
void geometryCell(OfiComposer& c, Random& rng, int x, int y) {
    const int w = rng.range(1500, 2500);
    const int h = rng.range(1000, 1800);
    c.lineStyle(Thick);
    std::vector<OfiPoint> outline;
    const int points = rng.range(8, 24);
    int px = x;
    int py = y;
    outline.push_back(pt(px, py));
    for (int k = 1; k < points; ++k) {
        // Around the cell's box, a little off the straight way.
        const int side = 4 * k / points;
        const int along = rng.range(20, 2 * (w + h) / points + 20);
        const int off = rng.range(-15, 15);
        switch (side) {
        case 0:
            px = std::min(px + along, x + w);
            py = y + off;
            break;
        case 1:
            px = x + w + off;
            py = std::min(py + along, y + h);
            break;
        case 2:
            px = std::max(px - along, x);
            py = y + h + off;
            break;
        default:
            px = x + off;
            py = std::max(py - along, y);
            break;
        }
        outline.push_back(pt(px, py));
    }
    outline.push_back(pt(x, y));
    c.polyline(outline);
    c.lineStyle(Thin);
    // Section hatching, drawn downwards.
    for (int k = 200; k < w - 200; k += rng.range(80, 160))
        c.line(x + k, y + h - 100, x + k - rng.range(300, 600), y + 100);
    c.circle(pt(x + w / 2, y + h / 2), static_cast<std::uint16_t>(h / 5));
    c.circle(pt(x + 250, y + 250), 100);
    c.arc(pt(x + w - 500, y + h - 300), pt(x + w - 300, y + h - 100), pt(x + w - 100, y + h - 300));
    c.lineStyle(ThinDashed);
    c.line(x, y + h / 2 - 120, x + w, y + h / 2 - 120);
    c.line(x, y + h / 2 + 120, x + w, y + h / 2 + 120);
    c.lineStyle(ThinChain);
    centreCross(c, x + w / 2, y + h / 2, h / 5 + 150);
    if (rng.next() % 2 == 0) {
        c.lineStyle(Medium);
        c.wideDashedPolyline(0, {300 * LengthRaw, 80 * LengthRaw}, 0, 30,
                             {pt(x, y - 150), pt(x + w, y - 150), pt(x + w + 150, y)});
    }
}

} // namespace

OfiComposer composeLargeDrawing(std::size_t targetBytes, LargeDrawingKind kind) {
    OfiComposer c;
    c.reserve(targetBytes + 4096);
    c.titleUtf8(kind == LargeDrawingKind::TextHeavy ? "文字図面 A1" : "大図面 A1", "BIG");
    c.scale(20).record0132(1).patternLength(215).page(LargeExtentX, LargeExtentY, LargeExtentX,
                                                      LargeExtentY);
    c.lineStyle(Thick);
    rect(c, 500, 500, LargeExtentX - 500, LargeExtentY - 500);
    c.textBlock(true).direction(Horizontal).charSize(100, 150, 150).textBlock(false);
    Random rng;
    // Room left for the end record.
    constexpr std::size_t EndRecordBytes = 4;
    while (c.size() + EndRecordBytes < targetBytes) {
        const int x = rng.range(1000, LargeExtentX - 7500);
        const int y = rng.range(1000, LargeExtentY - 3000);
        switch (kind) {
        case LargeDrawingKind::Mixed: mixedCell(c, rng, x, y); break;
        case LargeDrawingKind::TextHeavy: textCell(c, rng, x, y); break;
        case LargeDrawingKind::Geometry: geometryCell(c, rng, x, y); break;
        }
    }
    c.end();
    return c;
}

} // namespace kesto
