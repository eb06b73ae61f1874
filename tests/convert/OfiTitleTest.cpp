// The title line of a drawing, read from the head of its file: a file that
// ends before or inside the title gives spaces for what is missing, never the
// bytes of an earlier read or NULs.
#include "ofi/OfiTitle.h"

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include <unistd.h>

namespace kesto {
namespace {

namespace fs = std::filesystem;

TEST(OfiTitle, FilesOfEveryShortLengthGiveTheirTitleBytesAndSpacesForTheRest) {
    const fs::path file =
        fs::temp_directory_path() / ("kesto-title-" + std::to_string(::getpid()) + ".OFI");
    const std::size_t end = kTitleOffset + kTitleBytes + kTitleFieldBytes;
    auto byteAt = [](std::size_t i) { return static_cast<char>('A' + i % 26); };
    for (std::size_t length = 0; length <= end + 2; ++length) {
        std::string bytes;
        for (std::size_t i = 0; i < length; ++i)
            bytes += byteAt(i);
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
        std::string expected;
        for (std::size_t at = kTitleOffset; at < end; ++at) {
            if (at == kTitleOffset + kTitleBytes) expected += ',';
            expected += at < length ? byteAt(at) : ' ';
        }
        const auto line = readTitleLine(file);
        ASSERT_TRUE(line) << length;
        EXPECT_EQ(*line, expected) << "a file of " << length << " bytes";
        EXPECT_EQ(line->find('\0'), std::string::npos) << length;
    }
    fs::remove(file);
    EXPECT_FALSE(readTitleLine(file)) << "no file, no title";
}

} // namespace
} // namespace kesto
