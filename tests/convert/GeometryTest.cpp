#include "ConvertTestSupport.h"

#include <gtest/gtest.h>

namespace kesto::test {
namespace {

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// --- pens and line types -------------------------------------------------

TEST(Pens, ADrawingWithoutLineStyleWritesNoPen) {
    DrawingRun run;
    OfiComposer d;
    d.line(1, 2, 3, 4).end();
    EXPECT_EQ(body(run.unitMapping().convert(d)), "PUPA1,2;PDPR2,2;");
}

TEST(Pens, TheFirstStyleByteZeroOfARunIsIgnored) {
    DrawingRun run;
    OfiComposer d;
    d.lineStyle(0x00).line(0, 0, 1, 0).end();
    EXPECT_EQ(body(run.unitMapping().convert(d)), "PUPA0,0;PDPR1,0;");
}

TEST(Pens, APenIsWrittenOnceBeforeTheFirstOfTwoLines) {
    DrawingRun run;
    OfiComposer d;
    d.lineStyle(0x02).line(0, 0, 1, 0).lineStyle(0x02).line(0, 0, 0, 1).end();
    EXPECT_EQ(body(run.unitMapping().convert(d)), "SP3;LT;PUPA0,0;PDPR1,0;PUPA0,0;PDPR0,1;");
}

TEST(Pens, OnlyTheLastOfTwoStylesBetweenElementsIsWritten) {
    DrawingRun run;
    OfiComposer d;
    d.lineStyle(0x01).lineStyle(0x02).line(0, 0, 1, 0).end();
    EXPECT_EQ(body(run.unitMapping().convert(d)), "SP3;LT;PUPA0,0;PDPR1,0;");
}

TEST(Pens, TheStyleByteOfTheLastDrawingCarriesOverIntoTheNextOfTheRun) {
    DrawingRun run;
    OfiComposer first;
    first.lineStyle(0x01).line(0, 0, 1, 0).end();
    run.unitMapping().convert(first);
    EXPECT_EQ(body(run.convert(first)), "PUPA0,0;PDPR1,0;"); // same byte again: ignored
}

TEST(Pens, ABreakLineIsDrawnSolidAndReselectedAsLineType4) {
    DrawingRun run;
    run.settings.penBreak = "SP2;";
    OfiComposer d;
    d.lineStyle(0x41).line(0, 0, 1, 0).textBlock(true).textBlock(false).line(0, 0, 1, 0).end();
    EXPECT_EQ(body(run.unitMapping().convert(d)),
              "SP2;LT;PUPA0,0;PDPR1,0;SP1;LT;SP2;LT4;PUPA0,0;PDPR1,0;");
}

TEST(Pens, ADashedStyleCarriesTheStandardPatternLength) {
    DrawingRun run;
    run.state.page.standardPatternLength = 1.25;
    OfiComposer d;
    d.lineStyle(0x12).line(0, 0, 0, 0).end();
    EXPECT_EQ(body(run.convert(d)), "SP3;LT2,1.25;PUPA0,0;PDPR0,0;");
    DrawingRun dashDot;
    dashDot.state.page.standardPatternLength = 1.25;
    OfiComposer e;
    e.lineStyle(0x30).line(0, 0, 0, 0).end();
    EXPECT_EQ(body(dashDot.convert(e)), "SP2;LT6,6.25;PUPA0,0;PDPR0,0;");
}

TEST(Pens, AnUnknownStyleByteChangesNothing) {
    // A weight past 2 or a pattern past 4 (the patterns' table ends there).
    for (const std::uint8_t unknown : {0x55, 0x52, 0x03, 0xF0}) {
        DrawingRun run;
        OfiComposer d;
        d.lineStyle(0x02).line(0, 0, 1, 0).lineStyle(unknown).line(0, 0, 1, 0).end();
        EXPECT_EQ(body(run.unitMapping().convert(d)), "SP3;LT;PUPA0,0;PDPR1,0;PUPA0,0;PDPR1,0;")
            << int(unknown);
        EXPECT_EQ(run.state.lastStyleByte, unknown);
    }
}

// A sheet of scale 10 with a base dash length of 100 units and a diagonal of 500 mm.
DrawingRun dashedSheet() {
    DrawingRun run;
    run.state.page.drawingScale = 10;
    run.state.page.patternBase = 100;
    run.state.page.sheetDiagonal = 500;
    run.state.page.standardPatternLength = 2;
    return run;
}

TEST(Pens, AShortDashDotSegmentGetsAPatternFittedToIt) {
    DrawingRun run = dashedSheet();
    OfiComposer d;
    d.lineStyle(0x20).line(0, 0, 300, 0).end();
    // 300 / 1.7 units x 10 um / 500 mm x 100 / 1000 = 0.35294 % of the diagonal.
    EXPECT_EQ(body(run.convert(d)), "SP2;LT5,10.0;LT5,0.35294;PUPA0,0;PDPR120,0;");
}

TEST(Pens, ADashedSegmentLongerThanOneAndAHalfBaseLengthsKeepsTheStandard) {
    DrawingRun run = dashedSheet();
    OfiComposer d;
    d.lineStyle(0x10).line(0, 0, 300, 0).end();
    EXPECT_EQ(body(run.convert(d)), "SP2;LT2,2.0;PUPA0,0;PDPR120,0;");
}

TEST(Pens, AFittedPatternStaysForSimilarLengthsAndIsNotRepeatedAfterText) {
    DrawingRun run = dashedSheet();
    OfiComposer d;
    d.lineStyle(0x10).line(0, 0, 120, 0); // fitted: 2/3 x 120 -> 0.16
    d.line(0, 0, 130, 0);                 // 10 units x 10 um < 2000: fit kept
    d.textBlock(true).textBlock(false);
    d.line(0, 0, 120, 0).end();
    EXPECT_EQ(body(run.convert(d)),
              "SP2;LT2,2.0;LT2,0.16;PUPA0,0;PDPR48,0;PUPA0,0;PDPR52,0;"
              // after the text block the plotter's own length applies: the fitted
              // length equals the one written last and is not written again
              "SP1;LT;SP2;LT2;PUPA0,0;PDPR48,0;");
}

TEST(Pens, WithoutASheetNoPatternIsFitted) {
    DrawingRun run;
    run.state.page.drawingScale = 10;
    run.state.page.patternBase = 100; // but no page record: the diagonal is 0
    OfiComposer d;
    d.lineStyle(0x20).line(0, 0, 300, 0).end();
    EXPECT_EQ(body(run.convert(d)), "SP2;LT5,0.0;PUPA0,0;PDPR120,0;");
}

// --- lines and polylines -----------------------------------------------

TEST(Lines, APolylineOfThreePointsIsOnePrList) {
    DrawingRun run;
    OfiComposer d;
    d.polyline({{120, 80}, {160, 80}, {160, 120}}).end();
    EXPECT_EQ(body(run.unitMapping().convert(d)), "PUPA120,80;PDPR40,0,0,40;");
}

TEST(Lines, APolylineOfTwoPointsIsFittedLikeASegment) {
    DrawingRun run = dashedSheet();
    OfiComposer d;
    d.lineStyle(0x20).polyline({{0, 0}, {300, 0}}).end();
    EXPECT_EQ(body(run.convert(d)), "SP2;LT5,10.0;LT5,0.35294;PUPA0,0;PDPR120,0;");
}

TEST(Lines, RotatedSheetsExchangeAbsoluteAndRelativeAxes) {
    DrawingRun run;
    run.unitMapping().state.page.rotated = true;
    OfiComposer d;
    d.polyline({{10, 20}, {15, 40}, {20, 40}}).end();
    EXPECT_EQ(body(run.convert(d)), "PUPA20,10;PDPR20,5,0,5;");
}

TEST(Lines, RelativeStepsAreRoundedOneByOne) {
    DrawingRun run;
    run.state.page.drawingScale = 10; // 0.4 plotter units per drawing unit
    OfiComposer d;
    d.polyline({{0, 0}, {1, 0}, {2, 0}, {3, 0}}).end();
    EXPECT_EQ(body(run.convert(d)), "PUPA0,0;PDPR0,0,0,0,0,0;");
}

TEST(WideDashedPolyline, AOneElementPatternGivesOneRectanglePerSegment) {
    DrawingRun run;
    OfiComposer d;
    d.wideDashedPolyline(0, {5000}, 0, 10, {{0, 0}, {100, 0}}).end();
    EXPECT_EQ(body(run.unitMapping().convert(d)),
              "PUPA0,-5;PM0;PDPR0,10,100,0,0,-10,-100,0;PM2;FP;EP;");
    DrawingRun odd;
    OfiComposer e;
    e.wideDashedPolyline(1, {5000}, 0, 10, {{0, 0}, {100, 0}}).end();
    EXPECT_EQ(body(odd.unitMapping().convert(e)), "");
}

TEST(WideDashedPolyline, ADashOverAVertexBecomesTwoRectangles) {
    DrawingRun run;
    OfiComposer d;
    d.wideDashedPolyline(0, {60000, 40000}, 0, 10, {{0, 0}, {50, 0}, {50, 100}}).end();
    const std::string glf = body(run.unitMapping().convert(d));
    EXPECT_EQ(glf, "PUPA0,-5;PM0;PDPR0,10,50,0,0,-10,-50,0;PM2;FP;EP;"
                   "PUPA55,0;PM0;PDPR-10,0,0,10,10,0,0,-10;PM2;FP;EP;"
                   "PUPA55,50;PM0;PDPR-10,0,0,50,10,0,0,-50;PM2;FP;EP;");
}

TEST(WideDashedPolyline, ZeroLengthDashesWriteNothing) {
    DrawingRun run;
    OfiComposer d;
    d.wideDashedPolyline(0, {5000}, 0, 10, {{7, 7}, {7, 7}}).end();
    EXPECT_EQ(body(run.unitMapping().convert(d)), "");
}

// --- arcs and circles --------------------------------------------------

TEST(Arcs, ASemicircleThroughThreePointsSweepsMinus180Degrees) {
    DrawingRun run;
    OfiComposer d;
    d.arc({0, 0}, {100, 100}, {200, 0}).end();
    EXPECT_EQ(body(run.unitMapping().convert(d)), "PUPA0,0PD;AA100,0,-180.0,3;");
}

TEST(Arcs, TheSameArcOnARotatedSheetSweepsTheOtherWay) {
    DrawingRun run;
    run.unitMapping().state.page.rotated = true;
    OfiComposer d;
    d.arc({0, 0}, {100, 100}, {200, 0}).end();
    EXPECT_EQ(body(run.convert(d)), "PUPA0,0PD;AA0,100,180.0,3;");
}

TEST(Arcs, EqualFirstAndLastPointsDrawAFullCircleAroundTheMidpoint) {
    DrawingRun run;
    OfiComposer d;
    d.arc({10, 10}, {110, 10}, {10, 10}).end();
    EXPECT_EQ(body(run.unitMapping().convert(d)), "PUPA10,10;PD;AA60,10,360,3;");
}

TEST(Arcs, CollinearPointsAreDrawnAsTheStraightLineFromFirstToLast) {
    DrawingRun run;
    OfiComposer d;
    d.arc({0, 0}, {50, 50}, {100, 100}).end();
    EXPECT_EQ(body(run.unitMapping().convert(d)), "PUPA0,0;PDPR100,100;");
}

TEST(Arcs, AQuarterArcPicksTheShortWayRound) {
    DrawingRun run;
    OfiComposer d;
    d.arc({100, 0}, {71, 71}, {0, 100}).end(); // about the origin, counter-clockwise
    const std::string glf = body(run.unitMapping().convert(d));
    EXPECT_NE(glf.find(",90.0,3;"), std::string::npos) << glf;
}

TEST(WideDashedArc, AOneElementPatternDrawsTheWholeRingAsOneSector) {
    DrawingRun run;
    OfiComposer d;
    d.wideDashedArc(0, {1000000}, 0, 10, {200, 100}, {0, 100}, {200, 100}).end();
    EXPECT_EQ(body(run.unitMapping().convert(d)),
              "PUPA205,100;PM0;PD;AA100,100,360.0,3;PA195,100;AA100,100,-360.0,3;"
              "PA205,100;PM2;FP;EP;");
}

TEST(WideDashedArc, ADashedRingHasOneSectorPerDash) {
    DrawingRun run;
    OfiComposer d;
    // Dashes and gaps of just under a quarter turn: two whole dashes, and a
    // sliver of the third where the ring closes.
    d.wideDashedArc(0, {1570796, 1570796}, 0, 10, {200, 100}, {0, 100}, {200, 100}).end();
    const std::string glf = body(run.unitMapping().convert(d));
    EXPECT_EQ(count(glf, "PM0;"), 3u) << glf;
    EXPECT_EQ(count(glf, ",89.99998,3;"), 2u) << glf;
    EXPECT_EQ(count(glf, ",.00007,3;"), 1u) << glf;
}

TEST(WideDashedArc, CollinearPointsDrawNothing) {
    DrawingRun run;
    OfiComposer d;
    d.wideDashedArc(0, {1000000}, 0, 10, {0, 0}, {50, 50}, {100, 100}).end();
    EXPECT_EQ(body(run.unitMapping().convert(d)), "");
}

// --- patterns ---------------------------------------------------------

TEST(Patterns, ASingleLineElementMakesAClosedFilledPolygon) {
    DrawingRun run;
    OfiComposer d;
    d.patternFill(10, 10, {OfiPatternElement::line({20, 10})}).end();
    EXPECT_EQ(body(run.unitMapping().convert(d)), "PUPA10,10;PM0;PA20,10;PM2;FP;EP;");
}

TEST(Patterns, AFirstArcBackToTheStartIsAFullCircle) {
    DrawingRun run;
    OfiComposer d;
    d.patternFill(10, 10, {OfiPatternElement::arc({30, 10}, {10, 10})}).end();
    EXPECT_EQ(body(run.unitMapping().convert(d)), "PUPA10,10;PM0;PD;AA20,10,360,3;PM2;FP;EP;");
}

TEST(Patterns, ASecondContourIsSeparatedWithPm1) {
    DrawingRun run;
    OfiComposer d;
    d.patternFill(10, 10,
                  {OfiPatternElement::line({20, 10}), OfiPatternElement::contourStart({50, 50}),
                   OfiPatternElement::line({60, 50})})
        .end();
    EXPECT_EQ(body(run.unitMapping().convert(d)),
              "PUPA10,10;PM0;PA20,10;PM1;PUPA50,50;PA60,50;PM2;FP;EP;");
}

TEST(Patterns, ACollinearArcElementBecomesAStraightEdge) {
    DrawingRun run;
    OfiComposer d;
    d.patternFill(10, 10,
                  {OfiPatternElement::arc({20, 20}, {30, 30}), OfiPatternElement::line({30, 10})})
        .end();
    EXPECT_EQ(body(run.unitMapping().convert(d)), "PUPA10,10;PM0;PA30,30;PA30,10;PM2;FP;EP;");
}

TEST(Patterns, ThePatternBlockSelectsThePatternPenOnce) {
    DrawingRun run;
    run.settings.penPattern = "SP4;";
    OfiComposer d;
    d.patternBlock(true).patternFill(10, 10, {OfiPatternElement::line({20, 10})});
    d.patternBlock(false).line(0, 0, 1, 0).end();
    EXPECT_EQ(body(run.unitMapping().convert(d)),
              "SP4;LT;PUPA10,10;PM0;PA20,10;PM2;FP;EP;SP2;LT;PUPA0,0;PDPR1,0;");
}

TEST(Patterns, TheAnnotationPenStaysWhenBothPensAreTheSame) {
    DrawingRun run; // LineT and LineP are both pen 1
    OfiComposer d;
    d.textBlock(true).textBlock(false).patternBlock(true).end();
    EXPECT_EQ(body(run.unitMapping().convert(d)), "SP1;LT;");
    EXPECT_EQ(run.state.style.penMode, PenMode::Annotation);
}

// --- the record loop -----------------------------------------------------

TEST(RecordLoop, TheEndRecordEndsTheDrawingAtOnce) {
    DrawingRun run;
    OfiComposer d;
    d.end().line(0, 0, 1, 1);
    EXPECT_EQ(run.unitMapping().convert(d), "IN;PU;SP0;AF;\r\n");
}

TEST(RecordLoop, AControlPrefixWithoutEndLetsTheNextRecordThrough) {
    DrawingRun run;
    OfiComposer d;
    d.word(0x401B).line(1, 1, 2, 2).end();
    EXPECT_EQ(body(run.unitMapping().convert(d)), "PUPA1,1;PDPR1,1;");
}

TEST(RecordLoop, AnUnknownDrawingCodeIsSkippedWithItsPrefix) {
    DrawingRun run;
    OfiComposer d;
    d.words({0x241B, 0x9999, 0x0444, 5, 5}).line(1, 1, 2, 2).end();
    EXPECT_EQ(body(run.unitMapping().convert(d)), "PUPA1,1;PDPR1,1;");
}

TEST(RecordLoop, TheEndOfTheFileClosesTheDrawingNormally) {
    DrawingRun run;
    OfiComposer d;
    d.line(1, 1, 2, 2);
    EXPECT_EQ(run.unitMapping().convert(d), "IN;PUPA1,1;PDPR1,1;PU;SP0;AF;\r\n");
    EXPECT_EQ(run.last.outcome, DrawingOutcome::Finished);
}

TEST(RecordLoop, TheCancelFlagStopsBeforeTheNextRecord) {
    DrawingRun run;
    std::atomic<bool> cancel{true};
    ConversionControl control;
    control.cancel = &cancel;
    OfiComposer d;
    d.line(1, 1, 2, 2).end();
    StringSink sink;
    {
        GlfWriter out(sink);
        const auto bytes = d.view();
        run.last = convertDrawing(OfiReader(bytes.data(), bytes.size()), out, run.state,
                                  run.settings, &control);
    }
    EXPECT_EQ(run.last.outcome, DrawingOutcome::Cancelled);
    EXPECT_EQ(sink.text, "IN;PU;SP0;AF;\r\n");
}

// --- damaged drawings -----------------------------------------------------

struct Damage : ::testing::TestWithParam<std::pair<const char*, std::vector<std::uint16_t>>> {};

TEST_P(Damage, IsReportedAndNothingIsClosed) {
    DrawingRun run;
    run.state.page.drawingScale = 10;
    OfiComposer d;
    for (std::uint16_t w : GetParam().second)
        d.word(w);
    const std::string glf = run.convert(d);
    EXPECT_EQ(run.last.outcome, DrawingOutcome::Damaged) << glf;
    EXPECT_EQ(glf.find("PU;SP0;AF;"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Drawings, Damage,
    ::testing::Values(
        std::pair{"line cut short", std::vector<std::uint16_t>{0x241B, 0x0444, 1, 2, 3}},
        std::pair{"polyline of one point", std::vector<std::uint16_t>{0x241B, 0xFF44, 2, 0, 1, 1}},
        std::pair{"polyline of odd count",
                  std::vector<std::uint16_t>{0x241B, 0xFF44, 5, 0, 1, 1, 2, 2, 3}},
        std::pair{"wide polyline without elements",
                  std::vector<std::uint16_t>{0x241B, 0xFF42, 9, 0, 0, 0, 0, 0, 5, 0, 0, 1, 1}},
        // Whole, with its 102 elements, width, start and one point: only the count is wrong.
        std::pair{"wide polyline of 102 elements",
                  [] {
                      std::vector<std::uint16_t> w{0x241B, 0xFF42, 213, 0, 0, 102};
                      for (int e = 0; e < 102; ++e)
                          w.insert(w.end(), {1000, 0});
                      w.insert(w.end(), {0, 0, 5, 0, 0, 1, 1});
                      return w;
                  }()},
        std::pair{"wide polyline starting at element 101",
                  std::vector<std::uint16_t>{0x241B, 0xFF42, 9, 0, 101, 1, 1, 0, 0, 0, 5, 0, 0}},
        std::pair{"wide polyline of empty elements",
                  std::vector<std::uint16_t>{0x241B, 0xFF42, 13, 0, 0, 2, 0, 0, 0, 0, 0, 0, 5, 0, 0,
                                             9, 9}},
        std::pair{"wide arc without elements",
                  std::vector<std::uint16_t>{0x241B, 0x0045, 0, 0, 0, 0, 5, 0, 0, 1, 1, 0, 0}},
        std::pair{"wide arc of empty elements",
                  std::vector<std::uint16_t>{0x241B, 0x0045, 0, 2, 0, 0, 0, 0, 0, 0, 5, 200, 100, 0,
                                             100, 200, 100}},
        std::pair{"page with extent 0",
                  std::vector<std::uint16_t>{0x211B, 0x0452, 0, 100, 100, 100}},
        std::pair{"page record cut short", std::vector<std::uint16_t>{0x211B, 0x0452, 10, 10}},
        std::pair{"pattern fill cut short",
                  std::vector<std::uint16_t>{0x241B, 0xFF50, 20, 0, 0, 1, 1, 0, 5}}),
    [](const auto& info) {
        std::string name = info.param.first;
        for (char& ch : name)
            if (ch == ' ') ch = '_';
        return name;
    });

TEST(Damage, APageRecordWithoutScaleIsDamaged) {
    DrawingRun run;
    OfiComposer d;
    d.page(100, 100, 100, 100).end();
    run.convert(d);
    EXPECT_EQ(run.last.outcome, DrawingOutcome::Damaged);
}

TEST(Damage, ALaterPageRecordWithExtent0IsNoDamage) {
    DrawingRun run;
    OfiComposer d;
    d.scale(10).page(100, 100, 100, 100).page(0, 0, 200, 200).end();
    run.convert(d);
    EXPECT_EQ(run.last.outcome, DrawingOutcome::Finished);
}

} // namespace
} // namespace kesto::test
