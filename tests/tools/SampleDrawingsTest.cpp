#include "composer/SampleDrawings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace kesto {
namespace {

// The committed samples must stay small.
constexpr std::size_t MaxSampleBytes = 1024 * 1024;

struct Sample {
    std::string file;
    std::function<OfiComposer()> compose;
};

std::vector<Sample> samples() {
    return {{"PART-A3.OFI", samplePartA3},
            {"LAYOUT-A1.OFI", sampleLayoutA1},
            {"ROTATED-A4.OFI", sampleRotatedA4},
            {"TEXT-A4.OFI", sampleTextA4}};
}

bool endsWithEndRecord(std::span<const std::uint8_t> v) {
    return v.size() >= 4 && v[v.size() - 4] == 0x1B && v[v.size() - 3] == 0x40 &&
           v[v.size() - 2] == 0x45 && v[v.size() - 1] == 0x00;
}

TEST(SampleDrawings, EachIsSmallWordAlignedAndEndsWithTheEndRecord) {
    for (const auto& s : samples()) {
        const OfiComposer c = s.compose();
        EXPECT_LT(c.size(), MaxSampleBytes) << s.file;
        EXPECT_EQ(c.size() % 2, 0u) << s.file;
        EXPECT_TRUE(endsWithEndRecord(c.view())) << s.file;
        // The first record after the preamble is the scale record.
        const auto v = c.view();
        EXPECT_EQ(v[128], 0x1B) << s.file;
        EXPECT_EQ(v[129], 0x21) << s.file;
        EXPECT_EQ(v[130], 0x57) << s.file;
    }
}

TEST(SampleDrawings, CommittedFilesMatchWhatTheComposerWrites) {
    for (const auto& s : samples()) {
        std::ifstream in(std::filesystem::path(KESTO_SAMPLES_DIR) / s.file, std::ios::binary);
        ASSERT_TRUE(in) << s.file << " is missing; run kesto-compose samples samples";
        const std::vector<std::uint8_t> committed((std::istreambuf_iterator<char>(in)),
                                                  std::istreambuf_iterator<char>());
        EXPECT_TRUE(committed == s.compose().data())
            << s.file << " is stale; run kesto-compose samples samples";
    }
}

TEST(LargeDrawing, ReachesTheRequestedSizeAndEndsWithTheEndRecord) {
    constexpr std::size_t target = 512 * 1024;
    for (auto kind : {LargeDrawingKind::Mixed, LargeDrawingKind::TextHeavy}) {
        const OfiComposer c = composeLargeDrawing(target, kind);
        EXPECT_GE(c.size(), target);
        EXPECT_LT(c.size(), target + 16 * 1024) << "overshoots by more than one detail cell";
        EXPECT_TRUE(endsWithEndRecord(c.view()));
    }
}

TEST(LargeDrawing, SameSizeGivesTheSameBytes) {
    EXPECT_TRUE(composeLargeDrawing(64 * 1024).data() == composeLargeDrawing(64 * 1024).data());
}

} // namespace
} // namespace kesto
