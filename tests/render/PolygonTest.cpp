// The polygon buffer as an HP-GL/2 plotter keeps it: every corner is filled,
// pen up or down; only the sides given with the pen down are edged; PM1
// starts a sub-polygon whose first move is no side; PM1/PM2 outside polygon
// mode are ignored.  Each form is checked in the PNG picture by its pixels
// and in PDF and SVG by the paths they write.

#include "RenderProbe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kesto::render {
namespace {

struct PolygonCase {
    const char* name;
    std::string body;         // after the square sheet's prologue
    std::vector<Point> inked; // plotter points that must be drawn
    std::vector<Point> blank; // and points that must stay white
    std::string problem = ""; // part of the report; "" for none at all
};

// Outer square 1000-3000 and inner square 1500-2500, both counter-clockwise.
const std::string kSquareWithInner =
    "SP1;PA1000,1000;PM0;PD3000,1000,3000,3000,1000,3000,1000,1000;PM1;PU1500,1500;"
    "PD2500,1500,2500,2500,1500,2500,1500,1500;PM2;";
// A square with one pen-up side (the top), the others pen down.
const std::string kOnePenUpSide =
    "SP1;PA1000,1000;PM0;PD3000,1000,3000,3000;PU1000,3000;PD1000,1000;PM2;";
// A square, then a pen-up move to its centre and a circle there.
const std::string kSquareAndCircle =
    "SP1;PA1000,1000;PM0;PD3000,1000,3000,3000,1000,3000,1000,1000;PU2000,2000;CI500;PM2;";

TEST(Polygon, BufferFollowsThePlotter) {
    const std::vector<PolygonCase> cases = {
        {"pen-up corners are filled (the converter's pattern fill)",
         "SP1;PUPA1000,1000;PM0;PA3000,1000;PA3000,3000;PA1000,3000;PM2;FP;EP;",
         {{2000, 2000}, {1100, 1100}, {2900, 2900}},
         {{3300, 2000}, {2000, 700}}},
        {"pen-up sides are not edged",
         "SP1;PUPA1000,1000;PM0;PA3000,1000;PD3000,3000;PU1000,3000;PM2;EP;",
         {{3000, 2000}},
         {{2000, 1000}, {2000, 3000}, {1000, 2000}, {2000, 2000}}},
        {"one pen-up side among three pen-down sides: the whole square is filled",
         kOnePenUpSide + "FP;",
         {{1200, 2800}, {2800, 1200}, {2000, 2000}},
         {{3300, 2000}, {700, 2000}}},
        {"mixed sides edged: the pen-up side stays blank",
         kOnePenUpSide + "EP;",
         {{2000, 1000}, {3000, 2000}, {1000, 2000}},
         {{2000, 3000}, {2000, 2000}}},
        {"pen-down polygon closed and edged",
         "SP1;PA1000,1000;PM0;PD3000,1000,3000,3000;PM2;EP;",
         {{2000, 1000}, {3000, 2000}, {2000, 2000}},
         {{2500, 1500}}},
        {"filled polygon",
         "SP1;PA1000,1000;PM0;PD3000,1000,3000,3000,1000,3000,1000,1000;PM2;FP;",
         {{2000, 2000}, {1100, 2900}},
         {{3300, 2000}}},
        {"FP0 fills even-odd: the inner sub-polygon is a hole",
         kSquareWithInner + "FP0;",
         {{1200, 1200}, {2800, 2800}},
         {{2000, 2000}}},
        {"FP1 fills by winding: the inner sub-polygon of the same direction is filled",
         kSquareWithInner + "FP1;",
         {{1200, 1200}, {2000, 2000}},
         {{3300, 2000}}},
        {"FP1 fills by winding: the inner sub-polygon of the other direction is a hole",
         "SP1;PA1000,1000;PM0;PD3000,1000,3000,3000,1000,3000,1000,1000;PM1;PU1500,1500;"
         "PD1500,2500,2500,2500,2500,1500,1500,1500;PM2;FP1;",
         {{1200, 1200}, {2800, 2800}},
         {{2000, 2000}}},
        {"the move after PM1 is no side; the next sub-polygon's pen-down sides are edged",
         "SP1;PA1000,1000;PM0;PD3000,1000,3000,3000,1000,3000,1000,1000;PM1;PD1500,1500;"
         "PD2500,1500,2500,2500,1500,2500,1500,1500;PM2;EP;",
         {{2000, 1500}, {2500, 2000}, {3000, 2000}},
         {{1250, 1250}, {1700, 1700}, {2000, 2000}}},
        {"arc sides given with the pen down: filled and edged, closed along the chord",
         "SP1;PA3000,2000;PM0;PD;AA2000,2000,180,5;PM2;FP;EP;",
         {{2000, 2700}, {2000, 3000}, {2000, 2000}},
         {{2000, 1300}}},
        {"arc sides given with the pen up: filled",
         "SP1;PUPA3000,2000;PM0;AA2000,2000,180,5;PM2;FP;",
         {{2000, 2700}, {1300, 2100}},
         {{2000, 1300}}},
        {"arc sides given with the pen up: not edged",
         "SP1;PUPA3000,2000;PM0;AA2000,2000,180,5;PM2;EP;",
         {},
         {{2000, 3000}, {2000, 2000}, {1000, 2000}}},
        {"wide arc ring as the converter writes it",
         "SP1;PUPA3000,2000;PM0;PD;AA2000,2000,90,3;PA2000,3200;AA2000,2000,-90,3;PA3000,2000;PM2;"
         "FP;EP;",
         {{2778, 2778}, {3100, 2000}},
         {{2000, 2000}, {2500, 1500}}},
        {"a circle is a closed sub-polygon of its own: a hole even-odd",
         kSquareAndCircle + "FP;",
         {{1200, 2000}, {2000, 2800}},
         {{2000, 2000}, {2300, 2000}}},
        {"a circle is edged all round; the pen-up move to its centre is not",
         kSquareAndCircle + "EP;",
         {{2500, 2000}, {2000, 2500}, {2000, 1000}},
         {{2000, 2000}, {1250, 1250}}},
        {"PM2 outside polygon mode is ignored; FP fills the buffer still held",
         "SP1;PA1000,1000;PM0;PD3000,1000,3000,3000,1000,3000;PM2;PU;PA500,3500;PM2;FP;",
         {{2000, 2000}},
         {{700, 3300}},
         "1 PM1/PM2 outside polygon mode ignored"},
        {"PM1 outside polygon mode: pen-up moves only, FP and EP use the buffer still held",
         "SP1;PUPA1000,1000;PM0;PA3000,1000;PA3000,3000;PM2;FP;PM1;PUPA500,3500;PA1500,3500;"
         "PM2;FP;EP;",
         {{2500, 1500}},
         {{1000, 3500}, {1500, 2500}},
         "2 PM1/PM2 outside polygon mode ignored"},
    };
    for (const PolygonCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string glf = kSquareSheet + c.body + "PU;SP0;AF;";
        const Rendered png = draw(glf);
        ASSERT_FALSE(png.image.isNull()) << png.result.status.reason();
        for (const Point& m : c.inked)
            EXPECT_TRUE(inkedNear(png, m.x, m.y, 2)) << "PNG not inked at " << m.x << "," << m.y;
        for (const Point& m : c.blank)
            EXPECT_FALSE(inkedNear(png, m.x, m.y, 2)) << "PNG inked at " << m.x << "," << m.y;
        const std::string problems = describeProblems(png.result.stats);
        if (c.problem.empty()) {
            EXPECT_EQ(problems, "");
        } else {
            EXPECT_NE(problems.find(c.problem), std::string::npos) << problems;
        }
        RenderStats stats;
        for (const auto& [format, picture] :
             {std::pair{"PDF", drawPdf(glf, &stats)}, std::pair{"SVG", drawSvg(glf, &stats)}}) {
            for (const Point& m : c.inked)
                EXPECT_TRUE(picture.inkedNear(m, 20))
                    << format << " not inked at " << m.x << "," << m.y;
            for (const Point& m : c.blank)
                EXPECT_FALSE(picture.inkedNear(m, 20))
                    << format << " inked at " << m.x << "," << m.y;
        }
    }
}

int inkedPixels(const QImage& image) {
    int inked = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            inked += image.pixel(x, y) != qRgb(255, 255, 255);
    return inked;
}

// Wherever a position or a size is rounded to whole pixels, a half goes up:
// a dot on the line between two pixels inks the one after it, and a picture
// half a pixel wider than a whole number gets that pixel.
TEST(Polygon, HalvesRoundUp) {
    struct DotCase {
        Point at; // plotter units; ten per pixel, y up from 4000
        QPoint pixel;
    };
    const std::vector<DotCase> dots = {
        {{1000, 2000}, {100, 200}}, // exactly on the corner of four pixels
        {{1005, 1995}, {100, 200}}, // the pixel's centre
        {{995, 2005}, {99, 199}},
        {{1015, 2000}, {101, 200}}, // half way between two centres
    };
    for (const DotCase& d : dots) {
        SCOPED_TRACE(std::to_string(d.at.x) + "," + std::to_string(d.at.y));
        const std::string at = std::to_string(d.at.x) + "," + std::to_string(d.at.y);
        const Rendered r = draw(kSquareSheet + "SP1;PA" + at + ";PD" + at + ";PU;SP0;AF;");
        ASSERT_FALSE(r.image.isNull());
        EXPECT_NE(r.image.pixel(d.pixel), qRgb(255, 255, 255));
        EXPECT_EQ(inkedPixels(r.image), 1);
    }
    // A window whose edges lie between pixels: a dot just inside each edge is
    // drawn, one just outside is not.
    const struct {
        const char* at;
        int inked;
    } edges[] = {{"1005,1500", 1}, {"995,1500", 0}, {"1995,1500", 1}, {"2005,1500", 0},
                 {"1500,1005", 1}, {"1500,995", 0}, {"1500,1995", 1}, {"1500,2005", 0}};
    for (const auto& e : edges) {
        SCOPED_TRACE(e.at);
        const std::string at = e.at;
        const Rendered r =
            draw(kSquareSheet + "IW1000,1000,2000,2000;SP1;PA" + at + ";PD" + at + ";PU;SP0;AF;");
        ASSERT_FALSE(r.image.isNull());
        EXPECT_EQ(inkedPixels(r.image), e.inked);
    }
    struct SizeCase {
        double units; // sheet width and height
        double dpi;
        int pixels;
    };
    const std::vector<SizeCase> sizes = {
        {1016, 100.5, 101}, {1016, 99.5, 100}, {1016, 100.49, 100}, {2032, 50.25, 101}};
    for (const SizeCase& s : sizes) {
        SheetLayout layout;
        layout.sheet = {0, 0, s.units, s.units};
        EXPECT_EQ(pictureSize(layout, s.dpi), QSize(s.pixels, s.pixels)) << s.units << " " << s.dpi;
    }
}

// Polygons of a few corners are filled by a quicker way than large ones,
// and lines crossed by more sides than they have pixels by counting: all
// must ink the same pixels.  Each polygon is filled as given; with every
// corner repeated, which adds sides of no length only but corners enough
// for the general way; and given 203 times over, an odd number, so that by
// either rule the same pixels are inside while every line it crosses is
// crossed over 400 times (the picture is 400 pixels wide).
TEST(Polygon, FewCornersFillAsMany) {
    using Ring = std::vector<Point>;
    const struct {
        const char* name;
        std::vector<Ring> rings;
    } cases[] = {
        {"upright rectangle, sides between pixel centres",
         {{{1003, 1007}, {1236, 1007}, {1236, 2994}, {1003, 2994}}}},
        {"upright rectangle, sides on pixel centres and edges",
         {{{1005, 1005}, {1235, 1005}, {1235, 3000}, {1005, 3000}}}},
        {"a wide line's dash, narrower than a pixel",
         {{{2003, 1000}, {2008, 1000}, {2008, 3400}, {2003, 3400}}}},
        {"rotated square", {{{2000, 800}, {3200, 2000}, {2000, 3200}, {800, 2000}}}},
        {"triangle", {{{1000, 1000}, {3100, 1700}, {1900, 3300}}}},
        {"crossing sides", {{{1000, 1000}, {3000, 3000}, {3000, 1000}, {1000, 3000}}}},
        {"square and inner square",
         {{{1000, 1000}, {3000, 1000}, {3000, 3000}, {1000, 3000}},
          {{1500, 1500}, {2500, 1500}, {2500, 2500}, {1500, 2500}}}},
    };
    const auto polygon = [](const std::vector<Ring>& given, int repeats, const char* rule,
                            int copies = 1) {
        std::vector<Ring> rings;
        for (int k = 0; k < copies; ++k)
            rings.insert(rings.end(), given.begin(), given.end());
        std::string glf = "SP1;";
        for (const Ring& ring : rings) {
            const auto at = [](Point p) { return std::to_string(p.x) + "," + std::to_string(p.y); };
            glf += (glf == "SP1;" ? "PUPA" + at(ring[0]) + ";PM0;" : "PM1;PU" + at(ring[0]) + ";");
            for (std::size_t i = 0; i <= ring.size(); ++i)
                for (int k = i == 0 ? 1 : 0; k < repeats; ++k)
                    glf += "PD" + at(ring[i % ring.size()]) + ";";
        }
        return kSquareSheet + glf + "PM2;FP" + rule + ";PU;SP0;AF;";
    };
    for (const auto& c : cases) {
        for (const char* rule : {"0", "1"}) {
            SCOPED_TRACE(std::string(c.name) + ", FP" + rule);
            const Rendered few = draw(polygon(c.rings, 1, rule));
            const Rendered many = draw(polygon(c.rings, 6, rule));
            ASSERT_FALSE(few.image.isNull()) << few.result.status.reason();
            EXPECT_GT(inkedPixels(few.image), 100);
            EXPECT_TRUE(few.image == many.image);
            EXPECT_TRUE(few.image == draw(polygon(c.rings, 1, rule, 203)).image);
        }
    }
}

// A comb, the outline a dense hatch gives: 480 teeth narrower than a pixel,
// of many lengths, so that its lines are crossed by more sides than they
// have pixels; every twelfth notch has a floor, on forty lines in a row.
// Inked must be every pixel whose centre is inside by the fill rule and no
// other, as counted here along a ray from each centre: the comb given once
// is inside by both rules; given twice, by non-zero winding only.
TEST(Polygon, ACombOfTeethFinerThanPixelsIsFilledWhereTheRuleSays) {
    std::vector<Point> comb{{100, 400}};
    double x = 100;
    for (int i = 0; i < 480; ++i, x += 6) { // corners on no pixel centre's line
        const bool floor = i % 12 == 0;
        const double valley = 1000 + 10.0 * (floor ? i / 12 : i * 53 % 90);
        comb.push_back({x, valley});
        if (floor) comb.push_back({x += 20, valley});
        comb.push_back({x + 3, 3000 + 10.0 * (i * 37 % 70)});
    }
    comb.push_back({x, 400});
    std::string ring = "PU100,400;PD";
    for (std::size_t i = 1; i <= comb.size(); ++i) {
        const Point p = comb[i % comb.size()];
        ring += std::to_string(p.x) + "," + std::to_string(p.y) + (i < comb.size() ? "," : ";");
    }
    for (const int copies : {1, 2}) {
        for (const bool evenOdd : {true, false}) {
            SCOPED_TRACE(std::to_string(copies) + (evenOdd ? " FP0" : " FP1"));
            std::string glf = kSquareSheet + "SP1;PA;PU100,400;PM0;" + ring;
            if (copies == 2) glf += "PM1;" + ring;
            const Rendered r = draw(glf + "PM2;FP" + (evenOdd ? "0" : "1") + ";PU;SP0;AF;");
            ASSERT_EQ(r.image.size(), QSize(400, 400)) << r.result.status.reason();
            int wrong = 0, onSide = 0, inside = 0;
            for (int py = 0; py < 400; ++py) {
                const double y = 4000 - 10 * (py + 0.5); // plotter units, y up
                std::vector<std::pair<double, int>> crossings;
                for (std::size_t i = 0; i < comb.size(); ++i) {
                    const Point a = comb[i], b = comb[(i + 1) % comb.size()];
                    if ((a.y < y) == (b.y < y)) continue;
                    crossings.push_back({a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y),
                                         b.y > a.y ? copies : -copies});
                }
                for (int px = 0; px < 400; ++px) {
                    const double x = 10 * (px + 0.5);
                    int winding = 0, count = 0;
                    for (const auto& [at, w] : crossings) {
                        onSide += at == x;
                        if (at > x) winding += w, count += copies;
                    }
                    const bool in = evenOdd ? count % 2 == 1 : winding != 0;
                    inside += in;
                    wrong += in != (r.image.pixel(px, py) != qRgb(255, 255, 255));
                }
            }
            EXPECT_EQ(onSide, 0);
            EXPECT_EQ(wrong, 0);
            if (copies == 2 && evenOdd)
                EXPECT_EQ(inside, 0);
            else
                EXPECT_GT(inside, 20000);
        }
    }
}

} // namespace
} // namespace kesto::render
