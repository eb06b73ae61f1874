#include "settings/JobSettings.h"
#include "settings/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <utility>

namespace kesto {
namespace {

TEST(Decimals, FileDropsTheLeadingZeroFieldKeepsItAndBothReadBackAsTheSameFloat) {
    EXPECT_EQ(shortDecimal(0.17f), ".17");
    EXPECT_EQ(shortDecimal(-0.2f), "-.2");
    EXPECT_EQ(shortDecimal(1.5f), "1.5");
    EXPECT_EQ(shortDecimal(-0.0f), "0");
    EXPECT_EQ(shortDecimal(12.0f), "12");
    EXPECT_EQ(shortDecimal(1.0f / 3.0f), ".3333333");
    EXPECT_EQ(shortDecimal(123456789.0f), "123456800");
    EXPECT_EQ(fieldDecimal(0.17f), "0.17");
    EXPECT_EQ(fieldDecimal(-0.2f), "-0.2");
    EXPECT_EQ(fieldDecimal(0.0f), "0");
    for (float f : {0.17f, -0.2f, 0.11f, 1.5f, 100.25f, -0.0000125f, 0.1f, 7.0e20f}) {
        EXPECT_EQ(static_cast<float>(leadingNumber(shortDecimal(f))), f) << shortDecimal(f);
        EXPECT_EQ(static_cast<float>(leadingNumber(fieldDecimal(f))), f) << fieldDecimal(f);
    }
}

TEST(LeadingNumber, TakesTheLongestDecimalPrefixAfterSpaces) {
    const std::pair<std::string, double> cases[] = {
        {"  12abc", 12}, {"abc", 0},
        {"", 0},         {".17", 0.17},
        {"-.2", -0.2},   {"+3", 3},
        {"1.5.6", 1.5},  {"7.", 7},
        {"1e5", 1},      {"-", 0},
        {".", 0},        {"- 5", 0},
        {"\t5", 0},      {"0." + std::string(400, '0') + "1", 0}};
    for (const auto& [text, value] : cases)
        EXPECT_EQ(leadingNumber(text), value) << text;
    EXPECT_TRUE(std::isinf(leadingNumber(std::string(400, '9'))));
}

TEST(SetSettingByKey, FactorsAndPositionsMustBeNumbersAsAWholeAndTheRefusalNamesTheField) {
    JobSettings s;
    EXPECT_TRUE(setSettingByKey(s, "MojiW", "0.25"));
    EXPECT_TRUE(setSettingByKey(s, "MojiY", "1e-1"));
    EXPECT_TRUE(setSettingByKey(s, "MojiH", ".5"));
    EXPECT_TRUE(setSettingByKey(s, "OfiTop", "-60"));
    EXPECT_TRUE(setSettingByKey(s, "PrnLeft", "32767"));
    EXPECT_TRUE(setSettingByKey(s, "FilTop", "-32768"));
    EXPECT_EQ(std::tie(s.MojiW, s.MojiY, s.MojiH), std::make_tuple(0.25f, 0.1f, 0.5f));
    EXPECT_EQ(std::tie(s.OfiTop, s.PrnLeft, s.FilTop), std::make_tuple(-60, 32767, -32768));
    std::string error;
    for (const char* bad : {"abc", "", "0.1x", "nan", "inf", "1e60", "--1"}) {
        error = setSettingByKey(s, "MojiW", bad).reason();
        EXPECT_FALSE(error.empty()) << bad;
        EXPECT_NE(error.find("漢字幅変更倍率"), std::string::npos) << error;
        EXPECT_NE(error.find("数値ではありません"), std::string::npos) << error;
    }
    for (const char* bad : {"32768", "-32769", "1.5", "", "12px"}) {
        error = setSettingByKey(s, "OfiLeft", bad).reason();
        EXPECT_FALSE(error.empty()) << bad;
        EXPECT_NE(error.find("画面1の左右位置"), std::string::npos) << error;
    }
    EXPECT_EQ(std::tie(s.MojiW, s.OfiLeft), std::make_tuple(0.25f, 1150));
}

TEST(SetSettingByKey, RefusesUnknownKeysLineBreaksAndUnwritableCharacters) {
    JobSettings s;
    std::string error;
    error = setSettingByKey(s, "Colour", "red").reason();
    EXPECT_FALSE(error.empty());
    EXPECT_NE(error.find("Colour"), std::string::npos);
    error = setSettingByKey(s, "plot", "A1ﾌﾟﾛｯﾀ").reason();
    EXPECT_FALSE(error.empty());
    error = setSettingByKey(s, "Hprn", "x\r\nOfiFile=C:\\").reason();
    EXPECT_FALSE(error.empty());
    error = setSettingByKey(s, "OfiFile", "/home/josé").reason();
    EXPECT_FALSE(error.empty());
    EXPECT_NE(error.find("é"), std::string::npos) << error;
    error = setSettingByKey(s, "Hprn", "HP  Plotter").reason();
    EXPECT_FALSE(error.empty());
    EXPECT_NE(error.find("出力先プリンタ名"), std::string::npos) << error;
    EXPECT_EQ(s.Hprn, "");
}

TEST(SettingText, ShowsEveryKeyAsTheWindowDoesAndSetsItBackUnchanged) {
    const JobSettings s = defaultSettings("F:\\PLOT");
    EXPECT_EQ(settingText(s, "MojiW"), "0.17");
    EXPECT_EQ(settingText(s, "OfiLeft"), "1150");
    EXPECT_EQ(settingText(s, "Nothing"), std::nullopt);
    ASSERT_EQ(settingKeys().size(), 32u);
    for (auto key : settingKeys()) {
        JobSettings copy = s;
        EXPECT_TRUE(setSettingByKey(copy, key, *settingText(s, key))) << key;
        EXPECT_EQ(settingText(copy, key), settingText(s, key)) << key;
    }
}

} // namespace
} // namespace kesto
