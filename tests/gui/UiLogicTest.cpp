// The window's logic without Qt: what a label click makes of any text in its
// field, the start argument, and window positions in twips.  The ordinary
// cycles are driven through the real widgets in MainWindowTest.  Paths named in
// Shift-JIS bytes, as shown and as kept.

#include "settings/JobSettings.h"
#include "settings/LegacyFolder.h"
#include "ui/logic/PathText.h"
#include "ui/logic/SettingCycles.h"
#include "ui/logic/Twips.h"
#include "ui/logic/WindowFields.h"
#include "ui/logic/WindowStart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
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
// The rows build the window and give the run its settings: a key misspelt
// or a field shown twice would drop a setting without a word.
TEST(WindowFields, EveryRowShowsOneWindowSettingInAFieldAndLabelOfItsOwn) {
    std::set<std::string_view> keys;
    std::set<int> fields, labels;
    for (const SettingRow& r : kSettingRows) {
        const SettingKind kind = settingKind(r.key);
        EXPECT_TRUE(kind == SettingKind::Text || kind == SettingKind::Factor) << r.key;
        EXPECT_EQ(&rowOf(r.field), &r) << r.key;
        keys.insert(r.key);
        fields.insert(r.field);
        labels.insert(r.label);
    }
    const std::size_t windowKeys =
        std::count_if(settingKeys().begin(), settingKeys().end(), [](std::string_view key) {
            return settingKind(key) != SettingKind::Position;
        });
    EXPECT_EQ(keys.size(), windowKeys);
    EXPECT_EQ(fields, (std::set<int>{1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
                                     14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26}));
    EXPECT_EQ(labels.size(), std::size(kSettingRows));
    for (const LabelText& header : kHeaderLabels)
        EXPECT_EQ(labels.count(header.number), 0u) << header.number;
    EXPECT_EQ(rowsOf(Group::Rotation).size(), 7u); // the plotter preset's seven sheets
}

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
TEST(PathText, ShiftJisPartsAreShownDecodedAndTheBytesStayWhileTheFieldIsUntouched) {
    // 図面 = 90 7D 96 CA, 表 = 95 5C (its second byte is a backslash).
    const struct {
        const char* bytes;
        const char* shown;
        bool legacy; // Kesto.sys can hold it as its bytes
    } rows[] = {
        {"/srv/plots", "/srv/plots", false},
        {"/srv/図面/出図", "/srv/図面/出図", false}, // UTF-8 stays UTF-8
        {"/srv/\x90\x7D\x96\xCA", "/srv/図面", true},
        {"/srv/\x95\x5C/\x90\x7D.OFI", "/srv/表/図.OFI", true},
        {"/srv/図面/\x90\x7D\x96\xCA", "/srv/図面/図面", true}, // mixed parts
        {"/srv/\x90\x7D  x", "/srv/図  x", false},              // two spaces end a value
        {"/srv/\x90", "/srv/・", false},                        // a lone lead byte
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.shown);
        EXPECT_EQ(readablePath(r.bytes), r.shown);
        EXPECT_EQ(isLegacyFolderBytes(r.bytes), r.legacy);
        EXPECT_EQ(pathFromShownText(r.shown, r.bytes), r.bytes);
        EXPECT_EQ(pathFromShownText("/srv/typed", r.bytes), "/srv/typed");
    }
}

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
