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

TEST(SettingCycles, EveryLabelRepairsATextThatIsNotOneOfItsChoices) {
    EXPECT_EQ(nextRotation("180"), "90");
    EXPECT_EQ(nextRotation(" 90"), "90");
    // A pen steps its leading number up; only exactly "15" wraps.
    EXPECT_EQ(nextPen("99"), "100");
    EXPECT_EQ(nextPen("abc"), "1");
    EXPECT_EQ(nextPen(""), "1");
    EXPECT_EQ(nextPen("-3"), "2"); // -2, its minus sign dropped
    EXPECT_EQ(nextPen(" 5"), "6");
    EXPECT_EQ(nextPen("7x"), "8");
    EXPECT_EQ(nextPen("1.5"), "2.5");
    EXPECT_EQ(nextPen("15 "), "16");
    EXPECT_EQ(nextReduction("a4"), "A4");
    EXPECT_EQ(nextReduction(""), "A4");
    EXPECT_EQ(nextCharacterSet("x"), "半角");
    EXPECT_EQ(nextFileSelection(""), "手動");
    EXPECT_EQ(nextFinishedHandling("?"), "保存");
    EXPECT_EQ(nextOutput("ﾌｧｲﾙ"), "ﾌﾟﾛｯﾀ");
    EXPECT_EQ(nextOutput("プロッタ"), "ﾌﾟﾛｯﾀ"); // the full-width spelling is not the word
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

// How the argument is read is the job run's (tested there); the window adds
// the button's caption, in whole seconds of an interval kept in 16 bits.
TEST(WindowStart, TheButtonShowsHowTheWindowStarts) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"Auto", ""},
        {"auto", "自動"},
        {"AUTO30", "自動\n 30秒"},
        {"AUTO0.5", "自動\n 0秒"},
        {"AUTO-5", "自動\n 0秒"},
        {"AUTO100", "自動\n 65秒"},
    };
    for (const auto& [argument, caption] : cases)
        EXPECT_EQ(windowStartFor(argument).buttonCaption, caption) << argument;
    EXPECT_EQ(windowStartFor("AUTO99999999999999999999").pollingMs, 65535);
    EXPECT_EQ(windowStartFor("AUTO1.0625").pollingMs, 1062); // 1062.5: halves to even
    EXPECT_EQ(windowStartFor("AUTO1.1875").pollingMs, 1188);
}

// The window tests cover the ordinary positions and an unmoved window.
TEST(Twips, PositionsRoundHalvesToEvenAndStayWithinTheFileRange) {
    EXPECT_EQ(twipsToPixels(1250, 96), 83); // 83.33
    EXPECT_EQ(twipsToPixels(1255, 96), 84); // 83.67: above a half goes up, not down
    EXPECT_EQ(twipsToPixels(-1255, 96), -84);
    EXPECT_EQ(pixelsToTwips(2, 1000), 3); // 2.88
    EXPECT_EQ(pixelsToTwips(-2, 1000), -3);
    EXPECT_EQ(twipsToPixels(-1440, 96), -96);
    EXPECT_EQ(pixelsToTwips(100, 144), 1000);
    // 1 pixel at 2880 dpi is half a twip.
    EXPECT_EQ(pixelsToTwips(1, 2880), 0);
    EXPECT_EQ(pixelsToTwips(3, 2880), 2);
    EXPECT_EQ(pixelsToTwips(5, 2880), 2);
    EXPECT_EQ(pixelsToTwips(100000, 96), 32767);
    EXPECT_EQ(pixelsToTwips(-100000, 96), -32768);
    // A nonsense resolution counts as 96 dpi.
    EXPECT_EQ(twipsToPixels(1440, 0), 96);
    EXPECT_EQ(pixelsToTwips(96, -1), 1440);
    EXPECT_EQ(twipsToKeep(1150, 78, 96), 1170); // moved by one pixel
}

} // namespace
} // namespace kesto
