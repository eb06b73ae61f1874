// Kanji-set output: two-byte strings, symbol codes, full-width kana, the
// extension row and the size and position corrections of the kanji set.
#include "TextTestSupport.h"

#include "convert/text/KanjiTables.h"
#include "io/Cp932.h"

#include <set>

namespace kesto::texttest {
namespace {

const std::string kHead = "DI1.0,0.0;ES0.0;PU";
// Width 200 and height 300 at scale 10 with the default factors 1.17 and 1.11.
const std::string kKanjiSize = "SA;DV0;SI0.27338,0.40336;";
const std::string kStandardSize = "SS;SI0.2,0.3;";
// (1000, 2000) shifted by -0.2 of the width and height: (960, 2060).
const std::string kShiftedOrigin = "PA384,824;";

class Kanji : public TextConversion {};

TEST_F(Kanji, KatakanaGoToTheStandardSetWithHalfWidthKanaUnlessVoiced) {
    // ア (5, 2): 0x25 0x22 in the kanji set, 0xB1 written as 0x31 in set 8.
    EXPECT_EQ(sizedKanji({{5, 2}}), kHead + kKanjiSize + kShiftedOrigin + label("\x25\x22"));
    // ｶ ﾞ in a single-byte string stay two characters: カ and ゛.
    EXPECT_EQ(sizedString("\xB6\xDE"), kHead + kShiftedOrigin + kKanjiSize + label("\x25\x2B") +
                                           "PA504,824;" + label("\x21\x2B"));
    settings.kana = CharSetChoice::HalfWidth;
    EXPECT_EQ(sizedKanji({{5, 2}}), kHead + kStandardSize + "CS8;PA400,800;" + label("\x31"));
    // ガ (5, 12): size first, then the shifted "PA", then 0x25 0x2C.
    EXPECT_EQ(sizedKanji({{5, 12}}), kHead + kKanjiSize + kShiftedOrigin + label("\x25\x2C"));
}

TEST_F(Kanji, ExtensionRowWritesItsSpecialGlyphsAndOtherCellsTheirOwnBytes) {
    EXPECT_EQ(sizedKanji({{115, 25}, {115, 15}, {115, 23}, {115, 24}, {115, 21}}),
              kHead + kKanjiSize + kShiftedOrigin + label("-j") + "PA504,824;" + label("\x2D\x39") +
                  "PA624,824;" + label("!G") + "PA744,824;" + label("-\x60") + "PA864,824;" +
                  label("\x93\x35"));
}

// 155 is ∞, JIS 0x2167: placed first, then sized.  Code 2 has no glyph.
TEST_F(Kanji, SymbolCodesSwitchTheSizeBackAndForthAndWithoutAGlyphLeaveOnlyTheMove) {
    EXPECT_EQ(sizedString("A\x9B\x42\x43"), kHead + kStandardSize + "PA400,800;" + label("A") +
                                                "PA504,824;" + kKanjiSize + label("\x21\x67") +
                                                kStandardSize + "PA640,800;" + label("B") +
                                                "PA760,800;" + label("C"));
    EXPECT_EQ(sizedString("\x9B\x02"),
              kHead + kShiftedOrigin + kKanjiSize + label("\x21\x67") + "PA504,824;");
    // The last symbol code, as a single-byte character of a two-byte string.
    EXPECT_EQ(sizedKanji({{0, 253}}), kHead + kShiftedOrigin + kKanjiSize + label("\x21\x23"));
}

TEST_F(Kanji, KanjiSizeIsWrittenAgainWhenTheSizeChanges) {
    EXPECT_EQ(convert(kSized + twoByteText(1000, 2000, {{16, 1}}) + charSize(400, 300, 300) +
                      twoByteText(1000, 2000, {{16, 1}})),
              kHead + kKanjiSize + kShiftedOrigin + label("\x30\x21") +
                  "PUSA;DV0;SI0.54676,0.40336;" + "PA368,824;" + label("\x30\x21"));
}

TEST_F(Kanji, FullWidthLettersFollowTheAlphanumericSetting) {
    settings.kana = CharSetChoice::HalfWidth;
    // After a kana the standard-set letter needs "CS6;" again.
    EXPECT_EQ(sizedKanji({{5, 2}, {3, 33}, {3, 16}, {3, 1}}),
              kHead + kStandardSize + "CS8;PA400,800;" + label("1") + "CS6;PA520,800;" +
                  label("A") + "PA640,800;" + label("0") + kKanjiSize + "PA744,824;" +
                  label("\x23\x21"));
    settings.alnum = CharSetChoice::FullWidth;
    EXPECT_EQ(sizedKanji({{3, 33}}), kHead + kKanjiSize + kShiftedOrigin + label("\x23\x41"));
    EXPECT_EQ(sizedString("A"), kHead + kShiftedOrigin + kKanjiSize + label("#A"));
}

TEST_F(Kanji, RowOneSymbolsGoToTheStandardSetOnlyWhenTheyHaveATwinThere) {
    settings.kana = CharSetChoice::HalfWidth;
    // ！ (1, 10) -> "!", 。 (1, 3) -> kana 0xA1, ・ (1, 6) stays in the kanji set.
    EXPECT_EQ(sizedKanji({{1, 10}, {1, 3}, {1, 6}}),
              kHead + kStandardSize + "PA400,800;" + label("!") + "CS8;PA520,800;" + label("\x21") +
                  kKanjiSize + "PA624,824;" + label("\x21\x26"));
    settings.alnum = CharSetChoice::FullWidth; // ！ now stays in the kanji set
    EXPECT_EQ(sizedKanji({{1, 10}, {1, 3}}), kHead + kKanjiSize + kShiftedOrigin +
                                                 label("\x21\x2A") + kStandardSize +
                                                 "CS8;PA520,800;" + label("\x21"));
}

TEST_F(Kanji, SingleByteCharactersOfATwoByteStringFollowTheSettings) {
    // Row 0: a space writes nothing but takes its place; kana with the
    // half-width setting go to set 8.
    settings.kana = CharSetChoice::HalfWidth;
    EXPECT_EQ(sizedKanji({{0, ' '}, {0, 0xB1}, {0, 'A'}}), kHead + kStandardSize +
                                                               "CS8;PA520,800;" + label("\x31") +
                                                               "CS6;PA640,800;" + label("A"));
    // Full-width kana: placed first, then sized.
    settings.kana = CharSetChoice::FullWidth;
    EXPECT_EQ(sizedKanji({{0, 0xB1}, {0, 0x9B}}), kHead + kShiftedOrigin + kKanjiSize +
                                                      label("\x25\x22") + "PA504,824;" +
                                                      label("\x21\x67"));
    // An unknown kana setting: an alphanumeric byte.
    settings.kana = CharSetChoice::Other;
    EXPECT_EQ(sizedKanji({{0, 0xB1}}), kHead + kStandardSize + "PA400,800;" + label("\xB1"));
    settings.alnum = CharSetChoice::FullWidth;
    // Through the symbol table, which has no entry for it: the move alone.
    EXPECT_EQ(sizedKanji({{0, 0xB1}}), kHead + kShiftedOrigin + kKanjiSize);
}

TEST_F(Kanji, RowOrCellPastTheLabelRangeWritesNoLabel) {
    EXPECT_EQ(sizedKanji({{224, 33}, {4, 224}, {223, 223}}), kHead + kKanjiSize + kShiftedOrigin +
                                                                 "PA504,824;" + "PA624,824;" +
                                                                 label("\xFF\xFF"));
}

TEST_F(Kanji, ShiftFollowsTheTextDirectionAndTheSignedWidthOnATurnedSheet) {
    // 90 degrees: the width shift runs down the plot, the height shift along X.
    EXPECT_EQ(
        convert(direction(9000) + charSize(200, 300, 300) + twoByteText(1000, 2000, {{4, 2}})),
        "DI0.0,1.0;ES0.0;PU" + kKanjiSize + "PA424,816;" + label("\x24\x22"));
    newRun();
    state.page.rotated = true;
    // Direction 0 on a turned sheet is 90 degrees: run 0, rise 1.
    EXPECT_EQ(sizedKanji({{4, 2}}),
              "DI0.0,1.0;ES0.0;PU" + kKanjiSize + "PA824,384;" + label("\x24\x22"));
    EXPECT_EQ(convert(direction(0) + charSize(-200, 300, 300) + twoByteText(1000, 2000, {{4, 2}})),
              "DI0.0,1.0;ES0.0;PUSA;DV0;SI-0.27338,0.40336;PA824,416;" + label("\x24\x22"));
    state.page.rotated = false;
    // Unturned, the width counts without its sign.
    EXPECT_EQ(convert(direction(0) + charSize(-200, 300, 300) + twoByteText(1000, 2000, {{4, 2}})),
              "DI1.0,0.0;ES0.0;PUSA;DV0;SI-0.27338,0.40336;PA384,824;" + label("\x24\x22"));
}

TEST_F(Kanji, WidthAndHeightFactorsScaleOnlyTheKanjiSet) {
    settings.kanjiWidthFactor = 1.0f;
    settings.kanjiHeightFactor = 2.0f;
    settings.kanjiShiftX = 0.0f;
    settings.kanjiShiftY = 0.0f;
    // 0.2 x 1.1683 and 0.3 x 1.2113 x 2.
    EXPECT_EQ(sizedString("\x9B"
                          "A"),
              kHead + "PA400,800;SA;DV0;SI0.23366,0.72678;" + label("\x21\x67") + kStandardSize +
                  "PA520,800;" + label("A"));
}

// JIS row and cell of a character, from its Shift-JIS bytes in the system's
// code page 932: an independent way to the codes the symbol table holds.
int jisOf(const std::string& utf8) {
    const auto sjis = utf8ToCp932(utf8);
    if (!sjis || sjis->size() != 2) return -1;
    const int s1 = static_cast<unsigned char>((*sjis)[0]);
    const int s2 = static_cast<unsigned char>((*sjis)[1]);
    const int row = ((s1 - (s1 >= 0xE0 ? 0xB0 : 0x70)) << 1) - (s2 < 0x9F ? 1 : 0);
    const int cell = s2 < 0x9F ? s2 - (s2 > 0x7F ? 0x20 : 0x1F) : s2 - 0x7E;
    return row << 8 | cell;
}

// Each symbol code against the character it stands for.
TEST(KanjiTables, EverySymbolCodeGivesTheJisCodeOfItsCharacter) {
    const std::pair<int, const char*> symbols[] = {
        {1, "□"},    {3, "＼"},   {12, "↑"},   {13, "↓"},   {14, "←"},   {15, "→"},  {24, "［"},
        {25, "｛"},  {26, "！"},  {27, "＄"},  {29, "∥"},   {30, "◇"},   {31, "＞"}, {32, "　"},
        {33, "！"},  {34, "″"},   {35, "＃"},  {36, "＄"},  {37, "％"},  {38, "＆"}, {39, "′"},
        {40, "（"},  {41, "）"},  {42, "＊"},  {43, "＋"},  {44, "，"},  {45, "－"}, {46, "．"},
        {47, "／"},  {58, "："},  {59, "；"},  {60, "〈"},  {61, "＝"},  {62, "〉"}, {63, "？"},
        {64, "＠"},  {91, "［"},  {92, "￥"},  {93, "］"},  {94, "＾"},  {95, "＿"}, {96, "°"},
        {123, "｛"}, {124, "－"}, {125, "｝"}, {126, "～"}, {127, "□"},  {128, "□"}, {129, "φ"},
        {132, "Ｖ"}, {133, "Ι"},  {134, "Δ"},  {135, "～"}, {137, "С"},  {138, "◎"}, {141, "○"},
        {143, "⊥"},  {145, "∠"},  {147, "゜"}, {148, "＄"}, {149, "±"},  {150, "√"}, {151, "－"},
        {152, "Ω"},  {153, "μ"},  {155, "∞"},  {156, "≒"},  {157, "×"},  {158, "∠"}, {159, "∥"},
        {160, "＄"}, {229, "∥"},  {231, "＞"}, {232, "∥"},  {238, "／"}, {239, "±"}, {240, "×"},
        {242, "◇"},  {244, "φ"},  {246, "≦"},  {247, "≧"},  {248, "Ω"},  {252, "μ"}, {253, "。"}};
    ASSERT_EQ(std::size(symbols), kanji::kSymbolTable.size());
    for (const auto& [code, character] : symbols)
        EXPECT_EQ(kanji::symbolJis(static_cast<std::uint8_t>(code)), jisOf(character))
            << code << " " << character;
}

// The tables are data: check them for entries that cannot be right.
TEST(KanjiTables, HoldOneEntryPerCodeValidJisBytesAndTwinsThatRoundTrip) {
    const auto isJisByte = [](int b) { return b >= 0x21 && b <= 0x7E; };
    std::set<int> codes;
    for (const auto& e : kanji::kSymbolTable) {
        EXPECT_TRUE(codes.insert(e.code).second) << "code " << int(e.code) << " twice";
        EXPECT_TRUE(isJisByte(e.jis >> 8) && isJisByte(e.jis & 0xFF)) << int(e.code);
    }
    EXPECT_EQ(codes.size(), 84u);
    EXPECT_EQ(kanji::symbolJis(253), 0x2123);
    EXPECT_FALSE(kanji::symbolJis(2) || kanji::symbolJis(0));

    int withHalfWidth = 0;
    for (int cell = 0; cell <= 200; ++cell) {
        if (const auto byte = kanji::halfWidthKatakana(static_cast<std::uint8_t>(cell))) {
            ++withHalfWidth;
            EXPECT_EQ(kanji::fullWidthKana(*byte), 0x2520 + cell) << "cell " << cell;
        }
    }
    EXPECT_EQ(withHalfWidth, 55);
    EXPECT_FALSE(kanji::halfWidthKatakana(12)); // ガ
    EXPECT_FALSE(kanji::fullWidthKana(0xA0) || kanji::fullWidthKana(0xE0));

    std::set<int> bytes; // row 1 twins: distinct standard-set bytes
    for (const auto& e : kanji::kRow1Alphanumerics) {
        EXPECT_TRUE(bytes.insert(e.byte).second && e.byte >= 33 && e.byte <= 125) << int(e.byte);
    }
    for (const auto& e : kanji::kRow1Kana) {
        EXPECT_TRUE(bytes.insert(e.byte).second) << int(e.byte);
        EXPECT_EQ(kanji::fullWidthKana(e.byte), 0x2120 + e.cell); // the same row-1 cell
    }
    EXPECT_FALSE(kanji::row1Alphanumeric(6) || kanji::row1Kana(6));
}

} // namespace
} // namespace kesto::texttest
