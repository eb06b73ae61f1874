// The composer's bytes where the converter tests, which read only some of
// them back, would not notice a fault: titles, text records, counts and
// lengths, refusals and the long-string split.
#include "composer/OfiComposer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace kesto {
namespace {

// The bytes after the 128-byte preamble as "1B 24 44 04 …".
std::string recordHex(const OfiComposer& c) {
    std::string out;
    for (std::uint8_t b : c.view().subspan(OfiComposer::PreambleBytes)) {
        char buf[4];
        std::snprintf(buf, sizeof buf, out.empty() ? "%02X" : " %02X", b);
        out += buf;
    }
    return out;
}

TEST(OfiComposer, TitleFillsBytes108To127InCodePage932AndNeverSplitsACharacter) {
    OfiComposer c;
    const auto titleBytes = [](const OfiComposer& c) {
        return std::string(c.view().begin() + OfiComposer::TitleOffset, c.view().end());
    };
    c.title("FLANGE", "R1");
    ASSERT_EQ(c.size(), 128u);
    EXPECT_EQ(std::count(c.view().begin(), c.view().begin() + 108, 0), 108);
    EXPECT_EQ(titleBytes(c), "FLANGE          R1  ");
    c.titleUtf8("部品図 A3", "R3"); // 部 95 94, 品 95 69, 図 90 7D
    EXPECT_EQ(titleBytes(c), "\x95\x94\x95\x69\x90\x7D A3       R3  ");
    c.title("ABCDEFGHIJKLMNO\x95\x94", "12345"); // the kanji no longer fits
    EXPECT_EQ(titleBytes(c), "ABCDEFGHIJKLMNO 1234");
    EXPECT_THROW(c.titleUtf8("\xF0\x9F\x98\x80"), std::invalid_argument);
}

TEST(OfiComposer, WritesCirclesAndTextRecordsWordByWordLowByteFirst) {
    OfiComposer c;
    c.circle({1000, 500}, 200).textBlock(true).slant({30000, 1500}).direction(-9000);
    c.direction(35000).charSize(200, -300, 300).charSizeLong(-2, 70000, 300);
    c.singleByteText(1000, 2000, "AB").singleByteText(1, 2, "ABC").singleByteText(1, 2, "");
    c.singleByteTextUtf8(0, 0, "φ1±ｷ").twoByteText(5, 6, {{41, 84}, {0, 'A'}});
    c.twoByteText(1, 2, {}).twoByteTextUtf8(0, 0, "部アｱAⅢ㈱").textBlock(false);
    EXPECT_EQ(recordHex(c), "1B 24 41 06 B0 04 F4 01 20 03 F4 01 B0 04 F4 01 " // equal ends
                            "1B 24 53 01 53 54 1B 24 49 01 30 75 DC 05 "
                            "1B 24 4A 01 78 69 1B 24 4A 01 B8 88 " // 35000 is still an angle
                            "1B 24 48 03 C8 00 D4 FE 2C 01 "
                            "1B 24 48 06 FE FF FF FF 70 11 01 00 2C 01 00 00 "
                            // the operand count is in the high byte; odd strings pad
                            "1B 24 4B 03 E8 03 D0 07 41 42 "
                            "1B 24 4B 04 01 00 02 00 41 42 43 20 "
                            "1B 24 4B 04 00 00 00 00 81 31 95 B7 " // φ 129, ± 149, ｷ B7
                            "1B 24 4C 04 05 00 06 00 29 54 00 41 " // row in the low byte
                            // 部 (41, 84), ア (5, 2), ｱ and A in row 0, Ⅲ (115, 13), ㈱ (115, 25)
                            "1B 24 4C 08 00 00 00 00 29 54 05 02 00 B1 00 41 73 0D 73 19 "
                            "1B 24 53 01 45 44");
}

// Counts and lengths are in words: the reader steps over records by them.
TEST(OfiComposer, CountAndLengthWordsCountEveryWordAfterThem) {
    using E = OfiPatternElement;
    OfiComposer c;
    c.polyline({{100, 200}, {300, 200}, {300, 400}});
    // 13 = StartElement, n, 2 x 2 element words, 2 phase words, width, 2 x 2 point words
    c.wideDashedPolyline(1, {1500000, 70000}, 250, 50, {{10, 20}, {30, 40}});
    // 17 = 3 (reserved, X0, Y0) + 3 (line) + 5 (arc) + 3 (contour) + 3 (line)
    c.patternFill(10, 20,
                  {E::line({30, 20}), E::arc({40, 30}, {30, 40}), E::contourStart({15, 25}),
                   E::line({16, 26})});
    EXPECT_EQ(recordHex(c), "1B 24 44 FF 06 00 00 00 64 00 C8 00 2C 01 C8 00 2C 01 90 01 "
                            "1B 24 42 FF 0D 00 00 00 01 00 02 00 60 E3 16 00 70 11 01 00 "
                            "FA 00 00 00 32 00 0A 00 14 00 1E 00 28 00 "
                            "1B 24 50 FF 11 00 00 00 00 00 0A 00 14 00 00 00 1E 00 14 00 "
                            "86 00 28 00 1E 00 1E 00 28 00 C1 00 0F 00 19 00 00 00 10 00 1A 00");
}

TEST(OfiComposer, RefusesWhatTheReaderWouldMisreadAndWritesNothingForIt) {
    using E = OfiPatternElement;
    OfiComposer c;
    E arcCode = E::line({1, 1});
    arcCode.lineCode = 0x86;
    EXPECT_THROW(c.polyline({{1, 1}}), std::invalid_argument);
    EXPECT_THROW(c.wideDashedPolyline(0, std::vector<std::uint32_t>(102, 1000), 0, 1,
                                      std::vector<OfiPoint>{{0, 0}, {1, 1}}),
                 std::invalid_argument);
    EXPECT_THROW(c.wideDashedArc(101, {1000}, 0, 1, {0, 0}, {1, 1}, {2, 0}), std::invalid_argument);
    EXPECT_THROW(c.wideDashedArc(0, std::vector<std::uint32_t>{}, 0, 1, {0, 0}, {1, 1}, {2, 0}),
                 std::invalid_argument);
    EXPECT_THROW(c.patternFill(0, 0, {}), std::invalid_argument);
    EXPECT_THROW(c.patternFill(0, 0, {E::line({1, 1}), E::contourStart({2, 2})}),
                 std::invalid_argument);
    EXPECT_THROW(
        c.patternFill(0, 0, {E::contourStart({2, 2}), E::contourStart({3, 3}), E::line({1, 1})}),
        std::invalid_argument);
    EXPECT_THROW(c.patternFill(0, 0, {arcCode}), std::invalid_argument);
    EXPECT_THROW(c.singleByteTextUtf8(0, 0, "部"), std::invalid_argument);
    // FA 40 (row 115, cell 1) has no plotter glyph; a lone lead byte is no character.
    EXPECT_THROW(cp932ToOfiKanji("\xFA\x40"), std::invalid_argument);
    EXPECT_THROW(cp932ToOfiKanji("\x95"), std::invalid_argument);
    EXPECT_EQ(cp932ToOfiKanji("\xFA\x4A"), (std::vector<OfiKanji>{{115, 11}})); // Ⅰ
    EXPECT_EQ(c.size(), 128u);
}

// A string too long for one record goes on in a second record (253 character
// words in the first) at the place where the reader puts its next character.
TEST(OfiComposer, LongStringsGoOnInASecondRecordWhereTheNextCharacterFalls) {
    OfiComposer c;
    // The second record's code word, X and Y.
    const auto secondRecord = [&c](std::size_t start) {
        const auto v = c.view().subspan(start + 4 + 2 * 255 + 2);
        const auto word = [&v](std::size_t i) { return v[2 * i] | (v[2 * i + 1] << 8); };
        return std::array<int, 3>{word(0), word(1), word(2)};
    };
    std::size_t start = c.direction(9000).charSize(10, 10, 20).size();
    c.singleByteText(100, 30000, std::string(600, 'X')); // 506 and 94 characters
    // At 90 degrees Y steps down by the pitch.
    EXPECT_EQ(secondRecord(start), (std::array{49 << 8 | 0x4B, 100, 30000 - 506 * 20}));
    EXPECT_EQ(c.size(), start + 4 + 2 * 255 + 4 + 2 * 49);
    start = c.direction(0).charSize(100, 100, 150).size();
    c.twoByteText(1000, 500, std::vector<OfiKanji>(300, OfiKanji{16, 1}));
    EXPECT_EQ(secondRecord(start), (std::array{49 << 8 | 0x4C, 1000 + 253 * 150, 500}));
}

} // namespace
} // namespace kesto
