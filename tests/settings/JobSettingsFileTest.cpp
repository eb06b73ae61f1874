#include "io/Cp932.h"
#include "settings/JobSettings.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <string_view>
#include <tuple>

namespace kesto {
namespace {

namespace fs = std::filesystem;

// The default record written for the folder F:\PLOT, in Shift-JIS with CR LF.
const std::string kDefaultFileForFPlot =
    "*****************************************************************************\r\n"
    "*                                                                           *\r\n"
    "*  \x82y\x82t\x82m\x82`\x81|\x82g\x82o\x82\x66\x82k\x8Fo\x90}\x81iKesto.EXE)\x83v\x83\x8D\x83O"
    "\x83\x89\x83\x80                             *\r\n"
    "*                                                                           *\r\n"
    "*****************************************************************************\r\n"
    "OfiFile=F:\\PLOT        * \x82n\x82\x65\x82h \x83t\x83@\x83\x43\x83\x8B\x82\xCC\x8F\xEA\x8F"
    "\x8A\r\n"
    "OfiA4V=90                 * \x82`\x82S \x8F\x63\x82\xCC\x89\xF1\x93]\x97\xCA\r\n"
    "OfiA4H=0                  * \x82`\x82S \x89\xA1\x82\xCC\x89\xF1\x93]\x97\xCA\r\n"
    "OfiA3=0                   * \x82`\x82R \x89\xA1\x82\xCC\x89\xF1\x93]\x97\xCA\r\n"
    "OfiA2V=90                 * \x82`\x82Q \x8F\x63\x82\xCC\x89\xF1\x93]\x97\xCA\r\n"
    "OfiA2H=0                  * \x82`\x82Q \x89\xA1\x82\xCC\x89\xF1\x93]\x97\xCA\r\n"
    "OfiA1=0                   * \x82`\x82P \x89\xA1\x82\xCC\x89\xF1\x93]\x97\xCA\r\n"
    "OfiA0=0                   * \x82`\x82O\r\n"
    "Plot=A0\xCC\xDF\xDB\xAF\xC0              * \x83v\x83\x8D\x83\x62\x83^\x81[\x83T\x83\x43\x83Y\r"
    "\n"
    "LineL=3                   * \x91\xBE\x90\xFC\x82\xCC\x83y\x83\x93\x82m\x82\x8F\r\n"
    "LineM=2                   * \x92\x86\x90\xFC\x82\xCC\x83y\x83\x93\x82m\x82\x8F\r\n"
    "LineS=1                   * \x8D\xD7\x90\xFC\x82\xCC\x83y\x83\x93\x82m\x82\x8F\r\n"
    "LineT=1                   * \x92\x8D\x8BL\x82\xCC\x83y\x83\x93\x82m\x82\x8F\r\n"
    "LineP=1                   * \x83p\x83^-\x83\x93\x82\xCC\x83y\x83\x93\x82m\x82\x8F\r\n"
    "LineD=2                   * \x94j\x92\x66\x90\xFC\x82\xCC\x83y\x83\x93\x82m\x82\x8F\r\n"
    "OfiS=100                  * \x8Fk\x8F\xAC\x97\xA6\r\n"
    "MojiK=\x91S\x8Ap                * \x83J\x83^\x83J\x83i\x95\xB6\x8E\x9A\x83Z\x83\x62\x83g\r\n"
    "MojiE=\x94\xBC\x8Ap                * \x89p\x90\x94\x8BL\x8D\x86\x95\xB6\x8E\x9A\x83Z\x83\x62"
    "\x83g\r\n"
    "MojiW=.17                 * \x8A\xBF\x8E\x9A\x95\x9D\x95\xCF\x8DX\x94{\x97\xA6\r\n"
    "MojiH=.11                 * \x8A\xBF\x8E\x9A\x8D\x82\x82\xB3\x95\xCF\x8DX\x94{\x97\xA6\r\n"
    "MojiX=-.2                 * \x8A\xBF\x8E\x9A\x82w\x8D\xC0\x95W\x95\xCF\x8DX\x94{\x97\xA6\r\n"
    "MojiY=-.2                 * \x8A\xBF\x8E\x9A\x82x\x8D\xC0\x95W\x95\xCF\x8DX\x94{\x97\xA6\r\n"
    "OfiFMen=\x8E\xE8\x93\xAE              * \xCC\xA7\xB2\xD9\x91I\x91\xF0\x95\xFB\x96@\r\n"
    "OfiFEnd=\x95\xDB\x91\xB6              * \x8FI\x97\xB9\xCC\xA7\xB2\xD9\x82\xCC\x8F\x88\x97\x9D"
    "\r\n"
    "OfiOut=\xCC\xDF\xDB\xAF\xC0              * GLF\xCC\xA7\xB2\xD9\x82\xCC\x8Fo\x97\xCD\x90\xE6\r"
    "\n"
    "Hprn=  * \x8Fo\x97\xCD\x90\xE6\x83v\x83\x8A\x83\x93\x83^\x96\xBC\r\n"
    "OfiTop=1250               * \x89\xE6\x96\xCA\x31\x82\xCC\x8F\xE3\x89\xBA\x88\xCA\x92u\r\n"
    "OfiLeft=1150              * \x89\xE6\x96\xCA\x31\x82\xCC\x8D\xB6\x89\x45\x88\xCA\x92u\r\n"
    "FilTop=1250               * \x89\xE6\x96\xCA\x32\x82\xCC\x8F\xE3\x89\xBA\x88\xCA\x92u\r\n"
    "FilLeft=1150              * \x89\xE6\x96\xCA\x32\x82\xCC\x8D\xB6\x89\x45\x88\xCA\x92u\r\n"
    "PrnTop=1250               * \x89\xE6\x96\xCA\x34\x82\xCC\x8F\xE3\x89\xBA\x88\xCA\x92u\r\n"
    "PrnLeft=1150              * \x89\xE6\x96\xCA\x34\x82\xCC\x8D\xB6\x89\x45\x88\xCA\x92u\r\n";

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

    void writeFile(std::string_view bytes) const {
        std::ofstream(folder_ / "Kesto.sys", std::ios::binary) << bytes;
    }
    static void writeBytesTo(const fs::path& file, std::string_view bytes) {
        std::ofstream(file, std::ios::binary) << bytes;
    }
    std::string readFile() const {
        std::ifstream in(folder_ / "Kesto.sys", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Loads a file made of the given lines (UTF-8, each given its CR LF here).
    JobSettings load(std::initializer_list<std::string_view> lines) const {
        std::string bytes;
        for (auto line : lines)
            bytes += *utf8ToCp932(line) + "\r\n";
        writeFile(bytes);
        return LoadSettings(folder_);
    }

    fs::path folder_;
};

void expectSameValues(const JobSettings& a, const JobSettings& b) {
    for (auto key : settingKeys())
        EXPECT_EQ(settingText(a, key), settingText(b, key)) << key;
    EXPECT_EQ(std::tie(a.MojiW, a.MojiH, a.MojiX, a.MojiY),
              std::tie(b.MojiW, b.MojiH, b.MojiX, b.MojiY));
}

TEST(SettingsFileBytes, DefaultRecordForFPlotGivesTheKnownFileByteForByte) {
    EXPECT_EQ(settingsFileBytes(defaultSettings("F:\\PLOT")), kDefaultFileForFPlot);
}

TEST_F(SettingsFile, MissingFileGivesTheDefaultsWithTheProgramFolder) {
    const JobSettings s = LoadSettings(folder_);
    expectSameValues(s, defaultSettings(folder_));
    EXPECT_EQ(s.OfiFile, folder_.string());
    EXPECT_TRUE(s.originalBytes.empty());
}

TEST_F(SettingsFile, SavedValuesReadBackUnchangedEvenWhenLongerThanTheirColumn) {
    JobSettings s = defaultSettings(folder_);
    // A deep folder: over 256 bytes in Shift-JIS.
    s.OfiFile = "/srv/図面/出図";
    for (int i = 0; i < 20; ++i)
        s.OfiFile += "/製図課の共有図面" + std::to_string(i);
    ASSERT_GT(utf8ToCp932(s.OfiFile)->size(), 256u);
    s.Hprn = "HP Design Jet 750C";
    s.LineL = " 3";
    s.MojiW = 1.5f;
    s.MojiH = -0.03125f;
    s.MojiY = 0.000012f;
    s.PrnLeft = -60;
    s.FilTop = -32768;
    s.OfiS = "123456789012345678901234";        // 24 characters for a width of 21
    s.OfiFMen = "全角全角全角全角全角全角全角"; // 14 full-width for a width of 16
    const std::string bytes = settingsFileBytes(s);
    EXPECT_NE(bytes.find("OfiS=123456789012345678901234  * "), std::string::npos);
    EXPECT_NE(bytes.find(*utf8ToCp932("OfiFMen=全角全角全角全角全角全角全角  * ")),
              std::string::npos);
    ASSERT_TRUE(SaveSettings(folder_, s).ok());
    expectSameValues(LoadSettings(folder_), s);
    s.OfiS = "";
    ASSERT_TRUE(SaveSettings(folder_, s).ok());
    expectSameValues(LoadSettings(folder_), s);
}

TEST_F(SettingsFile, KeyIsTheWholeTextBeforeTheEqualsSign) {
    const JobSettings s = load({
        "Hprn=HP Plotter  * 出力先プリンタ名", "LineL=Plot  * 太線のペンＮｏ",
        "Plot ist hier=A1ﾌﾟﾛｯﾀ  * not a key", "lineM=7  * wrong case",
        "OfiA0 without an equals sign", "", "MojiK=半角  * カタカナ文字セット", "LineP=4  *",
        "LineP=8  *", // the later line wins
    });
    EXPECT_EQ(std::tie(s.Hprn, s.Plot, s.LineL, s.LineM, s.MojiK, s.LineP),
              std::make_tuple("HP Plotter", "A0ﾌﾟﾛｯﾀ", "Plot", "2", "半角", "8"));
}

TEST_F(SettingsFile, ValueEndsAtTheFirstTwoSpacesOrTheEndOfTheLine) {
    const JobSettings s =
        load({"Hprn=  * 出力先プリンタ名", "LineL= 3                  * leading space kept",
              "LineM=1 2  * a single space inside is kept",
              "OfiFile=C:\\My  Plots  * cut at the two spaces", "OfiS=A3", "LineS=6 with a comment",
              "OfiTop=-60", "MojiW=2.5x", "PrnLeft=40  * still read"});
    EXPECT_EQ(std::tie(s.Hprn, s.LineL, s.LineM, s.OfiFile, s.OfiS, s.LineS),
              std::make_tuple("", " 3", "1 2", "C:\\My", "A3", "6 with a comment"));
    EXPECT_EQ(std::tie(s.OfiTop, s.MojiW, s.PrnLeft), std::make_tuple(-60, 2.5f, 40));

    writeFile("LineS=4  *\nLineT=9"); // bare line feed, no line end at the end
    const JobSettings bare = LoadSettings(folder_);
    EXPECT_EQ(std::tie(bare.LineS, bare.LineT), std::make_tuple("4", "9"));
}

TEST_F(SettingsFile, PositionsRoundHalvesToEvenAndOutOf16BitsKeepTheirDefault) {
    JobSettings s = load({"OfiTop=0.5  *", "OfiLeft=1.5  *", "FilTop=2.5  *", "FilLeft=-2.5  *",
                          "PrnTop=2.51  *", "PrnLeft= 12abc  *"});
    EXPECT_EQ(std::tie(s.OfiTop, s.OfiLeft, s.FilTop, s.FilLeft, s.PrnTop, s.PrnLeft),
              std::make_tuple(0, 2, 2, -2, 3, 12));
    s = load({"OfiTop=32768  *", "OfiLeft=-32768  *", "FilTop=32767.5  *", "FilLeft=-32769  *",
              "PrnTop=32767.4  *", "LineD=7  *"});
    EXPECT_EQ(std::tie(s.OfiTop, s.OfiLeft, s.FilTop, s.FilLeft, s.PrnTop),
              std::make_tuple(1250, -32768, 1250, 1150, 32767));
    EXPECT_EQ(s.LineD, "7"); // reading went on
}

TEST_F(SettingsFile, FactorsReadTheirShortFormAndAHugeOneKeepsItsDefault) {
    const JobSettings s = load({"MojiW=.17  *", "MojiH=" + std::string(400, '9') + "  *",
                                "MojiX=abc  *", "MojiY= 3.25e2  *"});
    EXPECT_EQ(std::tie(s.MojiW, s.MojiH, s.MojiX, s.MojiY),
              std::make_tuple(0.17f, 0.11f, 0.0f, 3.25f));
}

TEST_F(SettingsFile, BytesWithoutAFaithfulWayBackAreWrittenBackAsReadWhileUnchanged) {
    // 87 90 is the NEC code of "≒"; the plain way back would give 81 E0.  FD
    // decodes to nothing and shows as "・".
    writeFile("Hprn=Plotter\x87\x90\x41  * x\r\nLineL=\x87\x90  *\r\nOfiS=A\xFD\x33  *\r\n");
    JobSettings s = LoadSettings(folder_);
    EXPECT_EQ(std::tie(s.Hprn, s.OfiS), std::make_tuple("Plotter≒A", "A・3"));
    ASSERT_TRUE(setSettingByKey(s, "LineL", "≒")); // the same text again: still unchanged
    const std::string bytes = settingsFileBytes(s);
    EXPECT_NE(bytes.find("Hprn=Plotter\x87\x90\x41  * "), std::string::npos);
    EXPECT_NE(bytes.find("LineL=\x87\x90 "), std::string::npos);
    EXPECT_NE(bytes.find("OfiS=A\xFD\x33" + std::string(18, ' ') + "* "), std::string::npos);
    ASSERT_TRUE(setSettingByKey(s, "Hprn", "Plotter≒B"));
    EXPECT_NE(settingsFileBytes(s).find("Hprn=Plotter\x81\xE0\x42  * "), std::string::npos);
}

// The file is replaced as a whole or not at all.
TEST_F(SettingsFile, SaveReplacesTheWholeFileOrFailsWithAReasonAndKeepsTheOldOne) {
    writeFile("LineL=9  *\r\n" + std::string(5000, 'x'));
    Status saved = SaveSettings(folder_ / "missing", defaultSettings("F:\\PLOT"));
    EXPECT_FALSE(saved);
    EXPECT_FALSE(saved.reason().empty());
    EXPECT_EQ(readFile(), "LineL=9  *\r\n" + std::string(5000, 'x'));

    saved = SaveSettings(folder_, defaultSettings("F:\\PLOT"));
    ASSERT_TRUE(saved) << saved.reason();
    EXPECT_EQ(readFile(), kDefaultFileForFPlot);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

#ifndef _WIN32
// Kesto.sys as a link to a shared settings file, and a file with its own
// mode, owner and group: a save writes what the link leads to, in that file's
// folder, and leaves the link and the file's attributes as they were.
TEST_F(SettingsFile, ASaveWritesThroughALinkAndKeepsTheFilesModeOwnerAndGroup) {
    const bool root = ::geteuid() == 0;
    fs::create_directories(folder_ / "shared");
    const fs::path shared = folder_ / "shared" / "plot.sys";
    struct Case {
        const char* what;
        const char* link; // Kesto.sys leads here; nullptr: a plain file
        fs::path file;    // the file that holds the settings
        bool exists;
    } cases[] = {
        {"plain file", nullptr, folder_ / "Kesto.sys", true},
        {"relative link", "shared/plot.sys", shared, true},
        {"absolute link to a link", nullptr, shared, true},
        {"link to a file not yet there", "shared/new.sys", folder_ / "shared" / "new.sys", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(folder_ / "Kesto.sys");
        fs::remove(folder_ / "shared" / "hop");
        if (c.exists) writeBytesTo(c.file, "LineL=9  *\r\n");
        if (c.link) fs::create_symlink(c.link, folder_ / "Kesto.sys");
        if (c.file == shared && !c.link) {
            fs::create_symlink(shared, folder_ / "shared" / "hop");
            fs::create_symlink(folder_ / "shared" / "hop", folder_ / "Kesto.sys");
        }
        if (c.exists) {
            ASSERT_EQ(::chmod(c.file.c_str(), 0664), 0);
            if (root) {
                ASSERT_EQ(::chown(c.file.c_str(), 65534, 65534), 0);
            }
        }
        JobSettings s = defaultSettings(folder_);
        s.Hprn = "shared-plotter";
        const Status saved = SaveSettings(folder_, s);
        ASSERT_TRUE(saved) << saved.reason();

        EXPECT_EQ(LoadSettingsFile(c.file, folder_).Hprn, "shared-plotter");
        EXPECT_EQ(fs::is_symlink(folder_ / "Kesto.sys"), c.link || c.file == shared);
        struct stat st {};
        ASSERT_EQ(::stat(c.file.c_str(), &st), 0);
        if (c.exists) {
            EXPECT_EQ(st.st_mode & 07777, 0664u);
            if (root) {
                EXPECT_EQ(std::pair(st.st_uid, st.st_gid), std::pair(65534u, 65534u));
            }
        }
        for (const auto& e : fs::recursive_directory_iterator(folder_))
            EXPECT_FALSE(e.path().filename().string().starts_with(".~kesto-")) << e.path();
        fs::remove(c.file);
    }

    // Links in a loop: nothing is written, and the reason says so.
    fs::remove(folder_ / "Kesto.sys");
    fs::create_symlink("Kesto.sys", folder_ / "Kesto.sys");
    const Status looped = SaveSettings(folder_, defaultSettings(folder_));
    EXPECT_FALSE(looped);
    EXPECT_NE(looped.reason().find("loop"), std::string::npos) << looped.reason();
    EXPECT_TRUE(fs::is_symlink(folder_ / "Kesto.sys"));
}
#endif

// Which text values come back from the file as written: the value ends at two
// spaces in a row, trailing spaces go, and a character must come back as itself.
TEST_F(SettingsFile, ATextValueIsWritableExactlyWhenItReadsBackUnchanged) {
    for (const auto& [value, readsBack] : {
             std::pair{"C:\\My Plots", true}, std::pair{" leading space", true},
             std::pair{"tab\there", true}, std::pair{"/srv/図面/ｶﾀｶﾅ/≒", true}, std::pair{"", true},
             std::pair{"C:\\My  Plots", false}, // cut at the two spaces
             std::pair{"Plotter ", false},      // the space is lost
             std::pair{" ", false},             // reads as ""
             std::pair{"a\rb", false}, std::pair{"a\nOfiFile=/", false},
             std::pair{"/home/café", false}, // no Shift-JIS form
             std::pair{"図面〜改", false},   // comes back as "～"
             std::pair{"¥100", false},       // comes back as "\\"
         }) {
        const std::string why = textReadsBack(value).reason();
        EXPECT_EQ(why.empty(), readsBack) << value;
        EXPECT_EQ(why.empty(), readsBack) << value << ": " << why;
        for (const char* key : {"OfiFile", "Hprn"}) {
            JobSettings s = defaultSettings("F:\\PLOT");
            EXPECT_EQ(setSettingByKey(s, key, value).ok(), readsBack) << key << " " << value;
            *textSetting(s, key) = value;
            std::vector<std::string> kept;
            ASSERT_TRUE(SaveSettings(folder_, s, &kept));
            const JobSettings back = LoadSettings(folder_);
            if (readsBack) {
                EXPECT_EQ(*textSetting(const_cast<JobSettings&>(back), key), value) << key;
                EXPECT_TRUE(kept.empty()) << key << " " << value;
            } else {
                // Never written: the line keeps the value it had (here the default).
                ASSERT_EQ(kept.size(), 1u) << key << " " << value;
                EXPECT_NE(kept[0].find(key), std::string::npos) << kept[0];
                EXPECT_EQ(back.OfiFile,
                          std::string(key) == "OfiFile" ? folder_.string() : "F:\\PLOT");
                EXPECT_EQ(back.Hprn, "");
            }
        }
    }
}

// A value that cannot be written does not cost the other settings their save:
// its line keeps the bytes it was read with, and the caller hears of it once.
TEST_F(SettingsFile, AnUnwritableValueKeepsItsLineAndEverythingElseIsSaved) {
    writeFile("OfiFile=/srv/plots        *\r\nHprn=Old Plotter  *\r\nLineL=5  *\r\n");
    JobSettings s = LoadSettings(folder_);
    s.OfiFile = "/srv/café";
    s.Hprn = "a\r\nLineL=1";
    s.LineL = "7";
    s.MojiW = std::numeric_limits<float>::quiet_NaN();
    std::vector<std::string> kept;
    const Status saved = SaveSettings(folder_, s, &kept);
    ASSERT_TRUE(saved) << saved.reason();
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_NE(kept[0].find("OfiFile"), std::string::npos) << kept[0];
    EXPECT_NE(kept[0].find("é"), std::string::npos) << kept[0];
    EXPECT_NE(kept[1].find("MojiW"), std::string::npos) << kept[1];
    EXPECT_NE(kept[2].find("Hprn"), std::string::npos) << kept[2];
    const JobSettings back = LoadSettings(folder_);
    EXPECT_EQ(std::tie(back.OfiFile, back.Hprn, back.LineL),
              std::make_tuple("/srv/plots", "Old Plotter", "7"));
    EXPECT_FLOAT_EQ(back.MojiW, 0.17f);
}

} // namespace
} // namespace kesto
