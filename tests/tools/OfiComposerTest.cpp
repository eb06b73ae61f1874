#include "composer/OfiComposer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace kesto {
namespace {

// The bytes after the 128-byte preamble as "1B 24 44 04 …".
std::string recordHex(const OfiComposer& c) {
    std::string out;
    const auto bytes = c.view().subspan(OfiComposer::PreambleBytes);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char buf[4];
        std::snprintf(buf, sizeof buf, i == 0 ? "%02X" : " %02X", bytes[i]);
        out += buf;
    }
    return out;
}

std::string titleBytes(const OfiComposer& c) {
    const auto v = c.view();
    return std::string(v.begin() + OfiComposer::TitleOffset,
                       v.begin() + OfiComposer::PreambleBytes);
}

TEST(OfiComposerTitle, PreambleIsZeroAndTheTitleBlockHoldsBytes108To127) {
    OfiComposer c;
    c.title("FLANGE", "R1");
    const auto v = c.view();
    ASSERT_EQ(v.size(), 128u);
    for (std::size_t i = 0; i < 108; ++i)
        ASSERT_EQ(v[i], 0) << "byte " << i;
    EXPECT_EQ(titleBytes(c), "FLANGE          R1  ");
}

TEST(OfiComposerTitle, Utf8TitleIsWrittenInCodePage932) {
    OfiComposer c;
    c.titleUtf8("部品図 A3", "R3");
    // 部 95 94, 品 95 69, 図 90 7D
    EXPECT_EQ(titleBytes(c), "\x95\x94\x95\x69\x90\x7D A3       R3  ");
}

TEST(OfiComposerTitle, OverlongTitleIsCutWithoutSplittingADoubleByteCharacter) {
    OfiComposer c;
    // 15 single bytes and then a kanji: the kanji no longer fits.
    c.title("ABCDEFGHIJKLMNO\x95\x94", "12345");
    EXPECT_EQ(titleBytes(c), "ABCDEFGHIJKLMNO 1234");
}

TEST(OfiComposerTitle, TitleWithoutCodePage932FormIsRefused) {
    OfiComposer c;
    EXPECT_THROW(c.titleUtf8("\xF0\x9F\x98\x80"), std::invalid_argument);
}

TEST(OfiComposerRecords, HeaderRecordsAreEscBangCodeAndOperands) {
    OfiComposer c;
    c.scale(10).record0132(-1).page(40000, 28000, 40000, 28000).patternLength(323);
    EXPECT_EQ(recordHex(c), "1B 21 57 01 0A 00 "
                            "1B 21 32 01 FF FF "
                            "1B 21 52 04 40 9C 60 6D 40 9C 60 6D "
                            "1B 21 4A 01 43 01");
}

TEST(OfiComposerRecords, LineStyleAndLineSegment) {
    OfiComposer c;
    c.lineStyle(0x21).line(1, 2, 3, 0x1234);
    EXPECT_EQ(recordHex(c), "1B 24 54 01 21 00 1B 24 44 04 01 00 02 00 03 00 34 12");
}

TEST(OfiComposerRecords, PolylineCountsCoordinateWordsNotPoints) {
    OfiComposer c;
    c.polyline({{100, 200}, {300, 200}, {300, 400}});
    EXPECT_EQ(recordHex(c), "1B 24 44 FF 06 00 00 00 64 00 C8 00 2C 01 C8 00 2C 01 90 01");
    EXPECT_THROW(c.polyline({{1, 1}}), std::invalid_argument);
}

TEST(OfiComposerRecords, WideDashedPolylineLengthCoversEveryWordAfterIt) {
    OfiComposer c;
    c.wideDashedPolyline(1, {1500000, 70000}, 250, 50, {{10, 20}, {30, 40}});
    // length 13 = StartElement, n, 2 × 2 element words, 2 phase words, width,
    // 2 × 2 point words.
    EXPECT_EQ(recordHex(c), "1B 24 42 FF 0D 00 00 00 "
                            "01 00 02 00 60 E3 16 00 70 11 01 00 "
                            "FA 00 00 00 32 00 0A 00 14 00 1E 00 28 00");
    EXPECT_EQ(c.size(), 128u + 2 * (2 + 2 + 13));
}

TEST(OfiComposerRecords, DashPatternsThatDoNotFitTheElementTableAreRefused) {
    OfiComposer c;
    const std::vector<std::uint32_t> tooMany(102, 1000);
    EXPECT_THROW(c.wideDashedPolyline(0, tooMany, 0, 1, std::vector<OfiPoint>{{0, 0}, {1, 1}}),
                 std::invalid_argument);
    EXPECT_THROW(c.wideDashedArc(101, {1000}, 0, 1, {0, 0}, {1, 1}, {2, 0}), std::invalid_argument);
    EXPECT_THROW(c.wideDashedArc(0, std::vector<std::uint32_t>{}, 0, 1, {0, 0}, {1, 1}, {2, 0}),
                 std::invalid_argument);
    EXPECT_EQ(c.size(), 128u) << "nothing written for a refused record";
}

TEST(OfiComposerRecords, WideDashedArcHasNoLengthAndKeepsTheChosenHighByte) {
    OfiComposer c;
    c.wideDashedArc(0, {200000}, 5, 60, {1, 2}, {3, 4}, {5, 6}, 0x07);
    EXPECT_EQ(recordHex(c), "1B 24 45 07 00 00 01 00 40 0D 03 00 05 00 00 00 3C 00 "
                            "01 00 02 00 03 00 04 00 05 00 06 00");
}

TEST(OfiComposerRecords, CircleIsAThreePointArcWithEqualEnds) {
    OfiComposer c;
    c.circle({1000, 500}, 200);
    EXPECT_EQ(recordHex(c), "1B 24 41 06 B0 04 F4 01 20 03 F4 01 B0 04 F4 01");
}

TEST(OfiComposerRecords, TextAttributes) {
    OfiComposer c;
    c.textBlock(true).slant({30000, 1500}).direction(-9000).charSize(200, -300, 300);
    c.charSizeLong(-2, 70000, 300).textBlock(false);
    EXPECT_EQ(recordHex(c), "1B 24 53 01 53 54 "
                            "1B 24 49 01 30 75 DC 05 "
                            "1B 24 4A 01 78 69 "
                            "1B 24 48 03 C8 00 D4 FE 2C 01 "
                            "1B 24 48 06 FE FF FF FF 70 11 01 00 2C 01 00 00 "
                            "1B 24 53 01 45 44");
}

TEST(OfiComposerRecords, DirectionIsWrittenAsAnUnsignedAngleBelowAFullTurn) {
    OfiComposer c;
    c.direction(35000).direction(36000 + 4500);
    // 35000 = 88 B8 does not fit a signed word but is a valid angle.
    EXPECT_EQ(recordHex(c), "1B 24 4A 01 B8 88 1B 24 4A 01 94 11");
}

TEST(OfiComposerText, SingleByteTextCountsOperandsInTheHighByteAndPadsOddStrings) {
    OfiComposer c;
    c.singleByteText(1000, 2000, "AB").singleByteText(1, 2, "ABC");
    EXPECT_EQ(recordHex(c), "1B 24 4B 03 E8 03 D0 07 41 42 "
                            "1B 24 4B 04 01 00 02 00 41 42 43 20");
}

TEST(OfiComposerText, EmptyStringWritesNoRecord) {
    OfiComposer c;
    c.singleByteText(1, 2, "").twoByteText(1, 2, {});
    EXPECT_EQ(c.size(), 128u);
}

TEST(OfiComposerText, Utf8SingleByteTextMapsDrawingSymbolsAndHalfWidthKana) {
    OfiComposer c;
    c.singleByteTextUtf8(0, 0, "φ1±ｷ");
    // φ = 129 (81), ± = 149 (95), ｷ = B7
    EXPECT_EQ(recordHex(c), "1B 24 4B 04 00 00 00 00 81 31 95 B7");
    EXPECT_THROW(c.singleByteTextUtf8(0, 0, "部"), std::invalid_argument);
}

TEST(OfiComposerText, LongSingleByteStringIsSplitWhereTheReaderWouldPlaceTheNextCharacter) {
    OfiComposer c;
    c.direction(9000).charSize(10, 10, 20);
    const std::size_t before = c.size();
    c.singleByteText(100, 30000, std::string(600, 'X'));
    const auto v = c.view().subspan(before);
    // First record: 253 character words (506 characters), code word 4B FF.
    ASSERT_EQ(v[2], 0x4B);
    ASSERT_EQ(v[3], 0xFF);
    const std::size_t second = 4 + 2 * 255;
    ASSERT_EQ(v[second + 2], 0x4B);
    EXPECT_EQ(v[second + 3], 2 + 47); // the other 94 characters
    // At 90 degrees the reader steps Y down by the pitch: 30000 − 506 × 20.
    EXPECT_EQ(v[second + 4] | (v[second + 5] << 8), 100);
    EXPECT_EQ(v[second + 6] | (v[second + 7] << 8), 30000 - 506 * 20);
    EXPECT_EQ(v.size(), second + 4 + 2 * 49);
}

TEST(OfiComposerText, TwoByteTextPutsTheRowInTheLowByte) {
    OfiComposer c;
    c.twoByteText(5, 6, {{41, 84}, {0, 'A'}});
    EXPECT_EQ(recordHex(c), "1B 24 4C 04 05 00 06 00 29 54 00 41");
}

TEST(OfiComposerText, Utf8TwoByteTextUsesJisRowsAndTheExtensionRow) {
    OfiComposer c;
    c.twoByteTextUtf8(0, 0, "部アｱAⅢ㈱");
    // 部 row 41 cell 84; ア row 5 cell 2; ｱ and A single bytes in row 0;
    // Ⅲ row 115 cell 13; ㈱ row 115 cell 25.
    EXPECT_EQ(recordHex(c), "1B 24 4C 08 00 00 00 00 29 54 05 02 00 B1 00 41 73 0D 73 19");
}

TEST(OfiComposerText, LongTwoByteStringIsSplitAt253Characters) {
    OfiComposer c;
    c.direction(0).charSize(100, 100, 150);
    const std::size_t before = c.size();
    c.twoByteText(1000, 500, std::vector<OfiKanji>(300, OfiKanji{16, 1}));
    const auto v = c.view().subspan(before);
    ASSERT_EQ(v[3], 0xFF);
    const std::size_t second = 4 + 2 * 255;
    EXPECT_EQ(v[second + 3], 2 + 47);
    EXPECT_EQ(v[second + 4] | (v[second + 5] << 8), 1000 + 253 * 150);
    EXPECT_EQ(v[second + 6] | (v[second + 7] << 8), 500);
}

TEST(OfiComposerText, CodePage932OutsideTheKanjiSetIsRefused) {
    // FA 40 is a code page 932 extension character in row 115, cell 1,
    // which the plotter has no glyph for; a lone lead byte is no character.
    EXPECT_THROW(cp932ToOfiKanji("\xFA\x40"), std::invalid_argument);
    EXPECT_THROW(cp932ToOfiKanji("\x95"), std::invalid_argument);
    const auto roman = cp932ToOfiKanji("\xFA\x4A"); // Ⅰ in the extension row
    ASSERT_EQ(roman.size(), 1u);
    EXPECT_EQ(roman[0], (OfiKanji{115, 11}));
}

TEST(OfiComposerPattern, FillLengthCountsEveryWordAfterTheLengthPair) {
    OfiComposer c;
    c.patternBlock(true);
    c.patternFill(10, 20,
                  {OfiPatternElement::line({30, 20}), OfiPatternElement::arc({40, 30}, {30, 40}),
                   OfiPatternElement::contourStart({15, 25}), OfiPatternElement::line({16, 26})});
    c.patternBlock(false);
    // 3 (reserved, X0, Y0) + 3 (line) + 5 (arc) + 3 (contour) + 3 (line) = 17
    EXPECT_EQ(recordHex(c), "1B 24 52 01 53 54 "
                            "1B 24 50 FF 11 00 00 00 00 00 0A 00 14 00 "
                            "00 00 1E 00 14 00 "
                            "86 00 28 00 1E 00 1E 00 28 00 "
                            "C1 00 0F 00 19 00 "
                            "00 00 10 00 1A 00 "
                            "1B 24 52 01 45 44");
}

TEST(OfiComposerPattern, OutlinesTheReaderWouldOverrunAreRefused) {
    OfiComposer c;
    using E = OfiPatternElement;
    EXPECT_THROW(c.patternFill(0, 0, {}), std::invalid_argument);
    EXPECT_THROW(c.patternFill(0, 0, {E::line({1, 1}), E::contourStart({2, 2})}),
                 std::invalid_argument);
    EXPECT_THROW(
        c.patternFill(0, 0, {E::contourStart({2, 2}), E::contourStart({3, 3}), E::line({1, 1})}),
        std::invalid_argument);
    E arcCode = E::line({1, 1});
    arcCode.lineCode = 0x86;
    EXPECT_THROW(c.patternFill(0, 0, {arcCode}), std::invalid_argument);
    EXPECT_EQ(c.size(), 128u);
}

TEST(OfiComposerRaw, EndRecordAndRawWordsAndBytes) {
    OfiComposer c;
    c.word(0x241B).bytes({0x44}).end();
    EXPECT_EQ(recordHex(c), "1B 24 44 1B 40 45 00");
}

TEST(OfiComposerSave, SavedFileHoldsExactlyTheComposedBytes) {
    OfiComposer c;
    c.title("T").line(1, 2, 3, 4).end();
    const auto path = std::filesystem::temp_directory_path() / "kesto_composer_save_test.ofi";
    ASSERT_TRUE(c.save(path));
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> read((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
    EXPECT_EQ(read, c.data());
    std::filesystem::remove(path);
    EXPECT_FALSE(c.save(std::filesystem::path("/nonexistent-dir/x/y.ofi")));
}

} // namespace
} // namespace kesto
