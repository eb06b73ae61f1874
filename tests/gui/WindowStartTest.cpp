#include "ui/logic/WindowStart.h"

#include <gtest/gtest.h>

namespace kesto {
namespace {

TEST(WindowStart, AutoInEitherCaseIsTheOneShotStart) {
    for (const char* arg : {"AUTO", "auto"}) {
        const WindowStart s = windowStartFor(arg);
        EXPECT_EQ(s.mode, StartMode::OneShot) << arg;
        EXPECT_EQ(s.pollingMs, 0) << arg;
        EXPECT_EQ(s.buttonCaption, "自動") << arg;
    }
}

TEST(WindowStart, OtherSpellingsAndNoArgumentAreInteractive) {
    for (const char* arg : {"", "Auto", "aUTO", "auto5", "AUT", "xAUTO30", " AUTO"}) {
        const WindowStart s = windowStartFor(arg);
        EXPECT_EQ(s.mode, StartMode::Interactive) << arg;
        EXPECT_EQ(s.pollingMs, 0) << arg;
        EXPECT_TRUE(s.buttonCaption.empty()) << arg;
    }
}

TEST(WindowStart, AutoWithSecondsPollsAndShowsTheWholeSeconds) {
    const WindowStart s = windowStartFor("AUTO30");
    EXPECT_EQ(s.mode, StartMode::Polling);
    EXPECT_EQ(s.pollingMs, 30000);
    EXPECT_EQ(s.buttonCaption, "自動\n 30秒");
}

TEST(WindowStart, HalfASecondPollsEvery500MsAndReadsZeroSeconds) {
    const WindowStart s = windowStartFor("AUTO0.5");
    EXPECT_EQ(s.pollingMs, 500);
    EXPECT_EQ(s.buttonCaption, "自動\n 0秒");
}

TEST(WindowStart, LongIntervalsStopAtTheSixteenBitLimit) {
    const WindowStart s = windowStartFor("AUTO100");
    EXPECT_EQ(s.pollingMs, 65535);
    EXPECT_EQ(s.buttonCaption, "自動\n 65秒");
    EXPECT_EQ(windowStartFor("AUTO99999999999999999999").pollingMs, 65535);
}

TEST(WindowStart, LettersZeroAndNegativeSecondsPollNever) {
    for (const char* arg : {"AUTOabc", "AUTO0", "AUTO-5", "AUTO "}) {
        const WindowStart s = windowStartFor(arg);
        EXPECT_EQ(s.mode, StartMode::Polling) << arg;
        EXPECT_EQ(s.pollingMs, 0) << arg;
        EXPECT_EQ(s.buttonCaption, "自動\n 0秒") << arg;
    }
}

TEST(WindowStart, SecondsAreRoundedToTheNearestMillisecondHalvesToEven) {
    EXPECT_EQ(windowStartFor("AUTO1.0625").pollingMs, 1062); // 1062.5 → 1062
    EXPECT_EQ(windowStartFor("AUTO1.1875").pollingMs, 1188); // 1187.5 → 1188
    EXPECT_EQ(windowStartFor("AUTO 2").pollingMs, 2000);     // leading spaces skipped
}

} // namespace
} // namespace kesto
