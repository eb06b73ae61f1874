// The pens as the pictures show them, against what the README promises: pen
// 1 black 0.18 mm, 2 blue 0.35 mm, 3 red 0.5 mm; eight pens, then again.
#include "render/PenTable.h"

#include <gtest/gtest.h>

namespace kesto::render {
namespace {

enum class Hue { Black, Blue, Red };

Hue hueOf(std::uint32_t rgb) {
    const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    if (r < 0x40 && g < 0x40 && b < 0x40) return Hue::Black;
    return b > r && b > g ? Hue::Blue : Hue::Red;
}

TEST(PenTable, TheFirstThreePensAreBlackBlueAndRedAtTheirNibWidthsAndPensRepeatAfterEight) {
    const struct {
        int pen;
        Hue hue;
        double widthMm;
    } pens[] = {{1, Hue::Black, 0.18}, {2, Hue::Blue, 0.35}, {3, Hue::Red, 0.50}};
    for (const auto& p : pens) {
        EXPECT_EQ(hueOf(penLook(p.pen).rgb), p.hue) << p.pen;
        EXPECT_DOUBLE_EQ(penLook(p.pen).widthMm, p.widthMm) << p.pen;
    }
    for (int pen = 1; pen <= 8; ++pen) {
        EXPECT_EQ(penLook(pen + 8).rgb, penLook(pen).rgb) << pen;
        for (int other = 1; other < pen; ++other)
            EXPECT_NE(penLook(pen).rgb, penLook(other).rgb) << pen << " and " << other;
    }
    EXPECT_EQ(penLook(0).rgb, penLook(1).rgb) << "pen 0 draws as pen 1";
}

} // namespace
} // namespace kesto::render
