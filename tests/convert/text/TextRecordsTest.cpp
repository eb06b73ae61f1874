// Standard-set text: attribute records, single-byte strings, block markers
// and the annotation line.
#include "TextTestSupport.h"

#include <tuple>

namespace kesto::texttest {
namespace {

const std::string kHead = "DI1.0,0.0;ES0.0;PUSS;SI0.2,0.3;";

// Scale 10, origin (0, 0): "AB" at (1000, 2000), pitch 300, at 0 and 90
// degrees and on a turned sheet.
TEST_F(TextConversion, WorkedExampleWritesDirectionSpacingSizeAndOneLabelPerCharacter) {
    EXPECT_EQ(sizedString("AB"), kHead + "PA400,800;" + label("A") + "PA520,800;" + label("B"));
    EXPECT_EQ(result.outcome, DrawingOutcome::Finished);
    EXPECT_EQ(convert(direction(9000) + charSize(200, 300, 300) + singleByteText(1000, 2000, "AB")),
              "DI0.0,1.0;ES0.0;PUSS;SI0.2,0.3;PA400,800;" + label("A") + "PA400,680;" + label("B"));
    newRun();
    state.page.rotated = true;
    EXPECT_EQ(sizedString("AB"),
              "DI0.0,1.0;ES0.0;PUSS;SI0.2,0.3;PA800,400;" + label("A") + "PA800,520;" + label("B"));
}

TEST_F(TextConversion, UnchangedAttributesAreNotWrittenAgainForTheNextString) {
    EXPECT_EQ(convert(kSized + singleByteText(1000, 2000, "A") + direction(0) +
                      singleByteText(1000, 2300, "B")),
              kHead + "PA400,800;" + label("A") + "PUPA400,920;" + label("B"));
}

// A space as the first byte of a word takes its place without a label, as
// the second byte it is a label; the padding space of an odd string writes
// nothing.
TEST_F(TextConversion, SpacesWriteALabelOnlyAsTheSecondByteOfAWord) {
    EXPECT_EQ(sizedString("A BC DE"), kHead + "PA400,800;" + label("A") + "PA520,800;" +
                                          label(" ") + "PA640,800;" + label("B") + "PA760,800;" +
                                          label("C") + "PA1000,800;" + label("D") + "PA1120,800;" +
                                          label("E"));
}

TEST_F(TextConversion, BeforeAnyDirectionRecordAllCharactersFallOnTheOrigin) {
    EXPECT_EQ(convert(charSize(200, 300, 300) + singleByteText(1000, 2000, "AB")),
              "ES0.0;PUSS;SI0.2,0.3;PA400,800;" + label("A") + "PA400,800;" + label("B"));
}

// Either string record: 0x4141 after the short record is an ordinary word.
TEST_F(TextConversion, StringWithFewerThanThreeOperandsReadsOnlyItsOrigin) {
    for (std::uint16_t code : {0x4B, 0x4C}) {
        for (std::uint16_t n : {0, 1, 2}) {
            newRun();
            const Words shortString =
                record(static_cast<std::uint16_t>(code | (n << 8)), {1000, 2000});
            EXPECT_EQ(
                convert(kSized + shortString + Words{0x4141} + singleByteText(1000, 2000, "A")),
                "DI1.0,0.0;ES0.0;PUPUSS;SI0.2,0.3;PA400,800;" + label("A"))
                << "code " << code << ", operand count " << n;
        }
    }
}

TEST_F(TextConversion, StringRunningPastTheEndOfTheFileDamagesTheDrawing) {
    Words words = kSized + singleByteText(1000, 2000, "ABCD");
    words.pop_back();
    convert(words);
    EXPECT_EQ(result.outcome, DrawingOutcome::Damaged);
}

TEST_F(TextConversion, KanaSwitchCharacterSetsOnceEachWayAndEachDrawingStartsAgain) {
    settings.kana = CharSetChoice::HalfWidth;
    EXPECT_EQ(sizedString("A\xB1\xB2\x42"), kHead + "PA400,800;" + label("A") + "CS8;PA520,800;" +
                                                label("1") + "PA640,800;" + label("2") +
                                                "CS6;PA760,800;" + label("B"));
    // Size, direction and pitch carry over; "SS;SI" and the set do not.
    EXPECT_EQ(convert(singleByteText(1000, 2000, "\xB1\x41")),
              "PUSS;SI0.2,0.3;CS8;PA400,800;" + label("1") + "CS6;PA520,800;" + label("A"));
}

TEST_F(TextConversion, SlantWordsBeyondTheLimitArePassedOverAndDirectionWordsAreUnsigned) {
    // FF9C is -100: 65436 hundredths, 654.36 degrees (65434 would give 0.41215).
    EXPECT_EQ(convert(direction(-100) + singleByteText(0, 0, "")), "DI0.41247,-0.91097;PU");
    EXPECT_EQ(convert(slant({30000, 1500}) + kSized + singleByteText(1000, 2000, "A")),
              "DI1.0,0.0;ES0.0;SL0.268;PUSS;SI0.2,0.3;PA400,800;" + label("A"));
    EXPECT_EQ(convert(slant({0x8AD0, 0xFA24}) + singleByteText(1000, 2000, "A")), // -30000, -1500
              "SL-0.268;PUSS;SI0.2,0.3;PA400,800;" + label("A"));
}

// Each row starts a new run.  A width or pitch of 0 gives no spacing: the
// pitch is remembered and the pending "ES" stays.
TEST_F(TextConversion, SpacingIsComputedWhenThePitchChangesAndNeverDividesByZero) {
    const std::pair<Words, std::string> cases[] = {
        {charSize(200, 300, 300) + charSize(400, 300, 300), "ES0.0;"}, // same pitch: kept
        {charSize(2000, 300, 1500), "ES-1.0;"},
        {charSize(200, 300, 600), "ES1.0;"},
        {charSize(200, 300, 600) + charSize(0, 300, 900), "ES1.0;"},
        {charSize(200, 300, 300) + charSize(200, 300, 0), "ES0.0;"},
        {charSize(200, 300, 0) + charSize(200, 300, 600), "ES1.0;"},
        // Pitch -1 is 4294967295: r = 14316557.65, extra 14316556.65.
        {charSizeLong(-200, 300, -1), "ES14316556.65;"},
        {charSizeLong(70000, 300, 210000), "ES1.0;"}};
    for (const auto& [records, spacing] : cases) {
        newRun();
        EXPECT_EQ(convert(records + singleByteText(0, 0, "")), spacing + "PU") << spacing;
    }
    newRun();
    EXPECT_EQ(convert(charSizeLong(70000, 300, 210000) + singleByteText(1000, 2000, "A")),
              "ES1.0;PUSS;SI70.0,0.3;PA400,800;" + label("A"));
}

TEST_F(TextConversion, LongSizeRecordTakesSignedLongsAndTheShortOneAnUnsignedPitch) {
    convert(charSizeLong(-200, 300, -1));
    EXPECT_EQ(std::tuple(state.text.charWidth, state.text.charHeight, state.text.charPitch),
              std::tuple(-200, 300, 4294967295.0));
    convert(charSize(-200, -300, 0xFFFF));
    EXPECT_EQ(std::tuple(state.text.charWidth, state.text.charHeight, state.text.charPitch),
              std::tuple(-200, -300, 65535.0));
}

TEST_F(TextConversion, TextBlockStartSelectsTheAnnotationPenOnce) {
    EXPECT_EQ(convert(textBlock(true) + textBlock(false) + textBlock(true)), "SP1;LT;");
    EXPECT_EQ(state.style.penMode, PenMode::Annotation);
    EXPECT_TRUE(state.style.textActive);
    convert(textBlock(true) + textBlock(false));
    EXPECT_FALSE(state.style.textActive);
    // An unknown marker only consumes its word.
    state.style.textActive = true;
    EXPECT_EQ(direct(Words{0x0153, 0x1234}, convertTextBlock), "");
    EXPECT_TRUE(state.style.textActive);
    EXPECT_EQ(consumed, 2u);
}

TEST_F(TextConversion, TextBlockAfterThePatternPenSwitchesOnlyToADifferentPen) {
    const Words start{0x0153, 0x5453};
    state.style.penMode = PenMode::Pattern;
    state.style.patternFitted = true;
    EXPECT_EQ(direct(start, convertTextBlock), "");
    EXPECT_EQ(state.style.penMode, PenMode::Pattern);
    EXPECT_TRUE(state.style.patternFitted);
    settings.penPattern = "SP4;";
    EXPECT_EQ(direct(start, convertTextBlock), "SP1;LT;");
    EXPECT_EQ(state.style.penMode, PenMode::Annotation);
    EXPECT_FALSE(state.style.patternFitted);
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
