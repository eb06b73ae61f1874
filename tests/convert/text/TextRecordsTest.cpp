// Standard-set text: attribute records, single-byte strings, block markers
// and the annotation line.
#include "TextTestSupport.h"

namespace kesto::texttest {
namespace {

const Words kSized = direction(0) + charSize(200, 300, 300);

// Scale 10, origin (0, 0), not rotated: "AB" at (1000, 2000), pitch 300.
TEST_F(TextConversion, WorkedExampleWritesDirectionSpacingSizeAndOneLabelPerCharacter) {
    EXPECT_EQ(convert(kSized + singleByteText(1000, 2000, "AB")),
              "DI1.0,0.0;ES0.0;PUSS;SI0.2,0.3;PA400,800;" + label("A") + "PA520,800;" + label("B"));
    EXPECT_EQ(result.outcome, DrawingOutcome::Finished);
}

TEST_F(TextConversion, NinetyDegreeTextAdvancesDownThePlotsYAxis) {
    EXPECT_EQ(convert(direction(9000) + charSize(200, 300, 300) + singleByteText(1000, 2000, "AB")),
              "DI0.0,1.0;ES0.0;PUSS;SI0.2,0.3;PA400,800;" + label("A") + "PA400,680;" + label("B"));
}

TEST_F(TextConversion, RotatedSheetExchangesAxesAndAdvancesAlongDrawingX) {
    state.page.rotated = true;
    EXPECT_EQ(convert(kSized + singleByteText(1000, 2000, "AB")),
              "DI0.0,1.0;ES0.0;PUSS;SI0.2,0.3;PA800,400;" + label("A") + "PA800,520;" + label("B"));
}

TEST_F(TextConversion, UnchangedAttributesAreNotWrittenAgainForTheNextString) {
    const std::string out = convert(kSized + singleByteText(1000, 2000, "A") + direction(0) +
                                    singleByteText(1000, 2300, "B"));
    EXPECT_EQ(out, "DI1.0,0.0;ES0.0;PUSS;SI0.2,0.3;PA400,800;" + label("A") + "PUPA400,920;" +
                       label("B"));
}

TEST_F(TextConversion, OddLengthStringEndsWithoutLabelForThePaddingSpace) {
    EXPECT_EQ(convert(kSized + singleByteText(1000, 2000, "ABC")),
              "DI1.0,0.0;ES0.0;PUSS;SI0.2,0.3;PA400,800;" + label("A") + "PA520,800;" + label("B") +
                  "PA640,800;" + label("C"));
}

TEST_F(TextConversion, LeadingSpaceOfAWordIsSkippedButStillTakesItsPlace) {
    EXPECT_EQ(convert(kSized + singleByteText(1000, 2000, " B")),
              "DI1.0,0.0;ES0.0;PUSS;SI0.2,0.3;PA520,800;" + label("B"));
}

TEST_F(TextConversion, SpaceInTheSecondByteInsideAStringIsWrittenAsALabel) {
    EXPECT_EQ(convert(kSized + singleByteText(1000, 2000, "A BC")),
              "DI1.0,0.0;ES0.0;PUSS;SI0.2,0.3;PA400,800;" + label("A") + "PA520,800;" + label(" ") +
                  "PA640,800;" + label("B") + "PA760,800;" + label("C"));
}

TEST_F(TextConversion, BeforeAnyDirectionRecordAllCharactersFallOnTheOrigin) {
    EXPECT_EQ(convert(charSize(200, 300, 300) + singleByteText(1000, 2000, "AB")),
              "ES0.0;PUSS;SI0.2,0.3;PA400,800;" + label("A") + "PA400,800;" + label("B"));
}

TEST_F(TextConversion, StringWithFewerThanThreeOperandsReadsOnlyItsOrigin) {
    // 0x4141 after the short records is an ordinary word, not a character.
    for (std::uint16_t n : {0, 1, 2}) {
        const Words shortString = record(static_cast<std::uint16_t>(0x4B | (n << 8)), {1000, 2000});
        EXPECT_EQ(convert(kSized + shortString + Words{0x4141} + singleByteText(1000, 2000, "A")),
                  "DI1.0,0.0;ES0.0;PUPUSS;SI0.2,0.3;PA400,800;" + label("A"))
            << "operand count " << n;
    }
}

TEST_F(TextConversion, StringRunningPastTheEndOfTheFileDamagesTheDrawing) {
    Words words = kSized + singleByteText(1000, 2000, "ABCD");
    words.pop_back();
    convert(words);
    EXPECT_EQ(result.outcome, DrawingOutcome::Damaged);
}

TEST_F(TextConversion, KanaAfterAlphanumericsSwitchesCharacterSetsOnceEachWay) {
    settings.kana = CharSetChoice::HalfWidth;
    EXPECT_EQ(convert(kSized + singleByteText(1000, 2000,
                                              "A\xB1\xB2"
                                              "B")),
              "DI1.0,0.0;ES0.0;PUSS;SI0.2,0.3;PA400,800;" + label("A") + "CS8;PA520,800;" +
                  label("1") + "PA640,800;" + label("2") + "CS6;PA760,800;" + label("B"));
}

TEST_F(TextConversion, EachDrawingStartsWithStandardSetSizeAndSetAgain) {
    settings.kana = CharSetChoice::HalfWidth;
    convert(kSized + singleByteText(1000, 2000, "\xB1"));
    // Size, direction and pitch carry over; "SS;SI" and the set do not.
    EXPECT_EQ(convert(singleByteText(1000, 2000,
                                     "\xB1"
                                     "A")),
              "PUSS;SI0.2,0.3;CS8;PA400,800;" + label("1") + "CS6;PA520,800;" + label("A"));
}

TEST_F(TextConversion, FullWidthAlphanumericSettingSendsLettersThroughTheKanjiSet) {
    settings.alnum = CharSetChoice::FullWidth;
    EXPECT_EQ(convert(kSized + singleByteText(1000, 2000, "A")),
              "DI1.0,0.0;ES0.0;PUPA384,824;SA;DV0;SI0.27338,0.40336;" + label("#A"));
}

TEST_F(TextConversion, SlantWordsBeyondTheLimitArePassedOver) {
    EXPECT_EQ(convert(slant({30000, 1500}) + kSized + singleByteText(1000, 2000, "A")),
              "DI1.0,0.0;ES0.0;SL0.268;PUSS;SI0.2,0.3;PA400,800;" + label("A"));
    EXPECT_EQ(
        convert(slant({static_cast<std::uint16_t>(-30000), static_cast<std::uint16_t>(-1500)}) +
                singleByteText(1000, 2000, "A")),
        "SL-0.268;PUSS;SI0.2,0.3;PA400,800;" + label("A"));
}

TEST_F(TextConversion, NegativeDirectionWordCountsFromTheFullWordRange) {
    // FF9C is -100: 65436 hundredths, 654.36 degrees (65434 would give 0.41215).
    EXPECT_EQ(convert(direction(-100) + singleByteText(0, 0, "")), "DI0.41247,-0.91097;PU");
}

TEST_F(TextConversion, SpacingIsComputedOnlyWhenThePitchChanges) {
    // The second record's width would give ES-1.0.
    EXPECT_EQ(convert(direction(0) + charSize(200, 300, 300) + charSize(400, 300, 300) +
                      singleByteText(1000, 2000, "A")),
              "DI1.0,0.0;ES0.0;PUSS;SI0.4,0.3;PA400,800;" + label("A"));
}

TEST_F(TextConversion, PitchBelowOneAndAHalfWidthsGivesNegativeSpacing) {
    EXPECT_EQ(convert(charSize(2000, 300, 1500) + singleByteText(0, 0, "")), "ES-1.0;PU");
    EXPECT_EQ(convert(charSize(200, 300, 600) + singleByteText(0, 0, "")), "ES1.0;PU");
}

TEST_F(TextConversion, ZeroWidthOrZeroPitchKeepsThePendingSpacing) {
    EXPECT_EQ(convert(charSize(200, 300, 600) + charSize(0, 300, 900) + singleByteText(0, 0, "")),
              "ES1.0;PU");
    EXPECT_EQ(convert(charSize(200, 300, 300) + charSize(200, 300, 0) + singleByteText(0, 0, "")),
              "ES0.0;PU");
    // The zero pitch was remembered: the same pitch again is a change.
    EXPECT_EQ(convert(charSize(200, 300, 0) + charSize(200, 300, 600) + singleByteText(0, 0, "")),
              "ES1.0;PU");
}

TEST_F(TextConversion, LongSizeRecordTakesSignedLongsAndWrapsANegativePitch) {
    // Pitch -1 is 4294967295: r = 14316557.65, extra 14316556.65.
    EXPECT_EQ(convert(charSizeLong(-200, 300, -1) + singleByteText(0, 0, "")), "ES14316556.65;PU");
    EXPECT_EQ(state.text.charWidth, -200);
    EXPECT_EQ(state.text.charHeight, 300);
    EXPECT_EQ(state.text.charPitch, 4294967295.0);
    EXPECT_EQ(convert(charSizeLong(70000, 300, 210000) + singleByteText(1000, 2000, "A")),
              "ES1.0;PUSS;SI70.0,0.3;PA400,800;" + label("A"));
}

TEST_F(TextConversion, ShortSizeRecordReadsThePitchUnsigned) {
    convert(charSize(-200, -300, 0xFFFF));
    EXPECT_EQ(state.text.charWidth, -200);
    EXPECT_EQ(state.text.charHeight, -300);
    EXPECT_EQ(state.text.charPitch, 65535.0);
}

TEST_F(TextConversion, TextBlockStartSelectsTheAnnotationPenOnce) {
    EXPECT_EQ(convert(textBlock(true) + textBlock(false) + textBlock(true)), "SP1;LT;");
    EXPECT_EQ(state.style.penMode, 'T');
    EXPECT_TRUE(state.style.textActive);
    convert(textBlock(true) + textBlock(false));
    EXPECT_FALSE(state.style.textActive);
}

TEST_F(TextConversion, TextBlockAfterThePatternPenSwitchesOnlyToADifferentPen) {
    const Words start{0x0153, 0x5453};
    state.style.penMode = 'P';
    state.style.patternFitted = true;
    EXPECT_EQ(direct(start, convertTextBlock), "");
    EXPECT_EQ(state.style.penMode, 'P');
    EXPECT_TRUE(state.style.patternFitted);

    settings.penPattern = "SP4;";
    EXPECT_EQ(direct(start, convertTextBlock), "SP1;LT;");
    EXPECT_EQ(state.style.penMode, 'T');
    EXPECT_FALSE(state.style.patternFitted);
}

TEST_F(TextConversion, UnknownBlockMarkerOnlyConsumesItsWord) {
    state.style.textActive = true;
    EXPECT_EQ(direct(Words{0x0153, 0x1234}, convertTextBlock), "");
    EXPECT_TRUE(state.style.textActive);
    EXPECT_EQ(consumed, 2u);
}

TEST_F(TextConversion, AnnotationLineDrawsWithTheAnnotationPen) {
    settings.penText = "SP5;";
    EXPECT_EQ(convert(record(0x044E, {1000, 2000, 1500, 1800})), "SP5;LT;PUPA400,800;PDPR200,-80;");
    state.page.rotated = true;
    EXPECT_EQ(convert(textBlock(true) + record(0x044E, {1000, 2000, 1500, 1800})),
              "SP5;LT;PUPA800,400;PDPR-80,200;");
}

} // namespace
} // namespace kesto::texttest
