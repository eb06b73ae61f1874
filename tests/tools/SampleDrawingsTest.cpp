#include "composer/SampleDrawings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kesto {
namespace {

// The committed samples must stay small.
constexpr std::size_t MaxSampleBytes = 1024 * 1024;

bool endsWithEndRecord(std::span<const std::uint8_t> v) {
    return v.size() >= 4 && std::ranges::equal(v.last(4), std::array{0x1B, 0x40, 0x45, 0x00});
}

TEST(SampleDrawings, CommittedFilesAreSmallCompleteAndWhatTheComposerWritesNow) {
    const std::pair<const char*, OfiComposer (*)()> samples[] = {
        {"PART-A3.OFI", samplePartA3},
        {"LAYOUT-A1.OFI", sampleLayoutA1},
        {"ROTATED-A4.OFI", sampleRotatedA4},
        {"TEXT-A4.OFI", sampleTextA4}};
    for (const auto& [file, compose] : samples) {
        const OfiComposer c = compose();
        EXPECT_LT(c.size(), MaxSampleBytes) << file;
        EXPECT_EQ(c.size() % 2, 0u) << file;
        EXPECT_TRUE(endsWithEndRecord(c.view())) << file;
        EXPECT_EQ(c.view()[128] | c.view()[129] << 8 | c.view()[130] << 16, 0x57211B)
            << file << ": the scale record comes first";
        std::ifstream in(std::filesystem::path(KESTO_SAMPLES_DIR) / file, std::ios::binary);
        ASSERT_TRUE(in) << file << " is missing; run kesto-compose samples samples";
        const std::vector<std::uint8_t> committed((std::istreambuf_iterator<char>(in)), {});
        EXPECT_TRUE(committed == c.data())
            << file << " is stale; run kesto-compose samples samples";
    }
}

TEST(LargeDrawing, ReachesTheRequestedSizeRepeatablyAndEndsWithTheEndRecord) {
    constexpr std::size_t target = 512 * 1024;
    for (auto kind :
         {LargeDrawingKind::Mixed, LargeDrawingKind::TextHeavy, LargeDrawingKind::Geometry}) {
        const OfiComposer c = composeLargeDrawing(target, kind);
        EXPECT_GE(c.size(), target);
        EXPECT_LT(c.size(), target + 16 * 1024) << "overshoots by more than one detail cell";
        EXPECT_TRUE(endsWithEndRecord(c.view()));
        EXPECT_TRUE(composeLargeDrawing(target, kind).data() == c.data());
    }
}

} // namespace
} // namespace kesto
