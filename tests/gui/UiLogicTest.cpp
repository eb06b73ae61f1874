// The window's logic without Qt: what a label click makes of any text in its
// field, the start argument, and window positions in twips.  The ordinary
// cycles are driven through the real widgets in MainWindowTest.

#include "ui/logic/SettingCycles.h"
#include "ui/logic/Twips.h"
#include "ui/logic/WindowStart.h"

#include <gtest/gtest.h>

#include <string>

namespace kesto {
namespace {

using Cycle = std::string (*)(std::string_view);

TEST(SettingCycles, EveryLabelRepairsATextThatIsNotOneOfItsChoices) {
    const struct {
        Cycle next;
        const char* from;
        const char* to;
    } cases[] = {
        {nextRotation, "0", "90"},
        {nextRotation, "90", "0"},
        {nextRotation, "180", "90"},
        {nextRotation, " 90", "90"},
        {nextPen, "14", "15"},
        {nextPen, "15", "0"},
        {nextPen, "99", "100"},
        {nextPen, "abc", "1"},
        {nextPen, "", "1"},
        {nextPen, "-3", "2"}, // -2, its minus sign dropped
        {nextPen, " 5", "6"},
        {nextPen, "7x", "8"},
        {nextPen, "1.5", "2.5"},
        {nextPen, "15 ", "16"}, // only exactly "15" wraps
        {nextReduction, "a4", "A4"},
        {nextReduction, "", "A4"},
        {nextCharacterSet, "x", "半角"},
        {nextFileSelection, "", "手動"},
        {nextFinishedHandling, "?", "保存"},
        {nextOutput, "ﾌｧｲﾙ", "ﾌﾟﾛｯﾀ"}, // the full-width spelling is not the setting's word
        {nextOutput, "プロッタ", "ﾌﾟﾛｯﾀ"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.next(c.from), c.to) << c.from;
}

TEST(SettingCycles, PlotterPresetSwitchesSizeAndRotationsButLeavesAnUnknownPlotterAlone) {
    const PlotterFields toA0 = nextPlotter({"A1ﾌﾟﾛｯﾀ", {"x", "x", "x", "x", "x", "x", "x"}});
    EXPECT_EQ(toA0, (PlotterFields{"A0ﾌﾟﾛｯﾀ", {"0", "90", "0", "0", "90", "0", "90"}}));
    EXPECT_EQ(nextPlotter(toA0),
              (PlotterFields{"A1ﾌﾟﾛｯﾀ", {"90", "0", "90", "90", "0", "90", "90"}}));
    for (const char* odd : {"A2ﾌﾟﾛｯﾀ", "Ａ０ﾌﾟﾛｯﾀ"}) {
        const PlotterFields fields{odd, {"1", "2", "3", "4", "5", "6", "7"}};
        EXPECT_EQ(nextPlotter(fields), fields);
    }
}

TEST(WindowStart, OnlyAutoInOneCaseStartsByItselfAndSecondsPollWithinSixteenBits) {
    const struct {
        const char* argument;
        StartMode mode;
        int pollingMs;
        const char* caption;
    } cases[] = {
        {"AUTO", StartMode::OneShot, 0, "自動"},
        {"auto", StartMode::OneShot, 0, "自動"},
        {"AUTO30", StartMode::Polling, 30000, "自動\n 30秒"},
        {"AUTO0.5", StartMode::Polling, 500, "自動\n 0秒"},
        {"AUTO100", StartMode::Polling, 65535, "自動\n 65秒"},
        {"AUTO99999999999999999999", StartMode::Polling, 65535, "自動\n 65秒"},
        {"AUTO1.0625", StartMode::Polling, 1062, "自動\n 1秒"}, // 1062.5: halves to even
        {"AUTO1.1875", StartMode::Polling, 1188, "自動\n 1秒"},
        {"AUTO 2", StartMode::Polling, 2000, "自動\n 2秒"},
        // Letters, zero and negative seconds poll never.
        {"AUTOabc", StartMode::Polling, 0, "自動\n 0秒"},
        {"AUTO0", StartMode::Polling, 0, "自動\n 0秒"},
        {"AUTO-5", StartMode::Polling, 0, "自動\n 0秒"},
        {"AUTO ", StartMode::Polling, 0, "自動\n 0秒"},
    };
    for (const auto& c : cases) {
        const WindowStart s = windowStartFor(c.argument);
        EXPECT_EQ(s.mode, c.mode) << c.argument;
        EXPECT_EQ(s.pollingMs, c.pollingMs) << c.argument;
        EXPECT_EQ(s.buttonCaption, c.caption) << c.argument;
    }
    for (const char* arg : {"", "Auto", "aUTO", "auto5", "AUT", "xAUTO30", " AUTO"}) {
        const WindowStart s = windowStartFor(arg);
        EXPECT_EQ(s.mode, StartMode::Interactive) << arg;
        EXPECT_EQ(s.pollingMs, 0) << arg;
        EXPECT_TRUE(s.buttonCaption.empty()) << arg;
    }
}

TEST(Twips, PositionsGoToTheNearestPixelAndBackWithinTheFileRange) {
    EXPECT_EQ(twipsToPixels(1150, 96), 77); // 76.67
    EXPECT_EQ(twipsToPixels(1250, 96), 83); // 83.33
    EXPECT_EQ(twipsToPixels(1440, 144), 144);
    EXPECT_EQ(twipsToPixels(-1440, 96), -96);
    EXPECT_EQ(pixelsToTwips(77, 96), 1155);
    EXPECT_EQ(pixelsToTwips(100, 144), 1000);
    EXPECT_EQ(pixelsToTwips(-10, 96), -150);
    // 1 pixel at 2880 dpi is half a twip; halves go to the even neighbour.
    EXPECT_EQ(pixelsToTwips(1, 2880), 0);
    EXPECT_EQ(pixelsToTwips(3, 2880), 2);
    EXPECT_EQ(pixelsToTwips(5, 2880), 2);
    EXPECT_EQ(pixelsToTwips(100000, 96), 32767);
    EXPECT_EQ(pixelsToTwips(-100000, 96), -32768);
    // A nonsense resolution counts as 96 dpi.
    EXPECT_EQ(twipsToPixels(1440, 0), 96);
    EXPECT_EQ(pixelsToTwips(96, -1), 1440);
}

TEST(Twips, AnUnmovedWindowKeepsItsTwipsExactly) {
    EXPECT_EQ(twipsToKeep(1150, 77, 96), 1150);
    EXPECT_EQ(twipsToKeep(1250, 83, 96), 1250);
    EXPECT_EQ(twipsToKeep(1150, 78, 96), 1170); // moved by one pixel
}

} // namespace
} // namespace kesto
