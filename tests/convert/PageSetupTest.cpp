#include "ConvertTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kesto::test {
namespace {

OfiComposer sheet(std::int16_t scale, std::uint16_t ex, std::uint16_t ey) {
    OfiComposer d;
    d.scale(scale).page(ex, ey, ex, ey);
    return d;
}

TEST(PageSetup, TheWorkedA4LandscapeDrawingGetsItsPrologueAndMapping) {
    DrawingRun run;
    run.settings.rotateA4H = false; // OfiA4H "90"
    OfiComposer d = sheet(10, 27000, 18000);
    d.line(0, 0, 27000, 18000).end();
    EXPECT_EQ(run.convert(d), "IN;IP-5940,4200,5940,-4200;SC0,11880,0,8400;"
                              "IW540,600,11340,7800;CS6;SS;CA101;SP2;"
                              "PUPA540,600;PDPR10800,7200;PU;SP0;AF;\r\n");
}

TEST(PageSetup, ARotationOfZeroExchangesTheAxes) {
    DrawingRun run; // OfiA4H "0" by default
    OfiComposer d = sheet(10, 27000, 18000);
    d.line(0, 0, 27000, 18000).end();
    EXPECT_EQ(body(run.convert(d)), "IP-4200,-5940,4200,5940;SC0,8400,0,11880;"
                                    "IW600,540,7800,11340;CS6;SS;CA101;SP2;"
                                    "PUPA600,540;PDPR7200,10800;");
}

TEST(PageSetup, SizesOnTheA4BorderStayA4AndJustOverGoToA3) {
    DrawingRun run;
    run.settings.rotateA4H = false;
    run.settings.rotateA3 = false;
    OfiComposer exact = sheet(10, 29700, 21000);
    EXPECT_EQ(body(run.convert(exact)),
              "IP-5940,4200,5940,-4200;SC0,11880,0,8400;IW0,0,11880,8400;CS6;SS;CA101;SP2;");
    DrawingRun next;
    next.settings = run.settings;
    OfiComposer over = sheet(10, 29710, 20000);
    EXPECT_EQ(body(next.convert(over)),
              "IP-8400,5940,8400,-5940;SC0,16800,0,11880;IW2458,1940,14342,9940;CS6;SS;CA101;SP2;");
}

TEST(PageSetup, FittingToA3MakesAPortraitDrawingAnA2LandscapeSheet) {
    DrawingRun run; // A0 plotter, target 410 x 274; OfiA2H "0" rotates
    run.settings.fitLong = 410;
    run.settings.fitShort = 274;
    OfiComposer d = sheet(10, 10000, 20000);
    const std::string glf = run.convert(d);
    EXPECT_NE(glf.find("SC0,16800,0,23760;"), std::string::npos) << glf;
    EXPECT_DOUBLE_EQ(run.state.page.drawingScale, 20.5);
}

TEST(PageSetup, AnOversizeDrawingShrinksOntoA1OnAnA1Plotter) {
    DrawingRun run;
    run.settings.plotterA0 = false;
    run.settings.plotterA1 = true;
    OfiComposer d = sheet(20, 50000, 35000); // 1000 x 700 mm
    const std::string glf = run.convert(d);
    EXPECT_NE(glf.find("SC0,23760,0,33640;"), std::string::npos) << glf;
    EXPECT_NEAR(run.state.page.drawingScale, 20 * 0.814, 1e-12);

    DrawingRun a0; // the A0 plotter takes it as it is
    const std::string onA0 = a0.convert(d);
    EXPECT_NE(onA0.find("SC0,33640,0,47560;"), std::string::npos) << onA0;
    EXPECT_DOUBLE_EQ(a0.state.page.drawingScale, 20);
}

TEST(PageSetup, ALaterPageRecordOnlyMovesTheOrigin) {
    DrawingRun run;
    run.settings.rotateA4H = false;
    OfiComposer d = sheet(10, 27000, 18000);
    d.line(1000, 1000, 1000, 1000);
    d.page(27000, 18000, 27100, 18100); // bounds 100 larger, nothing written
    d.line(1000, 1000, 1000, 1000).end();
    EXPECT_EQ(body(run.convert(d)), "IP-5940,4200,5940,-4200;SC0,11880,0,8400;"
                                    "IW540,600,11340,7800;CS6;SS;CA101;SP2;"
                                    "PUPA940,1000;PDPR0,0;PUPA900,960;PDPR0,0;");
}

TEST(PageSetup, TheRecord0132OnlyConsumesItsOperand) {
    DrawingRun run;
    OfiComposer d;
    d.record0132(0x241B).word(0x241B).word(0x0444); // its operand looks like ESC $
    run.convert(d);
    EXPECT_EQ(run.last.outcome, DrawingOutcome::Damaged); // the line after it is cut short
    OfiComposer quiet;
    quiet.record0132(-5).end();
    EXPECT_EQ(run.convert(quiet), "IN;PU;SP0;AF;\r\n");
}

TEST(PageSetup, AReductionScalesTheDrawing) {
    DrawingRun run;
    run.settings.reduction = 0.5;
    run.settings.rotateA4H = false;
    OfiComposer d = sheet(20, 27000, 18000); // 540 x 360 mm at full size
    run.convert(d);
    EXPECT_DOUBLE_EQ(run.state.page.sheetWidth, 297);
    EXPECT_DOUBLE_EQ(run.state.page.drawingScale, 10);
}

TEST(PageSetup, TheStandardPatternLengthIsFixedWhenThePageRecordIsHandled) {
    DrawingRun run;
    run.settings.rotateA4H = false;
    OfiComposer d;
    d.scale(10).patternLength(100).page(27000, 18000, 27000, 18000);
    d.patternLength(500); // too late for this drawing's pattern length
    d.lineStyle(0x10).line(0, 0, 10000, 0).end();
    const std::string glf = run.convert(d);
    const double p = 186.0 * 10 / (10 * std::sqrt(297.0 * 297 + 210.0 * 210));
    EXPECT_DOUBLE_EQ(run.state.page.standardPatternLength, p);
    EXPECT_NE(glf.find("SP2;LT2," + formatNumber(p, Mask::Fixed1To5) + ";"), std::string::npos)
        << glf;
}

TEST(PageSetup, ADrawingWithoutPageRecordUsesThePreviousDrawingsMapping) {
    DrawingRun run;
    run.settings.rotateA4H = false;
    OfiComposer first = sheet(10, 27000, 18000);
    first.end();
    run.convert(first);
    OfiComposer second;
    second.line(0, 0, 100, 0).end();
    EXPECT_EQ(body(run.convert(second)), "PUPA540,600;PDPR40,0;");
}

} // namespace
} // namespace kesto::test
