#include "settings/Cp932.h"
#include "settings/JobSettings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <limits>
#include <string_view>

namespace kesto {
namespace {

namespace fs = std::filesystem;

// The default record written for the folder F:\PLOT, in Shift-JIS with CR LF.
const std::string kDefaultFileForFPlot =
    "*****************************************************************************\r\n"
    "*                                                                           *\r\n"
    "*  \x82y\x82t\x82m\x82`\x81|\x82g\x82o\x82"
    "f\x82k\x8Fo\x90}\x81iKesto.EXE)\x83v\x83\x8D\x83O\x83\x89\x83\x80                             "
    "*\r\n"
    "*                                                                           *\r\n"
    "*****************************************************************************\r\n"
    "OfiFile=F:\\PLOT        * \x82n\x82"
    "e\x82h \x83t\x83@\x83"
    "C\x83\x8B\x82\xCC\x8F\xEA\x8F\x8A\r\n"
    "OfiA4V=90                 * \x82`\x82S \x8F"
    "c\x82\xCC\x89\xF1\x93]\x97\xCA\r\n"
    "OfiA4H=0                  * \x82`\x82S \x89\xA1\x82\xCC\x89\xF1\x93]\x97\xCA\r\n"
    "OfiA3=0                   * \x82`\x82R \x89\xA1\x82\xCC\x89\xF1\x93]\x97\xCA\r\n"
    "OfiA2V=90                 * \x82`\x82Q \x8F"
    "c\x82\xCC\x89\xF1\x93]\x97\xCA\r\n"
    "OfiA2H=0                  * \x82`\x82Q \x89\xA1\x82\xCC\x89\xF1\x93]\x97\xCA\r\n"
    "OfiA1=0                   * \x82`\x82P \x89\xA1\x82\xCC\x89\xF1\x93]\x97\xCA\r\n"
    "OfiA0=0                   * \x82`\x82O\r\n"
    "Plot=A0\xCC\xDF\xDB\xAF\xC0              * \x83v\x83\x8D\x83"
    "b\x83^\x81[\x83T\x83"
    "C\x83Y\r\n"
    "LineL=3                   * \x91\xBE\x90\xFC\x82\xCC\x83y\x83\x93\x82m\x82\x8F\r\n"
    "LineM=2                   * \x92\x86\x90\xFC\x82\xCC\x83y\x83\x93\x82m\x82\x8F\r\n"
    "LineS=1                   * \x8D\xD7\x90\xFC\x82\xCC\x83y\x83\x93\x82m\x82\x8F\r\n"
    "LineT=1                   * \x92\x8D\x8BL\x82\xCC\x83y\x83\x93\x82m\x82\x8F\r\n"
    "LineP=1                   * \x83p\x83^-\x83\x93\x82\xCC\x83y\x83\x93\x82m\x82\x8F\r\n"
    "LineD=2                   * \x94j\x92"
    "f\x90\xFC\x82\xCC\x83y\x83\x93\x82m\x82\x8F\r\n"
    "OfiS=100                  * \x8Fk\x8F\xAC\x97\xA6\r\n"
    "MojiK=\x91S\x8Ap                * \x83J\x83^\x83J\x83i\x95\xB6\x8E\x9A\x83Z\x83"
    "b\x83g\r\n"
    "MojiE=\x94\xBC\x8Ap                * \x89p\x90\x94\x8BL\x8D\x86\x95\xB6\x8E\x9A\x83Z\x83"
    "b\x83g\r\n"
    "MojiW=.17                 * \x8A\xBF\x8E\x9A\x95\x9D\x95\xCF\x8DX\x94{\x97\xA6\r\n"
    "MojiH=.11                 * \x8A\xBF\x8E\x9A\x8D\x82\x82\xB3\x95\xCF\x8DX\x94{\x97\xA6\r\n"
    "MojiX=-.2                 * \x8A\xBF\x8E\x9A\x82w\x8D\xC0\x95W\x95\xCF\x8DX\x94{\x97\xA6\r\n"
    "MojiY=-.2                 * \x8A\xBF\x8E\x9A\x82x\x8D\xC0\x95W\x95\xCF\x8DX\x94{\x97\xA6\r\n"
    "OfiFMen=\x8E\xE8\x93\xAE              * \xCC\xA7\xB2\xD9\x91I\x91\xF0\x95\xFB\x96@\r\n"
    "OfiFEnd=\x95\xDB\x91\xB6              * "
    "\x8FI\x97\xB9\xCC\xA7\xB2\xD9\x82\xCC\x8F\x88\x97\x9D\r\n"
    "OfiOut=\xCC\xDF\xDB\xAF\xC0              * "
    "GLF\xCC\xA7\xB2\xD9\x82\xCC\x8Fo\x97\xCD\x90\xE6\r\n"
    "Hprn=  * \x8Fo\x97\xCD\x90\xE6\x83v\x83\x8A\x83\x93\x83^\x96\xBC\r\n"
    "OfiTop=1250               * \x89\xE6\x96\xCA"
    "1\x82\xCC\x8F\xE3\x89\xBA\x88\xCA\x92u\r\n"
    "OfiLeft=1150              * \x89\xE6\x96\xCA"
    "1\x82\xCC\x8D\xB6\x89"
    "E\x88\xCA\x92u\r\n"
    "FilTop=1250               * \x89\xE6\x96\xCA"
    "2\x82\xCC\x8F\xE3\x89\xBA\x88\xCA\x92u\r\n"
    "FilLeft=1150              * \x89\xE6\x96\xCA"
    "2\x82\xCC\x8D\xB6\x89"
    "E\x88\xCA\x92u\r\n"
    "PrnTop=1250               * \x89\xE6\x96\xCA"
    "4\x82\xCC\x8F\xE3\x89\xBA\x88\xCA\x92u\r\n"
    "PrnLeft=1150              * \x89\xE6\x96\xCA"
    "4\x82\xCC\x8D\xB6\x89"
    "E\x88\xCA\x92u\r\n";

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("kesto-settings-" +
                   std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path file() const { return folder_ / "Kesto.sys"; }

    void writeFile(std::string_view bytes) const {
        std::ofstream out(file(), std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    // A file made of the given lines (UTF-8, each given its CR LF here).
    void writeLines(std::initializer_list<std::string_view> lines) const {
        std::string bytes;
        for (auto line : lines)
            bytes += *utf8ToCp932(line) + "\r\n";
        writeFile(bytes);
    }
    std::string readFile() const {
        std::ifstream in(file(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    JobSettings load() const { return LoadSettings(folder_); }

    fs::path folder_;
};

void expectSameValues(const JobSettings& a, const JobSettings& b) {
    for (auto key : settingKeys())
        EXPECT_EQ(settingText(a, key), settingText(b, key)) << key;
    EXPECT_EQ(a.MojiW, b.MojiW);
    EXPECT_EQ(a.MojiH, b.MojiH);
    EXPECT_EQ(a.MojiX, b.MojiX);
    EXPECT_EQ(a.MojiY, b.MojiY);
}

TEST(SettingsFileBytes, DefaultRecordForFPlotGivesTheKnownFileByteForByte) {
    EXPECT_EQ(settingsFileBytes(defaultSettings("F:\\PLOT")), kDefaultFileForFPlot);
}

TEST(SettingsFileBytes, CommentsStartInByteColumn27WithTheOfferedValues) {
    JobSettings s = defaultSettings("F:\\PLOT");
    s.Plot = "A1ﾌﾟﾛｯﾀ";
    s.LineL = "15";
    s.MojiK = "半角";
    s.OfiFMen = "自動";
    s.OfiFEnd = "消去";
    s.OfiOut = "ﾌｧｲﾙ";
    s.OfiS = "A4";
    const std::string bytes = settingsFileBytes(s);
    std::string_view rest = bytes;
    int keyLines = 0;
    for (int n = 0; !rest.empty(); ++n) {
        const auto end = rest.find("\r\n");
        const auto line = rest.substr(0, end);
        rest.remove_prefix(end + 2);
        if (n < 5 || line.starts_with("OfiFile=") || line.starts_with("Hprn=")) continue;
        ++keyLines;
        EXPECT_EQ(line.find("* "), 26u) << line;
    }
    EXPECT_EQ(keyLines, 30);
}

TEST_F(SettingsFile, MissingFileGivesTheDefaultsWithTheProgramFolder) {
    const JobSettings s = load();
    expectSameValues(s, defaultSettings(folder_));
    EXPECT_EQ(s.OfiFile, folder_.string());
    EXPECT_EQ(s.Plot, "A0ﾌﾟﾛｯﾀ");
    EXPECT_EQ(s.MojiW, 0.17f);
    EXPECT_EQ(s.OfiTop, 1250);
    EXPECT_TRUE(s.originalBytes.empty());
}

TEST_F(SettingsFile, SavedDefaultsReadBackAsTheSameRecord) {
    JobSettings s = defaultSettings("/srv/plot");
    ASSERT_TRUE(SaveSettings(folder_, s));
    const JobSettings back = load();
    expectSameValues(back, s);
    EXPECT_EQ(back.MojiX, -0.2f);
    EXPECT_EQ(back.MojiK, "全角");
    EXPECT_EQ(back.OfiOut, "ﾌﾟﾛｯﾀ");
}

TEST_F(SettingsFile, ChangedValuesSurviveASaveAndALoad) {
    JobSettings s = defaultSettings(folder_);
    s.OfiFile = "/srv/図面/出図";
    s.Hprn = "HP Design Jet 750C";
    s.LineL = " 3";
    s.OfiS = "";
    s.MojiW = 1.5f;
    s.MojiH = -0.03125f;
    s.MojiY = 0.000012f;
    s.PrnLeft = -60;
    s.FilTop = -32768;
    ASSERT_TRUE(SaveSettings(folder_, s));
    expectSameValues(load(), s);
}

TEST_F(SettingsFile, ValueLongerThanItsColumnKeepsTwoSpacesAndReadsBackUnchanged) {
    JobSettings s = defaultSettings(folder_);
    s.OfiS = "123456789012345678901234";        // 24 characters for a width of 21
    s.OfiFMen = "全角全角全角全角全角全角全角"; // 14 full-width for a width of 16
    const std::string bytes = settingsFileBytes(s);
    EXPECT_NE(bytes.find("OfiS=123456789012345678901234  * "), std::string::npos);
    EXPECT_NE(bytes.find(*utf8ToCp932("OfiFMen=全角全角全角全角全角全角全角  * ")),
              std::string::npos);
    ASSERT_TRUE(SaveSettings(folder_, s));
    const JobSettings back = load();
    EXPECT_EQ(back.OfiS, s.OfiS);
    EXPECT_EQ(back.OfiFMen, s.OfiFMen);
}

TEST_F(SettingsFile, KeyIsTheWholeTextBeforeTheEqualsSign) {
    writeLines({
        "Hprn=HP Plotter  * 出力先プリンタ名",
        "LineL=Plot  * 太線のペンＮｏ",
        "Plot ist hier=A1ﾌﾟﾛｯﾀ  * not a key",
        "lineM=7  * wrong case",
        "OfiA0 without an equals sign",
        "",
        "MojiK=半角  * カタカナ文字セット",
    });
    const JobSettings s = load();
    EXPECT_EQ(s.Hprn, "HP Plotter");
    EXPECT_EQ(s.Plot, "A0ﾌﾟﾛｯﾀ");
    EXPECT_EQ(s.LineL, "Plot");
    EXPECT_EQ(s.LineM, "2");
    EXPECT_EQ(s.MojiK, "半角");
}

TEST_F(SettingsFile, ValueIsTakenExactlyUpToTheFirstTwoSpaces) {
    writeLines({
        "Hprn=  * 出力先プリンタ名",
        "LineL= 3                  * leading space kept",
        "LineM=1 2  * a single space inside is kept",
        "OfiFile=C:\\My  Plots  * cut at the two spaces",
        "OfiS=A3",
    });
    const JobSettings s = load();
    EXPECT_EQ(s.Hprn, "");
    EXPECT_EQ(s.LineL, " 3");
    EXPECT_EQ(s.LineM, "1 2");
    EXPECT_EQ(s.OfiFile, "C:\\My");
    EXPECT_EQ(s.OfiS, "A3");
}

TEST_F(SettingsFile, KeyLineWithoutTwoSpacesTakesTheRestAndReadingGoesOn) {
    writeLines({
        "LineL=5",
        "LineM=6 with a comment",
        "OfiTop=-60",
        "MojiW=2.5x",
        "PrnLeft=40  * still read",
    });
    const JobSettings s = load();
    EXPECT_EQ(s.LineL, "5");
    EXPECT_EQ(s.LineM, "6 with a comment");
    EXPECT_EQ(s.OfiTop, -60);
    EXPECT_EQ(s.MojiW, 2.5f);
    EXPECT_EQ(s.PrnLeft, 40);
}

TEST_F(SettingsFile, LastLineWithoutLineEndAndBareLineFeedsAreRead) {
    writeFile("LineS=4  *\nLineT=9");
    const JobSettings s = load();
    EXPECT_EQ(s.LineS, "4");
    EXPECT_EQ(s.LineT, "9");
}

TEST_F(SettingsFile, PositionsRoundHalvesToTheEvenNeighbour) {
    writeLines({
        "OfiTop=0.5  *",
        "OfiLeft=1.5  *",
        "FilTop=2.5  *",
        "FilLeft=-2.5  *",
        "PrnTop=2.51  *",
        "PrnLeft= 12abc  *",
    });
    const JobSettings s = load();
    EXPECT_EQ(s.OfiTop, 0);
    EXPECT_EQ(s.OfiLeft, 2);
    EXPECT_EQ(s.FilTop, 2);
    EXPECT_EQ(s.FilLeft, -2);
    EXPECT_EQ(s.PrnTop, 3);
    EXPECT_EQ(s.PrnLeft, 12);
}

TEST_F(SettingsFile, PositionBeyond16BitsKeepsItsDefaultAndReadingGoesOn) {
    writeLines({
        "OfiTop=32768  *",
        "OfiLeft=-32768  *",
        "FilTop=32767.5  *",
        "FilLeft=-32769  *",
        "PrnTop=32767.4  *",
        "LineD=7  *",
    });
    const JobSettings s = load();
    EXPECT_EQ(s.OfiTop, 1250);
    EXPECT_EQ(s.OfiLeft, -32768);
    EXPECT_EQ(s.FilTop, 1250);
    EXPECT_EQ(s.FilLeft, 1150);
    EXPECT_EQ(s.PrnTop, 32767);
    EXPECT_EQ(s.LineD, "7");
}

TEST_F(SettingsFile, HugeFactorKeepsItsDefault) {
    writeLines({"MojiH=" + std::string(400, '9') + "  *"});
    EXPECT_EQ(load().MojiH, 0.11f);
}

TEST_F(SettingsFile, FactorsReadTheirShortForm) {
    writeLines({"MojiW=.17  *", "MojiH=-.5  *", "MojiX=abc  *", "MojiY= 3.25e2  *"});
    const JobSettings s = load();
    EXPECT_EQ(s.MojiW, 0.17f);
    EXPECT_EQ(s.MojiH, -0.5f);
    EXPECT_EQ(s.MojiX, 0.0f);
    EXPECT_EQ(s.MojiY, 3.25f);
}

TEST_F(SettingsFile, LaterLineOfTheSameKeyWins) {
    writeLines({"LineP=4  *", "LineP=8  *"});
    EXPECT_EQ(load().LineP, "8");
}

TEST_F(SettingsFile, NecDuplicateBytesAreWrittenBackWhenTheValueIsUnchanged) {
    // 87 90 is the NEC code of "≒"; the plain way back would give 81 E0.
    writeFile("Hprn=Plotter\x87\x90"
              "A  * x\r\nLineL=\x87\x90  *\r\n");
    JobSettings s = load();
    EXPECT_EQ(s.Hprn, "Plotter≒A");
    EXPECT_NE(settingsFileBytes(s).find("Hprn=Plotter\x87\x90"
                                        "A  * "),
              std::string::npos);

    ASSERT_TRUE(setSettingByKey(s, "LineL", "≒")); // the same text again: still unchanged
    EXPECT_NE(settingsFileBytes(s).find("LineL=\x87\x90 "), std::string::npos);

    ASSERT_TRUE(setSettingByKey(s, "Hprn", "Plotter≒B"));
    EXPECT_NE(settingsFileBytes(s).find("Hprn=Plotter\x81\xE0"
                                        "B  * "),
              std::string::npos);
}

TEST_F(SettingsFile, UndecodableBytesShowAsMiddleDotsAndAreWrittenBackAsRead) {
    writeFile("OfiS=A\xFD"
              "3  *\r\n");
    JobSettings s = load();
    EXPECT_EQ(s.OfiS, "A・3");
    EXPECT_NE(settingsFileBytes(s).find("OfiS=A\xFD"
                                        "3" +
                                        std::string(18, ' ') + "* "),
              std::string::npos);
}

TEST_F(SettingsFile, SaveReplacesTheFileAndLeavesNoTemporaryFileBehind) {
    writeFile("an old file that is much longer than the new one will be..." +
              std::string(5000, 'x'));
    JobSettings s = defaultSettings("F:\\PLOT");
    std::string error;
    ASSERT_TRUE(SaveSettings(folder_, s, &error)) << error;
    EXPECT_EQ(readFile(), kDefaultFileForFPlot);
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder_))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST_F(SettingsFile, SaveIntoAMissingFolderFailsWithAReason) {
    std::string error;
    EXPECT_FALSE(SaveSettings(folder_ / "missing", defaultSettings(folder_), &error));
    EXPECT_FALSE(error.empty());
}

TEST_F(SettingsFile, UnwritableValueRefusesTheSaveAndKeepsTheOldFile) {
    writeFile("LineL=9  *\r\n");
    JobSettings s = defaultSettings(folder_);
    s.Hprn = "Imprimante café"; // no "é" in Shift-JIS
    std::string error;
    EXPECT_FALSE(SaveSettings(folder_, s, &error));
    EXPECT_NE(error.find("Hprn"), std::string::npos);
    s.Hprn = "a\r\nLineL=1";
    EXPECT_FALSE(SaveSettings(folder_, s, &error));
    s.Hprn.clear();
    s.MojiW = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(SaveSettings(folder_, s, &error));
    EXPECT_EQ(readFile(), "LineL=9  *\r\n");
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder_))
        ++entries;
    EXPECT_EQ(entries, 1);
}

} // namespace
} // namespace kesto
