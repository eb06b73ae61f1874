#include "composer/SampleDrawings.h"

#include "composer/DrawingParts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace kesto {

namespace {

using namespace parts;

// A horizontal dimension: extension lines, the dimension line with its two
// arrow heads, and the value above the line.
void horizontalDimension(OfiComposer& c, int x0, int x1, int yFrom, int yLine,
                         std::string_view value, int charPitch) {
    const int dir = yLine < yFrom ? -1 : 1;
    c.annotationLine(x0, yFrom, x0, yLine + dir * 200);
    c.annotationLine(x1, yFrom, x1, yLine + dir * 200);
    c.annotationLine(x0, yLine, x1, yLine);
    c.annotationLine(x0, yLine, x0 + 300, yLine + 80);
    c.annotationLine(x0, yLine, x0 + 300, yLine - 80);
    c.annotationLine(x1, yLine, x1 - 300, yLine + 80);
    c.annotationLine(x1, yLine, x1 - 300, yLine - 80);
    const int textWidth = static_cast<int>(value.size()) * charPitch;
    c.direction(Horizontal);
    c.singleByteTextUtf8(static_cast<std::uint16_t>((x0 + x1 - textWidth) / 2),
                         static_cast<std::uint16_t>(yLine + 120), value);
}

// A vertical dimension with its value written upwards along the line.
void verticalDimension(OfiComposer& c, int y0, int y1, int xFrom, int xLine, std::string_view value,
                       int charPitch) {
    const int dir = xLine < xFrom ? -1 : 1;
    c.annotationLine(xFrom, y0, xLine + dir * 200, y0);
    c.annotationLine(xFrom, y1, xLine + dir * 200, y1);
    c.annotationLine(xLine, y0, xLine, y1);
    c.annotationLine(xLine, y0, xLine + 80, y0 + 300);
    c.annotationLine(xLine, y0, xLine - 80, y0 + 300);
    c.annotationLine(xLine, y1, xLine + 80, y1 - 300);
    c.annotationLine(xLine, y1, xLine - 80, y1 - 300);
    const int textWidth = static_cast<int>(value.size()) * charPitch;
    c.direction(Vertical);
    c.singleByteTextUtf8(static_cast<std::uint16_t>(xLine - 120),
                         static_cast<std::uint16_t>((y0 + y1 - textWidth) / 2), value);
    c.direction(Horizontal);
}

} // namespace

// ---------------------------------------------------------------------------------
// PART-A3: flange plate, 10 µm per unit, 400 × 280 mm on A3.

OfiComposer samplePartA3() {
    OfiComposer c;
    c.titleUtf8("部品図 A3", "R3");
    c.scale(10).record0132(1).patternLength(323).page(40000, 28000, 40000, 28000);

    // Frame and title block.
    c.lineStyle(Thick);
    rect(c, 500, 500, 39500, 27500);
    rect(c, 24000, 500, 39500, 6500);
    c.lineStyle(Thin);
    c.line(24000, 2000, 39500, 2000);
    c.line(24000, 3500, 39500, 3500);
    c.line(24000, 5000, 39500, 5000);
    c.line(28000, 500, 28000, 5000);
    c.line(33000, 500, 33000, 6500);

    // Front view: chamfered square plate with a bore, four bolt holes and a slot.
    c.lineStyle(Thick);
    c.polyline({pt(4500, 9000), pt(15500, 9000), pt(16000, 9500), pt(16000, 20500),
                pt(15500, 21000), pt(4500, 21000), pt(4000, 20500), pt(4000, 9500),
                pt(4500, 9000)});
    c.circle(pt(10000, 15000), 2500);
    for (auto [x, y] : std::array<std::pair<int, int>, 4>{
             {{5500, 10500}, {14500, 10500}, {14500, 19500}, {5500, 19500}}})
        c.circle(pt(x, y), 600);
    c.line(8500, 9900, 11500, 9900);
    c.line(8500, 10700, 11500, 10700);
    c.arc(pt(11500, 9900), pt(11900, 10300), pt(11500, 10700));
    c.arc(pt(8500, 10700), pt(8100, 10300), pt(8500, 9900));
    // Fillet of the bore's key seat: a quarter arc.
    c.arc(pt(12500, 15000), pt(12268, 15957), pt(11768, 16768));

    // Centre lines and the pitch circle of the bolt holes.
    c.lineStyle(ThinChain);
    c.line(3000, 15000, 17000, 15000);
    c.line(10000, 8000, 10000, 22000);
    for (auto [x, y] : std::array<std::pair<int, int>, 4>{
             {{5500, 10500}, {14500, 10500}, {14500, 19500}, {5500, 19500}}})
        centreCross(c, x, y, 1000);
    c.circle(pt(10000, 15000), 6364);
    c.line(8000, 10300, 12400, 10300);

    // Side view, upper half in section, lower half with hidden lines.
    c.lineStyle(Thick);
    c.polyline({pt(20000, 9500), pt(20500, 9000), pt(22500, 9000), pt(22500, 21000),
                pt(20500, 21000), pt(20000, 20500), pt(20000, 9500)});
    c.line(20000, 17500, 22500, 17500);
    c.lineStyle(ThinDashed);
    c.line(20000, 12500, 22500, 12500);
    c.line(20000, 9900, 22500, 9900);
    c.line(20000, 11100, 22500, 11100);
    c.lineStyle(ThinChain);
    c.line(19000, 15000, 23500, 15000);
    c.line(19500, 10500, 23000, 10500);
    c.line(19500, 19500, 23000, 19500);
    hatchedRect(c, 20000, 17500, 22500, 21000);

    // Mating shaft as phantom lines.
    c.lineStyle(ThinPhantom);
    c.line(17500, 13000, 25000, 13000);
    c.line(17500, 17000, 25000, 17000);

    // Pin detail B-B: a ring in section (two contours, full-circle arcs).
    c.lineStyle(Thick);
    c.circle(pt(31000, 15000), 1500);
    c.circle(pt(31000, 15000), 700);
    c.patternBlock(true);
    c.patternFill(32500, 15000,
                  {OfiPatternElement::arc(pt(29500, 15000), pt(32500, 15000)),
                   OfiPatternElement::contourStart(pt(31700, 15000)),
                   OfiPatternElement::arc(pt(30300, 15000), pt(31700, 15000))});
    // A half-round boss: an arc and a closing line.
    c.patternFill(27000, 9500,
                  {OfiPatternElement::arc(pt(28000, 10500), pt(29000, 9500)),
                   OfiPatternElement::line(pt(27000, 9500))});
    c.patternBlock(false);
    c.lineStyle(ThinChain);
    centreCross(c, 31000, 15000, 2000);

    // Shaft with a break line at its free end.
    c.lineStyle(Thick);
    c.line(27000, 20000, 35000, 20000);
    c.line(27000, 22000, 35000, 22000);
    c.line(27000, 20000, 27000, 22000);
    c.lineStyle(BreakLine);
    c.polyline(
        {pt(35000, 22000), pt(35300, 21500), pt(34800, 21000), pt(35200, 20500), pt(35000, 20000)});

    // Thick chain line along the hardened face (wide dashed polyline).
    c.lineStyle(Medium);
    c.wideDashedPolyline(0, {1500 * LengthRaw, 300 * LengthRaw, 200 * LengthRaw, 300 * LengthRaw},
                         0, 50, {pt(4500, 21400), pt(15500, 21400), pt(16400, 20500)});

    // Dimensions and notes.
    c.textBlock(true);
    c.charSize(250, 350, 375);
    horizontalDimension(c, 4000, 16000, 8800, 7300, "120", 375);
    verticalDimension(c, 9000, 21000, 3800, 2300, "120", 375);
    horizontalDimension(c, 20000, 22500, 8800, 7300, "25±0.1", 375);
    c.annotationLine(15750, 20750, 17200, 22200);
    c.annotationLine(17200, 22200, 18400, 22200);
    c.direction(Diagonal);
    c.singleByteTextUtf8(16100, 21300, "C5");
    c.direction(Horizontal);
    c.annotationLine(11768, 16768, 13800, 18800);
    c.annotationLine(13800, 18800, 16500, 18800);
    c.singleByteTextUtf8(13900, 18900, "φ50H7");
    c.annotationLine(14924, 19924, 17500, 23500);
    c.annotationLine(17500, 23500, 21000, 23500);
    c.singleByteTextUtf8(17600, 23600, "4-φ12 ｷﾘ");
    c.singleByteTextUtf8(17600, 24200, "P.C.D φ127.3±0.2");
    c.singleByteTextUtf8(9200, 22300, "A");
    c.singleByteTextUtf8(20500, 22300, "A-A");
    c.singleByteTextUtf8(30400, 17000, "B-B");
    c.charSize(300, 450, 500);
    c.twoByteTextUtf8(4500, 22800, "高周波焼入れ");
    c.charSize(250, 350, 375);
    c.slantAngle(1500);
    c.singleByteTextUtf8(1500, 4200, "SURFACE Ra 3.2 EXCEPT AS NOTED");
    c.singleByteTextUtf8(1500, 3500, "ｷﾞｼﾞｭﾂ ﾁｭｳｷ: ﾊﾞﾘ ﾄﾘ ﾉ ｺﾄ");
    c.slantAngle(0);
    c.twoByteTextUtf8(1500, 2700, "指示なき角はＣ０．５とする");
    c.twoByteTextUtf8(1500, 2000, "材質　ＳＳ４００　数量　２");

    // Title block.
    c.charSize(500, 700, 750);
    c.twoByteTextUtf8(24300, 5500, "部品図");
    c.charSize(350, 500, 550);
    c.twoByteTextUtf8(28300, 5500, "フランジ");
    c.singleByteTextUtf8(33300, 5500, "ﾌﾗﾝｼﾞ FL-2041");
    c.twoByteTextUtf8(24300, 4000, "設計");
    c.twoByteTextUtf8(28300, 4000, "検図");
    c.twoByteTextUtf8(33300, 4000, "北斗機工株式会社");
    c.twoByteTextUtf8(24300, 2500, "尺度 1:1");
    c.twoByteTextUtf8(28300, 2500, "第三角法");
    c.twoByteTextUtf8(33300, 2500, "㈱北斗機工 技術部");
    c.charSize(250, 350, 400);
    c.twoByteTextUtf8(24300, 1000, "改訂");
    c.twoByteTextUtf8(26000, 1000, "ⅠⅡⅢⅣⅤⅥⅦⅧⅨⅩ");
    c.singleByteTextUtf8(33300, 1000, "DWG No. FL-2041-03");
    c.textBlock(false);

    c.end();
    return c;
}

// ---------------------------------------------------------------------------------
// LAYOUT-A1: plant layout at 1:100, 20 µm per unit, 820 × 580 mm on A1.

OfiComposer sampleLayoutA1() {
    constexpr int Bay = 3000; // 6 m column spacing at 1:100
    constexpr int BaysX = 12;
    constexpr int BaysY = 7;
    constexpr int X0 = 2500;
    constexpr int Y0 = 5000;
    static const std::array<std::string_view, 18> rooms = {
        "事務室",   "会議室",   "応接室", "倉庫",     "機械室", "電気室",
        "更衣室",   "便所",     "湯沸室", "資材置場", "検査室", "組立工場",
        "ポンプ室", "受水槽室", "休憩室", "書庫",     "制御室", "計装室"};

    OfiComposer c;
    c.titleUtf8("配置図 A1", "01");
    c.scale(20).record0132(1).patternLength(215).page(41000, 29000, 41000, 29000);

    c.lineStyle(Thick);
    rect(c, 500, 500, 40500, 28500);
    rect(c, 27000, 500, 40500, 4500);
    c.lineStyle(Thin);
    c.line(27000, 2500, 40500, 2500);
    c.line(32000, 500, 32000, 4500);

    // Column grid with bubbles.
    c.lineStyle(ThinChain);
    for (int i = 0; i <= BaysX; ++i)
        c.line(X0 + i * Bay, Y0 - 1200, X0 + i * Bay, Y0 + BaysY * Bay + 800);
    for (int j = 0; j <= BaysY; ++j)
        c.line(X0 - 1200, Y0 + j * Bay, X0 + BaysX * Bay + 800, Y0 + j * Bay);
    c.lineStyle(Thin);
    for (int i = 0; i <= BaysX; ++i)
        c.circle(pt(X0 + i * Bay, Y0 + BaysY * Bay + 1300), 500);
    for (int j = 0; j <= BaysY; ++j)
        c.circle(pt(X0 - 1700 + 800, Y0 + j * Bay), 500);

    Random rng;
    int roomIndex = 0;
    for (int j = 0; j < BaysY; ++j) {
        for (int i = 0; i < BaysX; ++i) {
            const int x = X0 + i * Bay;
            const int y = Y0 + j * Bay;
            // Walls: outer face thick, inner face thin.
            c.lineStyle(Thick);
            rect(c, x + 150, y + 150, x + Bay - 150, y + Bay - 150);
            c.lineStyle(Thin);
            rect(c, x + 250, y + 250, x + Bay - 250, y + Bay - 250);
            // Window in the far wall: frame and glass lines.
            c.line(x + 1200, y + Bay - 250, x + 2400, y + Bay - 250);
            c.line(x + 1200, y + Bay - 200, x + 2400, y + Bay - 200);
            c.line(x + 1200, y + Bay - 150, x + 2400, y + Bay - 150);
            // Door: leaf and swing.
            c.lineStyle(Medium);
            c.line(x + 600, y + 250, x + 600, y + 1050);
            c.lineStyle(Thin);
            c.arc(pt(x + 600, y + 1050), pt(x + 1166, y + 816), pt(x + 1400, y + 250));
            // Furniture or equipment.
            if ((i + j) % 3 == 0) {
                for (int k = 0; k < 4; ++k)
                    rect(c, x + 700 + (k % 2) * 900, y + 1300 + (k / 2) * 600,
                         x + 1400 + (k % 2) * 900, y + 1700 + (k / 2) * 600);
            } else if ((i + j) % 3 == 1) {
                c.circle(pt(x + 1900, y + 1900), 500);
                c.circle(pt(x + 1000, y + 1900), 300);
                c.lineStyle(ThinChain);
                centreCross(c, x + 1900, y + 1900, 700);
                centreCross(c, x + 1000, y + 1900, 450);
            } else {
                c.lineStyle(ThinDashed);
                rect(c, x + 700, y + 1300, x + 2600, y + 2500);
                c.line(x + 700, y + 1300, x + 2600, y + 2500);
                c.line(x + 700, y + 2500, x + 2600, y + 1300);
            }
            // Room name and floor area.
            c.textBlock(true);
            c.direction(Horizontal);
            c.charSize(120, 180, 200);
            c.twoByteTextUtf8(x + 500, y + 2650, rooms[roomIndex++ % rooms.size()]);
            c.charSize(80, 120, 120);
            c.singleByteTextUtf8(x + 500, y + 2450, "R-" + std::to_string(100 * (j + 1) + i + 1));
            c.singleByteTextUtf8(x + 1700, y + 450,
                                 std::to_string(30 + rng.range(0, 8)) + "." +
                                     std::to_string(rng.range(0, 9)) + "m2");
            c.textBlock(false);
        }
    }

    // Columns: hatched squares on every grid point.
    for (int j = 0; j <= BaysY; ++j)
        for (int i = 0; i <= BaysX; ++i)
            hatchedRect(c, X0 + i * Bay - 200, Y0 + j * Bay - 200, X0 + i * Bay + 200,
                        Y0 + j * Bay + 200);

    // Tank yard: wide dashed rings around the tanks, and pipe bends.
    c.lineStyle(Medium);
    for (int k = 0; k < 6; ++k) {
        const int cx = X0 + 1500 + k * 2 * Bay;
        const int cy = Y0 - 2300;
        c.wideDashedArc(0, {300000, 100000}, 0, 60, pt(cx + 900, cy), pt(cx - 900, cy),
                        pt(cx + 900, cy));
        c.wideDashedArc(1, {200000, 80000, 50000, 80000}, 20000, 40, pt(cx, cy + 600),
                        pt(cx + 600, cy), pt(cx, cy - 600), 0x01);
    }
    // Piping: wide dashed polylines along the corridors.
    for (int j = 1; j < BaysY; ++j)
        c.wideDashedPolyline(0, {800 * LengthRaw, 200 * LengthRaw}, 0, 40,
                             {pt(X0, Y0 + j * Bay + 400), pt(X0 + 6 * Bay, Y0 + j * Bay + 400),
                              pt(X0 + 6 * Bay + 400, Y0 + j * Bay + 800),
                              pt(X0 + BaysX * Bay, Y0 + j * Bay + 800)});
    c.lineStyle(MediumChain);
    c.polyline({pt(X0 - 800, Y0 - 800), pt(X0 + BaysX * Bay + 800, Y0 - 800),
                pt(X0 + BaysX * Bay + 800, Y0 + BaysY * Bay + 500),
                pt(X0 - 800, Y0 + BaysY * Bay + 500), pt(X0 - 800, Y0 - 800)});

    // Grid labels, dimensions and the title block.
    c.textBlock(true);
    c.charSize(200, 300, 300);
    for (int i = 0; i <= BaysX; ++i)
        c.singleByteTextUtf8(X0 + i * Bay - 250, Y0 + BaysY * Bay + 1150,
                             "X" + std::to_string(i + 1));
    for (int j = 0; j <= BaysY; ++j)
        c.singleByteTextUtf8(X0 - 1150, Y0 + j * Bay - 150, "Y" + std::to_string(j + 1));
    c.charSize(150, 220, 225);
    for (int i = 0; i < BaysX; ++i)
        horizontalDimension(c, X0 + i * Bay, X0 + (i + 1) * Bay, Y0 + BaysY * Bay + 300,
                            Y0 + BaysY * Bay + 600, "6000", 225);
    for (int j = 0; j < BaysY; ++j)
        verticalDimension(c, Y0 + j * Bay, Y0 + (j + 1) * Bay, X0 - 300, X0 - 600, "6000", 225);
    c.charSize(400, 600, 650);
    c.twoByteTextUtf8(27300, 3000, "第二工場　配置図");
    c.charSize(250, 350, 400);
    c.twoByteTextUtf8(32300, 3000, "北斗機工株式会社　施設課");
    c.twoByteTextUtf8(27300, 1000, "縮尺 1:100");
    c.singleByteTextUtf8(32300, 1000, "DWG No. PL-0001  ｾｯｹｲ ｼｾﾂｶ");
    c.textBlock(false);

    c.end();
    return c;
}

// ---------------------------------------------------------------------------------
// ROTATED-A4: bracket on portrait A4, 10 µm per unit, 190 × 275 mm.

OfiComposer sampleRotatedA4() {
    OfiComposer c;
    c.titleUtf8("ブラケット A4", "R1");
    c.scale(10).record0132(1).patternLength(200).page(19000, 27500, 19000, 27500);

    c.lineStyle(Thick);
    rect(c, 500, 500, 18500, 27000);
    rect(c, 500, 500, 18500, 4000);
    c.lineStyle(Thin);
    c.line(9000, 500, 9000, 4000);
    c.line(500, 2200, 18500, 2200);

    // L-shaped bracket with rounded corners.
    c.lineStyle(Thick);
    c.line(4000, 7000, 14000, 7000);
    c.arc(pt(14000, 7000), pt(14707, 7293), pt(15000, 8000));
    c.line(15000, 8000, 15000, 9000);
    c.line(15000, 9000, 7000, 9000);
    c.arc(pt(7000, 9000), pt(6293, 9293), pt(6000, 10000));
    c.line(6000, 10000, 6000, 22000);
    c.arc(pt(6000, 22000), pt(5000, 23000), pt(4000, 22000));
    c.line(4000, 22000, 4000, 7000);
    c.circle(pt(5000, 19000), 500);
    c.circle(pt(5000, 14000), 500);
    c.circle(pt(11000, 8000), 450);
    c.lineStyle(ThinChain);
    centreCross(c, 5000, 19000, 900);
    centreCross(c, 5000, 14000, 900);
    centreCross(c, 11000, 8000, 800);
    c.line(5000, 12000, 5000, 23800);
    // Rib, hatched.
    c.lineStyle(Thick);
    c.polyline({pt(6000, 9000), pt(9000, 9000), pt(6000, 12000), pt(6000, 9000)});
    hatchedRect(c, 6000, 9000, 6600, 9600);
    c.lineStyle(Medium);
    c.wideDashedArc(0, {150000, 60000}, 0, 80, pt(4000, 22000), pt(5000, 23600), pt(6000, 22000));

    c.textBlock(true);
    c.charSize(250, 350, 375);
    horizontalDimension(c, 4000, 15000, 6800, 5500, "110", 375);
    verticalDimension(c, 7000, 22000, 3800, 2500, "150", 375);
    verticalDimension(c, 7000, 9000, 15200, 16500, "20", 375);
    c.annotationLine(5354, 19354, 8000, 21000);
    c.annotationLine(8000, 21000, 11000, 21000);
    c.singleByteTextUtf8(8100, 21100, "2-φ10");
    c.annotationLine(11318, 8318, 13000, 11000);
    c.annotationLine(13000, 11000, 15500, 11000);
    c.singleByteTextUtf8(13100, 11100, "φ9 ｷﾘ");
    c.singleByteTextUtf8(5700, 23500, "R10");
    c.charSize(450, 650, 700);
    c.twoByteTextUtf8(800, 2600, "ブラケット");
    c.charSize(300, 450, 500);
    c.twoByteTextUtf8(9300, 2600, "取付金具　ＢＲ－１２");
    c.twoByteTextUtf8(800, 900, "材質 SPCC t2.3");
    c.twoByteTextUtf8(9300, 900, "㈱北斗機工");
    c.textBlock(false);

    c.end();
    return c;
}

// ---------------------------------------------------------------------------------
// TEXT-A4: parts list on landscape A4, 10 µm per unit, 270 × 180 mm.

OfiComposer sampleTextA4() {
    struct Row {
        std::string_view name;
        std::string_view material;
        int count;
        std::string_view size;
        std::string_view note;
    };
    static const std::array<Row, 20> rows = {{
        {"ハウジング", "FC200", 1, "φ180×120", "塗装 ﾏﾝｾﾙ N7"},
        {"シャフト", "S45C", 1, "φ40×320", "焼入れ HRC50±2"},
        {"フランジ", "SS400", 2, "□150 t25", "FL-2041"},
        {"深溝玉軸受", "SUJ2", 2, "6208ZZ", "市販品"},
        {"オイルシール", "NBR", 2, "φ40×φ62×8", "市販品"},
        {"止め輪", "SK5", 2, "C-40", "JIS B 2804"},
        {"平行キー", "S45C", 1, "12×8×56", ""},
        {"六角ボルト", "SCM435", 8, "M12×40", "強度区分 10.9"},
        {"六角ナット", "SS400", 8, "M12", "ﾕﾆｸﾛﾑﾒｯｷ"},
        {"平座金", "SS400", 8, "12", ""},
        {"ばね座金", "SWRH", 8, "No.2 12", ""},
        {"スペーサ", "A5052", 1, "φ50×φ41×15", "ｱﾙﾏｲﾄ"},
        {"ガスケット", "ﾉﾝｱｽ", 1, "t1.5", "Ⅱ型"},
        {"Ｏリング", "NBR", 2, "P-40", "ｸﾞﾘｽ ﾇﾘ"},
        {"カバー", "SPCC", 1, "t3.2", "塗装"},
        {"止めねじ", "SCM435", 2, "M8×10", "ﾛｯｸﾀｲﾄ"},
        {"ブッシュ", "C3604", 1, "φ30×φ20×25", "給油溝付"},
        {"プーリ", "FC200", 1, "PCD φ150", "Ａ形 １本掛"},
        {"Ｖベルト", "ｺﾞﾑ", 1, "A-42", "市販品"},
        {"銘板", "SUS304", 1, "60×40 t0.8", "㈱北斗機工"},
    }};
    constexpr int Left = 1000;
    constexpr int Right = 26000;
    constexpr int Top = 17000;
    constexpr int RowHeight = 600;
    static const std::array<int, 7> columns = {Left, 2500, 8500, 12000, 13800, 19500, Right};

    OfiComposer c;
    c.titleUtf8("部品表 A4", "P1");
    c.scale(10).record0132(1).patternLength(200).page(27000, 18000, 27000, 18000);

    const int bottom = Top - RowHeight * (static_cast<int>(rows.size()) + 1);
    c.lineStyle(Thick);
    rect(c, Left, bottom, Right, Top);
    rect(c, Left, 500, Right, 3500);
    c.lineStyle(Thin);
    for (std::size_t r = 1; r <= rows.size(); ++r)
        c.line(Left, Top - RowHeight * static_cast<int>(r), Right,
               Top - RowHeight * static_cast<int>(r));
    for (std::size_t k = 1; k + 1 < columns.size(); ++k)
        c.line(columns[k], bottom, columns[k], Top);
    c.line(Left, 2000, Right, 2000);
    c.line(13000, 500, 13000, 3500);

    c.textBlock(true);
    c.direction(Horizontal);
    c.charSize(200, 300, 350);
    const std::array<std::string_view, 6> headings = {"品番", "品名",       "材質",
                                                      "数量", "寸法・規格", "備考"};
    for (std::size_t k = 0; k < headings.size(); ++k)
        c.twoByteTextUtf8(columns[k] + 150, Top - RowHeight + 150, headings[k]);
    c.charSize(160, 240, 260);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const int y = Top - RowHeight * static_cast<int>(r + 2) + 180;
        const Row& row = rows[r];
        c.singleByteTextUtf8(columns[0] + 200, y, std::to_string(r + 1));
        c.twoByteTextUtf8(columns[1] + 150, y, row.name);
        c.singleByteTextUtf8(columns[2] + 150, y, row.material.empty() ? "-" : row.material)
            .singleByteTextUtf8(columns[3] + 500, y, std::to_string(row.count))
            .singleByteTextUtf8(columns[4] + 150, y, row.size);
        if (!row.note.empty()) c.twoByteTextUtf8(columns[5] + 150, y, row.note);
    }
    c.charSize(400, 600, 650);
    c.twoByteTextUtf8(1300, 2400, "部品表　減速機ユニット");
    c.charSize(250, 350, 400);
    c.twoByteTextUtf8(13300, 2400, "北斗機工株式会社　設計課");
    c.singleByteTextUtf8(1300, 900, "DWG No. GR-1200-00  ｼｰﾄ 1/1  REV.3");
    c.twoByteTextUtf8(13300, 900, "承認　検図　設計　ⅠⅡⅢ");
    c.textBlock(false);

    c.end();
    return c;
}

bool writeSampleDrawings(const std::filesystem::path& dir) {
    return samplePartA3().save(dir / "PART-A3.OFI") &&
           sampleLayoutA1().save(dir / "LAYOUT-A1.OFI") &&
           sampleRotatedA4().save(dir / "ROTATED-A4.OFI") &&
           sampleTextA4().save(dir / "TEXT-A4.OFI");
}

} // namespace kesto
