#include "ui/logic/SettingCycles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kesto {
namespace {

TEST(SettingCycles, RotationTogglesBetweenNinetyAndZeroAndRepairsAnythingElse) {
    EXPECT_EQ(nextRotation("90"), "0");
    EXPECT_EQ(nextRotation("0"), "90");
    EXPECT_EQ(nextRotation("180"), "90");
    EXPECT_EQ(nextRotation(""), "90");
    EXPECT_EQ(nextRotation(" 90"), "90");
}

TEST(SettingCycles, PenCountsUpToFifteenAndWrapsToZero) {
    std::string pen = "0";
    std::vector<std::string> seen;
    for (int i = 0; i < 16; ++i) {
        pen = nextPen(pen);
        seen.push_back(pen);
    }
    EXPECT_EQ(seen.front(), "1");
    EXPECT_EQ(seen[13], "14");
    EXPECT_EQ(seen[14], "15");
    EXPECT_EQ(seen.back(), "0");
}

TEST(SettingCycles, PenBeyondFifteenKeepsCountingAndNeverWraps) {
    EXPECT_EQ(nextPen("20"), "21");
    EXPECT_EQ(nextPen("21"), "22");
    EXPECT_EQ(nextPen("99"), "100");
}

TEST(SettingCycles, PenOfOddTextsFollowsTheLeadingNumber) {
    EXPECT_EQ(nextPen("abc"), "1");
    EXPECT_EQ(nextPen(""), "1");
    EXPECT_EQ(nextPen("-3"), "2"); // -2, its minus sign dropped
    EXPECT_EQ(nextPen(" 5"), "6");
    EXPECT_EQ(nextPen("7x"), "8");
    EXPECT_EQ(nextPen("1.5"), "2.5");
    EXPECT_EQ(nextPen("15 "), "16"); // only exactly "15" wraps
}

TEST(SettingCycles, PenResetCoversFivePens) {
    EXPECT_EQ(kPenReset.size(), 5u);
    EXPECT_EQ(kPenReset[0], "3");
    EXPECT_EQ(kPenReset[1], "2");
    EXPECT_EQ(kPenReset[2], "1");
    EXPECT_EQ(kPenReset[3], "1");
    EXPECT_EQ(kPenReset[4], "1");
}

TEST(SettingCycles, ReductionRunsThroughThePapersAndBackToFullSize) {
    std::string r = "100";
    std::vector<std::string> seen;
    for (int i = 0; i < 5; ++i) {
        r = nextReduction(r);
        seen.push_back(r);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"A4", "A3", "A2", "A1", "100"}));
    EXPECT_EQ(nextReduction("75"), "A4");
    EXPECT_EQ(nextReduction("a4"), "A4");
    EXPECT_EQ(nextReduction(""), "A4");
}

TEST(SettingCycles, TwoWayChoicesToggleAndRepairUnknownTexts) {
    EXPECT_EQ(nextCharacterSet("半角"), "全角");
    EXPECT_EQ(nextCharacterSet("全角"), "半角");
    EXPECT_EQ(nextCharacterSet("x"), "半角");
    EXPECT_EQ(nextFileSelection("手動"), "自動");
    EXPECT_EQ(nextFileSelection("自動"), "手動");
    EXPECT_EQ(nextFileSelection(""), "手動");
    EXPECT_EQ(nextFinishedHandling("保存"), "消去");
    EXPECT_EQ(nextFinishedHandling("消去"), "保存");
    EXPECT_EQ(nextFinishedHandling("?"), "保存");
    EXPECT_EQ(nextOutput("ﾌﾟﾛｯﾀ"), "ﾌｧｲﾙ");
    EXPECT_EQ(nextOutput("ﾌｧｲﾙ"), "ﾌﾟﾛｯﾀ");
    // The full-width spelling is not the setting's word.
    EXPECT_EQ(nextOutput("プロッタ"), "ﾌﾟﾛｯﾀ");
}

TEST(SettingCycles, PlotterPresetSwitchesSizeAndRewritesEveryRotation) {
    const PlotterFields a1{"A1ﾌﾟﾛｯﾀ", {"x", "x", "x", "x", "x", "x", "x"}};
    const PlotterFields toA0 = nextPlotter(a1);
    EXPECT_EQ(toA0, (PlotterFields{"A0ﾌﾟﾛｯﾀ", {"0", "90", "0", "0", "90", "0", "90"}}));

    const PlotterFields toA1 = nextPlotter(toA0);
    EXPECT_EQ(toA1, (PlotterFields{"A1ﾌﾟﾛｯﾀ", {"90", "0", "90", "90", "0", "90", "90"}}));
    EXPECT_EQ(toA1.rotations[6], "90"); // A0 stands turned on both plotters
}

TEST(SettingCycles, PlotterPresetLeavesAnUnknownPlotterAlone) {
    const PlotterFields odd{"A2ﾌﾟﾛｯﾀ", {"90", "0", "0", "90", "0", "0", "0"}};
    EXPECT_EQ(nextPlotter(odd), odd);
    const PlotterFields fullWidth{"Ａ０ﾌﾟﾛｯﾀ", {"1", "2", "3", "4", "5", "6", "7"}};
    EXPECT_EQ(nextPlotter(fullWidth), fullWidth);
}

} // namespace
} // namespace kesto
