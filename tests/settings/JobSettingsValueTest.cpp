#include "settings/JobSettings.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kesto {
namespace {

TEST(ShortDecimal, WritesFactorsWithoutLeadingZeroAndAtMostSevenDigits) {
    EXPECT_EQ(shortDecimal(0.17f), ".17");
    EXPECT_EQ(shortDecimal(0.11f), ".11");
    EXPECT_EQ(shortDecimal(-0.2f), "-.2");
    EXPECT_EQ(shortDecimal(1.5f), "1.5");
    EXPECT_EQ(shortDecimal(0.0f), "0");
    EXPECT_EQ(shortDecimal(-0.0f), "0");
    EXPECT_EQ(shortDecimal(12.0f), "12");
    EXPECT_EQ(shortDecimal(1.0f / 3.0f), ".3333333");
    EXPECT_EQ(shortDecimal(123456789.0f), "123456800");
    EXPECT_EQ(shortDecimal(0.0000125f), ".0000125");
}

TEST(FieldDecimal, ShowsFactorsWithALeadingZero) {
    EXPECT_EQ(fieldDecimal(0.17f), "0.17");
    EXPECT_EQ(fieldDecimal(-0.2f), "-0.2");
    EXPECT_EQ(fieldDecimal(2.25f), "2.25");
    EXPECT_EQ(fieldDecimal(0.0f), "0");
}

TEST(ShortDecimal, TextReadsBackAsTheSameFloat) {
    for (float f : {0.17f, -0.2f, 0.11f, 1.5f, 100.25f, -0.0000125f, 0.1f, 7.0e20f}) {
        EXPECT_EQ(static_cast<float>(leadingNumber(shortDecimal(f))), f) << shortDecimal(f);
        EXPECT_EQ(static_cast<float>(leadingNumber(fieldDecimal(f))), f) << fieldDecimal(f);
    }
}

TEST(LeadingNumber, TakesTheLongestDecimalPrefixAfterSpaces) {
    EXPECT_EQ(leadingNumber("  12abc"), 12);
    EXPECT_EQ(leadingNumber("abc"), 0);
    EXPECT_EQ(leadingNumber(""), 0);
    EXPECT_EQ(leadingNumber(".17"), 0.17);
    EXPECT_EQ(leadingNumber("-.2"), -0.2);
    EXPECT_EQ(leadingNumber("+3"), 3);
    EXPECT_EQ(leadingNumber("1.5.6"), 1.5);
    EXPECT_EQ(leadingNumber("7."), 7);
    EXPECT_EQ(leadingNumber("1e5"), 1);
    EXPECT_EQ(leadingNumber("-"), 0);
    EXPECT_EQ(leadingNumber("."), 0);
    EXPECT_EQ(leadingNumber("- 5"), 0);
    EXPECT_EQ(leadingNumber("\t5"), 0);
    EXPECT_EQ(leadingNumber("0." + std::string(400, '0') + "1"), 0);
    EXPECT_TRUE(std::isinf(leadingNumber(std::string(400, '9'))));
}

TEST(SetSettingByKey, FactorsMustBeNumbersAsAWhole) {
    JobSettings s;
    EXPECT_TRUE(setSettingByKey(s, "MojiW", "0.25"));
    EXPECT_EQ(s.MojiW, 0.25f);
    EXPECT_TRUE(setSettingByKey(s, "MojiX", "-0.2"));
    EXPECT_EQ(s.MojiX, -0.2f);
    EXPECT_TRUE(setSettingByKey(s, "MojiY", "1e-1"));
    EXPECT_EQ(s.MojiY, 0.1f);
    EXPECT_TRUE(setSettingByKey(s, "MojiH", ".5"));
    EXPECT_EQ(s.MojiH, 0.5f);

    for (const char* bad : {"abc", "", "0.1x", "nan", "inf", "1e60", "--1"}) {
        std::string error;
        EXPECT_FALSE(setSettingByKey(s, "MojiW", bad, &error)) << bad;
        EXPECT_NE(error.find("漢字幅変更倍率"), std::string::npos) << error;
        EXPECT_NE(error.find("数値ではありません"), std::string::npos) << error;
    }
    EXPECT_EQ(s.MojiW, 0.25f);
}

TEST(SetSettingByKey, PositionsMustBeWholeNumbersIn16Bits) {
    JobSettings s;
    EXPECT_TRUE(setSettingByKey(s, "OfiTop", "-60"));
    EXPECT_EQ(s.OfiTop, -60);
    EXPECT_TRUE(setSettingByKey(s, "PrnLeft", "32767"));
    EXPECT_EQ(s.PrnLeft, 32767);
    EXPECT_TRUE(setSettingByKey(s, "FilTop", "-32768"));
    EXPECT_EQ(s.FilTop, -32768);
    for (const char* bad : {"32768", "-32769", "1.5", "", "12px"}) {
        std::string error;
        EXPECT_FALSE(setSettingByKey(s, "OfiLeft", bad, &error)) << bad;
        EXPECT_NE(error.find("画面1の左右位置"), std::string::npos) << error;
    }
    EXPECT_EQ(s.OfiLeft, 1150);
}

TEST(SetSettingByKey, TextValuesAreTakenAsTheyAre) {
    JobSettings s;
    EXPECT_TRUE(setSettingByKey(s, "Hprn", "HP Plotter"));
    EXPECT_EQ(s.Hprn, "HP Plotter");
    EXPECT_EQ(s.Plot, "A0ﾌﾟﾛｯﾀ");
    EXPECT_TRUE(setSettingByKey(s, "OfiFMen", "自動"));
    EXPECT_EQ(s.OfiFMen, "自動");
    EXPECT_TRUE(setSettingByKey(s, "LineL", " 3"));
    EXPECT_EQ(s.LineL, " 3");
}

TEST(SetSettingByKey, RefusesUnknownKeysLineBreaksAndUnwritableCharacters) {
    JobSettings s;
    std::string error;
    EXPECT_FALSE(setSettingByKey(s, "Colour", "red", &error));
    EXPECT_NE(error.find("Colour"), std::string::npos);
    EXPECT_FALSE(setSettingByKey(s, "plot", "A1ﾌﾟﾛｯﾀ", &error));
    EXPECT_FALSE(setSettingByKey(s, "Hprn", "x\r\nOfiFile=C:\\", &error));
    EXPECT_FALSE(setSettingByKey(s, "OfiFile", "/home/josé", &error));
    EXPECT_EQ(s.Hprn, "");
}

TEST(SettingText, ShowsEveryKeyAsTheWindowDoes) {
    const JobSettings s = defaultSettings("F:\\PLOT");
    EXPECT_EQ(settingText(s, "OfiFile"), "F:\\PLOT");
    EXPECT_EQ(settingText(s, "MojiW"), "0.17");
    EXPECT_EQ(settingText(s, "MojiY"), "-0.2");
    EXPECT_EQ(settingText(s, "OfiLeft"), "1150");
    EXPECT_EQ(settingText(s, "MojiE"), "半角");
    EXPECT_EQ(settingText(s, "Nothing"), std::nullopt);
    ASSERT_EQ(settingKeys().size(), 32u);
    EXPECT_EQ(settingKeys().front(), "OfiFile");
    EXPECT_EQ(settingKeys().back(), "PrnLeft");
    for (auto key : settingKeys()) {
        JobSettings copy = s;
        EXPECT_TRUE(setSettingByKey(copy, key, *settingText(s, key))) << key;
        EXPECT_EQ(settingText(copy, key), settingText(s, key)) << key;
    }
}

} // namespace
} // namespace kesto
