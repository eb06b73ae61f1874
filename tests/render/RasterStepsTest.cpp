// The pixel arithmetic of the raster painter done two segments at a time
// must give exactly the numbers of the one-by-one way, or the same drawing
// would come out differently depending on where a path's segments pair up.

#include "render/RasterSteps.h"

#include "RenderProbe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace kesto::render::raster {
namespace {

#if defined(__SSE2__)

// Against std::llround, which rounds halves away from zero: ties of both
// signs, either side of them, and numbers as large as a fixed-point place
// on a picture of 2^28 pixels.
TEST(RasterSteps, PairsRoundAsLlround) {
    const std::vector<double> values = {0.0,     -0.0,       0.49999999999999994,
                                        0.5,     -0.5,       1.5,
                                        -1.5,    2.5,        -2.5,
                                        3.5,     -3.5,       2.4999,
                                        -2.5001, 1e13 + 0.5, -1e13 - 0.5,
                                        65535.5, 17.75,      -17.25,
                                        1.7e13,  -3.0};
    for (std::size_t i = 0; i + 1 < values.size(); ++i) {
        alignas(16) std::int64_t out[2];
        _mm_store_si128(reinterpret_cast<__m128i*>(out),
                        roundPair(_mm_set_pd(values[i + 1], values[i])));
        EXPECT_EQ(out[0], std::llround(values[i])) << values[i];
        EXPECT_EQ(out[1], std::llround(values[i + 1])) << values[i + 1];
    }
}

void expectSame(const SegmentSteps& pair, const SegmentSteps& one) {
    EXPECT_EQ(pair.fx, one.fx);
    EXPECT_EQ(pair.fy, one.fy);
    EXPECT_EQ(pair.stepX, one.stepX);
    EXPECT_EQ(pair.stepY, one.stepY);
    EXPECT_EQ(pair.steps, one.steps);
    EXPECT_EQ(pair.run, one.run);
    EXPECT_EQ(pair.flat, one.flat);
}

// Corners that make the cases apart (no length, flat, steep, exactly
// diagonal, whole and half pixels, nibs of one to five pixels), then many
// paths on a grid of 1/8 pixel, where fixed-point halves are common.
TEST(RasterSteps, PairedSegmentsAsOneByOne) {
    std::vector<std::vector<double>> paths = {
        {10, 10, 10, 10, 10, 10},       {10, 10, 20, 10, 20, 30},
        {10.5, 10, 30.5, 30, 10.5, 50}, {100, 100, 99.25, 140, 60, 140},
        {5, 5, 6, 6.5, 6.25, 6.5},      {300, 7.5, 301.5, 7.5, 301.5, 7.5},
    };
    std::mt19937 random(2024);
    std::uniform_int_distribution<int> eighths(80, 8 * 300);
    for (int i = 0; i < 3000; ++i) {
        std::vector<double> path;
        for (int k = 0; k < 6; ++k)
            path.push_back(eighths(random) / 8.0);
        paths.push_back(path);
    }
    for (const double nib : {1.0, 1.7, 2.5, 3.0, 4.6}) {
        for (const auto& p : paths) {
            SCOPED_TRACE(testing::Message() << nib << ": " << p[0] << "," << p[1] << " " << p[2]
                                            << "," << p[3] << " " << p[4] << "," << p[5]);
            SegmentSteps first, second;
            segmentStepsPair(p[0], p[1], p[2], p[3], p[4], p[5], nib, first, second);
            expectSame(first, segmentSteps(p[0], p[1], p[2], p[3],
                                           acrossLine(p[2] - p[0], p[3] - p[1], nib)));
            expectSame(second, segmentSteps(p[2], p[3], p[4], p[5],
                                            acrossLine(p[4] - p[2], p[5] - p[3], nib)));
        }
    }
}

#endif

// A path is drawn in pieces, its segments' set-ups paired: drawn whole it
// must ink the pixels of its segments drawn one by one, each with the nib
// at both ends (a pen wide enough to mark every corner).  Zigzags of a few
// hundred corners, on the sheet and running off its edge.
TEST(RasterSteps, ALongPathDrawsAsItsSegments) {
    for (const double left : {300.0, -800.0}) {
        SCOPED_TRACE(left);
        std::vector<Point> corners;
        for (int i = 0; i < 300; ++i)
            corners.push_back({left + i * 11.3, 1500 + (i % 7) * 137.9 + (i % 2) * 40.25});
        const auto at = [](Point p) { return std::to_string(p.x) + "," + std::to_string(p.y); };
        std::string whole = "SP3;PU" + at(corners[0]) + ";PD";
        std::string apart = "SP3;";
        for (std::size_t i = 1; i < corners.size(); ++i) {
            whole += (i > 1 ? "," : "") + at(corners[i]);
            apart += "PU" + at(corners[i - 1]) + ";PD" + at(corners[i]) + ";";
        }
        const Rendered path = draw(kSquareSheet + whole + ";PU;SP0;AF;");
        const Rendered segments = draw(kSquareSheet + apart + "PU;SP0;AF;");
        ASSERT_FALSE(path.image.isNull()) << path.result.status.reason();
        EXPECT_TRUE(path.image == segments.image);
    }
}

} // namespace
} // namespace kesto::render::raster
