#include "ui/logic/Twips.h"

#include <gtest/gtest.h>

namespace kesto {
namespace {

TEST(Twips, DefaultPositionLandsOnTheNearestPixel) {
    EXPECT_EQ(twipsToPixels(1150, 96), 77); // 76.67
    EXPECT_EQ(twipsToPixels(1250, 96), 83); // 83.33
    EXPECT_EQ(twipsToPixels(1440, 96), 96);
    EXPECT_EQ(twipsToPixels(1440, 144), 144);
    EXPECT_EQ(twipsToPixels(-1440, 96), -96);
}

TEST(Twips, PixelsGoBackToTwipsThroughTheResolution) {
    EXPECT_EQ(pixelsToTwips(96, 96), 1440);
    EXPECT_EQ(pixelsToTwips(77, 96), 1155);
    EXPECT_EQ(pixelsToTwips(100, 144), 1000);
    EXPECT_EQ(pixelsToTwips(-10, 96), -150);
}

TEST(Twips, HalvesGoToTheEvenNeighbour) {
    // 1 pixel at 2880 dpi is half a twip.
    EXPECT_EQ(pixelsToTwips(1, 2880), 0);
    EXPECT_EQ(pixelsToTwips(3, 2880), 2);
    EXPECT_EQ(pixelsToTwips(5, 2880), 2);
}

TEST(Twips, PositionsOutsideTheFileRangeAreLimited) {
    EXPECT_EQ(pixelsToTwips(100000, 96), 32767);
    EXPECT_EQ(pixelsToTwips(-100000, 96), -32768);
}

TEST(Twips, AnUnmovedWindowKeepsItsTwipsExactly) {
    EXPECT_EQ(twipsToKeep(1150, 77, 96), 1150);
    EXPECT_EQ(twipsToKeep(1250, 83, 96), 1250);
    EXPECT_EQ(twipsToKeep(1150, 78, 96), 1170); // moved by one pixel
    EXPECT_EQ(twipsToKeep(1150, 200, 96), 3000);
}

TEST(Twips, ANonsenseResolutionCountsAsNinetySixDpi) {
    EXPECT_EQ(twipsToPixels(1440, 0), 96);
    EXPECT_EQ(pixelsToTwips(96, -1), 1440);
}

} // namespace
} // namespace kesto
