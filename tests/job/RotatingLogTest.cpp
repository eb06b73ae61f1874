// The Windows service's log file: bounded on the disk, nothing of the newest
// lines lost or cut when it moves on to a new file.

#include "app/RotatingLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> linesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        EXPECT_TRUE(!line.empty() && line.back() == '\r') << "a line without CR LF in " << file;
        lines.push_back(line.substr(20, line.size() - 21)); // after the time, before CR
    }
    return lines;
}

TEST(RotatingLog, KeepsTheNewestLinesWholeWithinTheLimitAndDropsTheOldest) {
    struct Case {
        std::uintmax_t limit;
        int oldFiles;
        int lines;
        std::size_t lineLength; // of the text, without time and line end
    };
    const Case cases[] = {
        {200, 2, 50, 8},  // many rotations
        {200, 1, 7, 8},   // one old file only
        {200, 0, 30, 8},  // no old file: begins again
        {100, 2, 5, 150}, // every line longer than the limit: one file each
        {4096, 2, 20, 8}, // never full: one file
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("limit " + std::to_string(c.limit) + ", old files " +
                     std::to_string(c.oldFiles) + ", line length " + std::to_string(c.lineLength));
        const fs::path dir =
            fs::temp_directory_path() /
            ("kesto-log-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        const fs::path file = dir / "kesto-service.log";
        std::vector<std::string> written;
        {
            kesto::RotatingLog log(file, c.limit, c.oldFiles);
            for (int i = 0; i < c.lines; ++i) {
                std::string text = std::to_string(i);
                text.resize(c.lineLength, '.');
                written.push_back(text);
                ASSERT_TRUE(log.write(text));
            }
        }
        // Oldest first: NAME.N ... NAME.1, NAME.
        std::vector<std::string> kept;
        for (int n = c.oldFiles + 1; n >= 0; --n) {
            fs::path part = file;
            if (n > 0) part += "." + std::to_string(n);
            if (n == c.oldFiles + 1) {
                EXPECT_FALSE(fs::exists(part)) << "more old files than allowed";
                continue;
            }
            if (!fs::exists(part)) continue;
            const auto lines = linesOf(part);
            if (lines.size() > 1) {
                EXPECT_LE(fs::file_size(part), c.limit) << part;
            }
            kept.insert(kept.end(), lines.begin(), lines.end());
        }
        // What is kept is the newest lines, in order, none cut.
        ASSERT_FALSE(kept.empty());
        ASSERT_LE(kept.size(), written.size());
        EXPECT_TRUE(std::equal(kept.begin(), kept.end(), written.end() - kept.size()));
        fs::remove_all(dir);
    }
}

} // namespace
