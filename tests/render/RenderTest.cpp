// The renderer checked by geometry: small drawings whose marks are known,
// and the pixels that must (and must not) be inked.

#include "render/Render.h"
#include "RenderProbe.h"
#include "convert/ConvertFile.h"
#include "job/Snapshot.h"
#include "ofi/OfiName.h"
#include "render/CharacterSets.h"
#include "settings/JobSettings.h"

#include <QImage>
#include <QImageReader>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace kesto::render {
namespace {

namespace fs = std::filesystem;

// Bounds of the inked pixels, in plotter units (left, bottom, right, top).
Rect inkBounds(const Rendered& r) {
    const Rect& s = r.result.layout.sheet;
    int x0 = r.image.width(), y0 = r.image.height(), x1 = -1, y1 = -1;
    for (int y = 0; y < r.image.height(); ++y) {
        for (int x = 0; x < r.image.width(); ++x) {
            if (r.image.pixel(x, y) == qRgb(255, 255, 255)) continue;
            x0 = std::min(x0, x);
            x1 = std::max(x1, x);
            y0 = std::min(y0, y);
            y1 = std::max(y1, y);
        }
    }
    const double ux = s.width() / r.image.width(), uy = s.height() / r.image.height();
    return {s.left + x0 * ux, s.top - (y1 + 1) * uy, s.left + (x1 + 1) * ux, s.top - y0 * uy};
}

struct Mark {
    double x, y;
};

struct GeometryCase {
    const char* name;
    std::string body;        // after the square sheet's prologue
    std::vector<Mark> inked; // plotter points that must be drawn
    std::vector<Mark> blank; // and points that must stay white
};

TEST(Render, GeometryLandsWhereThePenGoes) {
    const std::vector<GeometryCase> cases = {
        {"absolute line",
         "SP1;PA1000,1000;PD3000,1000;PU;",
         {{1100, 1000}, {2000, 1000}, {2900, 1000}},
         {{2000, 1200}, {3300, 1000}, {700, 1000}}},
        {"relative list",
         "SP1;PA1000,1000;PD;PR1000,0,0,1000;PU;",
         {{1500, 1000}, {2000, 1500}},
         {{1500, 1500}, {2500, 1000}}},
        {"pen-up moves draw nothing", "SP1;PU1000,1000,3000,3000;PD;PU;", {}, {{2000, 2000}}},
        {"pen 0 draws nothing", "SP0;PA1000,1000;PD3000,3000;", {}, {{2000, 2000}}},
        {"arc counter-clockwise",
         "SP1;PA3000,2000;PD;AA2000,2000,180,3;PU;",
         {{2000, 3000}, {1000, 2000}, {2707, 2707}},
         {{2000, 1000}, {2000, 2000}}},
        // Radius 10 pixels: chords of 3 degrees are half a pixel long.
        {"small arc of short chords",
         "SP1;PA2100,2000;PD;AA2000,2000,180,3;PU;",
         {{2000, 2100}, {1900, 2000}, {2071, 2071}},
         {{2000, 1900}}},
        {"arc clockwise",
         "SP1;PA3000,2000;PD;AA2000,2000,-90,5;PU;",
         {{2000, 1000}, {2707, 1293}},
         {{2000, 3000}, {1000, 2000}}},
        {"arc with pen up only moves",
         "SP1;PU;PA3000,2000;AA2000,2000,180;PD1000,1000;PU;",
         {{1000, 1500}},
         {{2000, 3000}}},
        {"circle around the pen",
         "SP1;PA2000,2000;CI500;",
         {{2500, 2000}, {1500, 2000}, {2000, 2500}},
         {{2000, 2000}}},
        {"input window clips",
         "IW1000,1000,2000,2000;SP1;PA500,1500;PD3500,1500;",
         {{1500, 1500}},
         {{2500, 1500}, {700, 1500}}},
        {"a line from far off the sheet shows its part on it",
         "SP1;PA-900000000,2000;PD2000,2000;PU;PA2000,-900000000;PD2000,1000;",
         {{100, 2000}, {1900, 2000}, {2000, 100}, {2000, 900}},
         {{2500, 2000}, {2000, 1500}}},
        {"window lifted again",
         "IW1000,1000,2000,2000;IW;SP1;PA500,1500;PD3500,1500;",
         {{2500, 1500}, {700, 1500}},
         {}},
        // 10 % of the 5657-unit diagonal: 283 units drawn, 283 left out.
        {"dashes of line type 2",
         "SP1;LT2,10;PA0,2000;PD4000,2000;",
         {{140, 2000}, {707, 2000}},
         {{424, 2000}, {990, 2000}}},
        // The same dashes from a start a thousand patterns off the sheet.
        {"dashes in phase after a start far off the sheet",
         "SP1;LT2,10;PA-565685.42,2000;PD4000,2000;",
         {{140, 2000}, {707, 2000}},
         {{424, 2000}, {990, 2000}}},
        {"solid again after LT;",
         "SP1;LT2,10;LT;PA0,2000;PD4000,2000;",
         {{424, 2000}, {990, 2000}},
         {}},
        {"user scaling",
         "SC0,100,0,100;SP1;PA25,50;PD75,50;",
         {{2000, 2000}, {1100, 2000}},
         {{2000, 2400}, {800, 2000}}},
        {"commands without separators",
         "SP1PA1000,1000PD3000,1000PU",
         {{2000, 1000}},
         {{2000, 1500}}},
    };
    for (const GeometryCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Rendered r = draw(kSquareSheet + c.body + "PU;SP0;AF;");
        ASSERT_FALSE(r.image.isNull()) << r.result.status.reason();
        EXPECT_EQ(r.image.size(), QSize(400, 400));
        for (const Mark& m : c.inked)
            EXPECT_TRUE(inkedNear(r, m.x, m.y, 2)) << "not inked at " << m.x << "," << m.y;
        for (const Mark& m : c.blank)
            EXPECT_FALSE(inkedNear(r, m.x, m.y, 2)) << "inked at " << m.x << "," << m.y;
        EXPECT_EQ(describeProblems(r.result.stats), "");
    }
}

// kesto's prologue puts P1 top left and P2 bottom right: the drawing's y
// runs down the sheet, and the picture shows the sheet as it lies.
TEST(Render, SheetIsTheRectangleOfThePrologue) {
    const Rendered r = draw("IN;IP-5940,4200,5940,-4200;SC0,11880,0,8400;IW540,600,11340,7800;"
                            "CS6;SS;CA101;SP2;PUPA1000,1000;PDPR1000,0;PU;SP0;AF;\r\n",
                            150);
    ASSERT_FALSE(r.image.isNull());
    EXPECT_EQ(r.image.size(), QSize(1754, 1240)); // A4 landscape at 150 dpi
    EXPECT_TRUE(r.result.layout.fromPrologue);
    ASSERT_TRUE(r.result.layout.hasWindow);
    EXPECT_DOUBLE_EQ(r.result.layout.window.left, -5400);
    EXPECT_DOUBLE_EQ(r.result.layout.window.top, 3600);
    // User point (1500, 1000) is 1000 units below the sheet's top edge.
    EXPECT_TRUE(inkedNear(r, -5940 + 1500, 4200 - 1000, 2));
    EXPECT_FALSE(inkedNear(r, -5940 + 1500, -4200 + 1000, 2));

    // Without a prologue the sheet is what the drawing covers.
    const Rendered loose = draw("IN;SP1;PA0,0;PD2000,1000;PU;", 101.6);
    ASSERT_FALSE(loose.image.isNull());
    EXPECT_FALSE(loose.result.layout.fromPrologue);
    EXPECT_NEAR(loose.result.layout.sheet.width(), 2080, 1);
}

TEST(Render, LabelsSitInTheirCharacterBoxes) {
    struct LabelCase {
        const char* name;
        std::string body;
        Rect box;    // where the ink must lie (plotter units)
        double minW; // at least this wide and high
        double minH;
    };
    // SI 0.5 cm = 200 units: letters 200 high, cells 300 wide.
    const std::vector<LabelCase> cases = {
        {"along x", "SI0.5,0.5;PA1000,2000;LBHHHH\x03;", {1000, 2000, 2100, 2200}, 900, 180},
        {"direction up",
         "DI0,1;SI0.5,0.5;PA2000,1000;LBHHHH\x03;",
         {1800, 1000, 2000, 2100},
         180,
         900},
        {"slanted 45 degrees",
         "SL1;SI0.5,0.5;PA1000,2000;LBI\x03;",
         {1000, 2000, 1400, 2200},
         200,
         180},
        {"kana set", "CS8;SI0.5,0.5;PA1000,2000;LB1\x03;", {1000, 1960, 1200, 2200}, 100, 100},
        {"kanji set two bytes",
         "CA101;SA;SI1,1;PA1000,2000;LB0!\x03;",
         {1000, 2000, 1400, 2400},
         250,
         250},
        {"own terminator",
         "DT*;SI0.5,0.5;PA1000,2000;LBHH*;PA0,0;",
         {1000, 2000, 1500, 2200},
         400,
         180},
    };
    for (const LabelCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Rendered r = draw(kSquareSheet + "SP1;" + c.body + "PU;SP0;AF;");
        ASSERT_FALSE(r.image.isNull());
        const Rect ink = inkBounds(r);
        const double slack = 25; // antialiasing and rounding: 2.5 pixels
        EXPECT_GE(ink.left, c.box.left - slack);
        EXPECT_GE(ink.bottom, c.box.bottom - slack);
        EXPECT_LE(ink.right, c.box.right + slack);
        EXPECT_LE(ink.top, c.box.top + slack);
        EXPECT_GE(ink.width(), c.minW);
        EXPECT_GE(ink.height(), c.minH);
        EXPECT_EQ(r.result.stats.undecodable, 0u);
    }
}

TEST(Render, CharacterSetsDecodeAsThePlotterDraws) {
    EXPECT_EQ(kanjiSetCharacter(0x30, 0x21), U'\u4E9C'); // 亜
    EXPECT_EQ(kanjiSetCharacter(0x24, 0x22), U'\u3042'); // あ
    EXPECT_EQ(kanjiSetCharacter(0x21, 0x21), U'\u3000'); // ideographic space
    EXPECT_EQ(kanjiSetCharacter(0x2D, 0x35), U'\u2160'); // Ⅰ of the extension row
    EXPECT_EQ(kanjiSetCharacter(0x2D, 0x6A), U'\u3231'); // ㈱
    EXPECT_EQ(kanjiSetCharacter(0x22, 0x2F), 0u);        // an empty cell
    EXPECT_EQ(kanjiSetCharacter(0x20, 0x21), 0u);        // not a kanji-set byte
    EXPECT_EQ(standardSetCharacter(6, 'A'), U'A');
    EXPECT_EQ(standardSetCharacter(6, 0x5C), U'\u00A5'); // yen sign in JIS ASCII
    EXPECT_EQ(standardSetCharacter(8, 0x31), U'\uFF71'); // ｱ
    EXPECT_EQ(standardSetCharacter(8, 0x5F), U'\uFF9F');
    EXPECT_EQ(standardSetCharacter(0, 0x01), 0u);
}

// Bad input is passed over and counted; the picture is still made.
TEST(Render, DamagedInputIsSkippedAndReported) {
    struct BadCase {
        const char* name;
        std::string glf;
        std::string expected; // part of the report
    };
    const std::vector<BadCase> cases = {
        {"unknown command", kSquareSheet + "SP1;ZZ1,2,3;PA1000,1000;PD2000,1000;PU;AF;", "unknown"},
        {"stray bytes", kSquareSheet + "SP1;\x01\x02\xff;PA1000,1000;PD2000,1000;PU;AF;", "stray"},
        {"odd coordinate list", kSquareSheet + "SP1;PA1000,1000;PD2000;PU;AF;", "bad parameter"},
        {"cut inside a label", kSquareSheet + "SP1;PA1000,1000;LBABC", "inside a label"},
        {"cut before the end", kSquareSheet + "SP1;PA1000,1000;PD2000,1000", "cut off"},
        {"marks after the page end", kSquareSheet + "SP1;AF;PA1000,1000;PD2000,1000;", "page end"},
        {"huge numbers", kSquareSheet + "SP1;PA1e999,99999999999999999999999;PD-1,.;AF;", "bad"},
        {"binary garbage", std::string("\0\x1b.I81;;17:\x80\x90garbage", 20), "stray"},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Rendered r = draw(c.glf);
        ASSERT_FALSE(r.image.isNull()) << r.result.status.reason();
        EXPECT_NE(describeProblems(r.result.stats).find(c.expected), std::string::npos)
            << describeProblems(r.result.stats);
    }
    const Rendered r = draw(kSquareSheet + "SP1;ZZ1,2,3;PA1000,1000;PD2000,1000;PU;AF;");
    EXPECT_TRUE(inkedNear(r, 1500, 1000)); // what follows the unknown command is drawn
}

// Every sample drawing converted in memory uses only commands the renderer
// knows, and the pictures are written with the sheet's real size.
TEST(Render, SampleDrawingsRenderCleanly) {
    const fs::path out = fs::temp_directory_path() / "kesto-render-test";
    fs::create_directories(out);
    ConversionRun run(conversionSettingsFrom(defaultSettings(out)));
    int samples = 0;
    for (const auto& entry : fs::directory_iterator(KESTO_SAMPLES_DIR)) {
        if (!isOfiFileName(entry.path().filename().string())) continue;
        SCOPED_TRACE(entry.path().filename().string());
        ++samples;
        const FileResult drawing = run.toMemory(entry.path());
        ASSERT_EQ(drawing.outcome, FileOutcome::Finished) << drawing.message;
        MemoryInput input(drawing.glf);
        RenderOptions options;
        options.dpi = 20;
        const RenderResult png =
            renderToFile(input, (out / "s.png").string(), PictureFormat::Png, options);
        ASSERT_TRUE(png.status) << png.status.reason();
        EXPECT_EQ(describeProblems(png.stats), "");
        EXPECT_GT(png.stats.characters, 0u);
        EXPECT_EQ(png.stats.undecodable, 0u);
        const QSize size = QImageReader(QString::fromStdString((out / "s.png").string())).size();
        EXPECT_EQ(size, pictureSize(png.layout, 20));

        ASSERT_TRUE(input.rewind());
        const RenderResult pdf =
            renderToFile(input, (out / "s.pdf").string(), PictureFormat::Pdf, options);
        ASSERT_TRUE(pdf.status) << pdf.status.reason();
        std::ifstream in(out / "s.pdf", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        // The page is the sheet in points (1/72 inch), and the labels are text.
        const double w = png.layout.sheet.width() / 40 / 25.4 * 72;
        const std::string media = text.str().substr(text.str().find("/MediaBox"), 60);
        char expected[32];
        std::snprintf(expected, sizeof expected, "%.2f", w);
        EXPECT_NE(media.find(expected), std::string::npos) << media;
        EXPECT_NE(text.str().find("/FontFile2"), std::string::npos);
        EXPECT_NE(text.str().find("/ToUnicode"), std::string::npos);
    }
    EXPECT_GE(samples, 4);
    fs::remove_all(out);
}

// Turns the stop flag true once more than `stopAt` bytes were read, over
// every pass, and counts the bytes it handed out.
class StoppingInput final : public GlfInput {
public:
    StoppingInput(std::string_view glf, std::atomic<bool>& stop, std::size_t stopAt)
        : bytes_(glf), stop_(stop), stopAt_(stopAt) {}
    long read(char* into, std::size_t size) override {
        const long n = bytes_.read(into, size);
        read_ += n > 0 ? static_cast<std::size_t>(n) : 0;
        if (read_ > stopAt_) stop_ = true;
        return n;
    }
    bool rewind() override { return bytes_.rewind(); }
    std::size_t bytesRead() const { return read_; }

private:
    MemoryInput bytes_;
    std::atomic<bool>& stop_;
    std::size_t stopAt_;
    std::size_t read_ = 0;
};

// A drawing stopped by the cancel flag while it is drawn (the flag turns
// true as it is read after the sheet search) leaves no picture in any
// format, not even part of one: the call fails saying so.
TEST(Render, AStoppedDrawingLeavesNoPicture) {
    const std::string glf = kSquareSheet + "SP1;PA0,0;PD;PA4000,4000;PM0;PA0,4000;PM2;FP;PU;AF;";
    const fs::path out = fs::temp_directory_path() / "kesto-render-stopped";
    fs::remove_all(out);
    fs::create_directories(out);
    for (const PictureFormat format :
         {PictureFormat::Png, PictureFormat::Svg, PictureFormat::Pdf}) {
        SCOPED_TRACE(static_cast<int>(format));
        std::atomic<bool> stop{false};
        StoppingInput input(glf, stop, glf.size());
        RenderOptions options;
        options.cancel = &stop;
        const RenderResult r = renderToFile(input, (out / "s.pic").string(), format, options);
        EXPECT_TRUE(stop);
        EXPECT_FALSE(r.status);
        EXPECT_EQ(r.status.reason(), kStoppedText);
        EXPECT_TRUE(fs::is_empty(out));
    }
    fs::remove_all(out);
}

// One command of millions of corners is read no further than a block
// past the stop, in the sheet search (up to the first mark, or the whole
// drawing without a prologue) as in the drawing.
TEST(Render, ReadingEndsSoonAfterTheStop) {
    std::string corners = "SP1;PA0,0;PM0;PD;PA";
    for (int i = 0; corners.size() < (4 << 20); ++i)
        corners += std::to_string(i * 37 % 4000) + "," + std::to_string(i * 91 % 4000) + ",";
    corners += "0,0;PM2;FP;PU;AF;";
    constexpr std::size_t kStopAt = 1 << 20;
    for (const std::string& glf : {kSquareSheet + corners, corners}) {
        SCOPED_TRACE(glf.substr(0, 8));
        std::atomic<bool> stop{false};
        StoppingInput input(glf, stop, kStopAt);
        RenderOptions options;
        options.cancel = &stop;
        RenderResult r;
        EXPECT_TRUE(renderImage(input, options, &r).isNull());
        EXPECT_EQ(r.status.reason(), kStoppedText);
        EXPECT_LT(input.bytesRead(), 2 * kStopAt);
    }
}

} // namespace
} // namespace kesto::render
