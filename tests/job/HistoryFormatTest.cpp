// The history's forms (the aligned table, JSON and CSV, dates, local
// times) and the fingerprints the journal keeps.
#include "JobTestSupport.h"

#include "io/Sha256.h"
#include "job/HistoryFormat.h"
#include "job/LocalTime.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace kesto {
namespace {

using Names = std::vector<std::string>;

// FIPS 180-4 examples (NIST's SHA-256 example values), fed in uneven slices so
// that the block buffer is crossed at every offset.
TEST(Sha256, GivesTheStandardsExampleDigests) {
    const struct {
        std::string input;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
         "lmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    // The processor's SHA instructions where this machine has them, and the
    // portable rounds always.
    std::printf("SHA-256 by the processor's instructions: %s\n",
                Sha256::processorRoundsUsed() ? "yes" : "no");
    for (const Sha256::Engine engine : {Sha256::Engine::Best, Sha256::Engine::Portable}) {
        for (const auto& c : cases) {
            Sha256 whole(engine);
            whole.add(c.input);
            EXPECT_EQ(whole.hexDigest(), c.digest) << c.input.size() << " bytes at once";
            Sha256 sliced(engine);
            for (std::size_t at = 0, step = 1; at < c.input.size();
                 at += step, step = step % 67 + 1)
                sliced.add(std::string_view(c.input).substr(at, step));
            EXPECT_EQ(sliced.hexDigest(), c.digest) << c.input.size() << " bytes in slices";
        }
    }
    EXPECT_EQ(sha256Hex("abc"), cases[1].digest);
}

TEST(HistoryFormat, CountsFullWidthAsTwoColumnsAndShowsForeignBytesEscaped) {
    const struct {
        std::string text;
        std::size_t width;
        std::string shown;
    } cases[] = {
        {"PLAN-180", 8, "PLAN-180"},
        {"配置図", 6, "配置図"},
        {"ﾌｧｲﾙ", 4, "ﾌｧｲﾙ"},               // half-width katakana
        {"Ａ１", 4, "Ａ１"},               // full-width letters
        {"\x94\x7A.OFI", 9, "\\x94z.OFI"}, // a Shift-JIS name
        {"\xE3\x81", 8, "\\xE3\\x81"},     // cut short
        {"\xC0\xAF", 8, "\\xC0\\xAF"},     // an overlong form
    };
    for (const auto& c : cases) {
        EXPECT_EQ(displayWidth(c.text), c.width) << c.shown;
        EXPECT_EQ(printableUtf8(c.text), c.shown);
    }
    JobRow row;
    row.id = 12;
    row.title = "部品\"図\", A3";
    row.ofiName = "P.OFI";
    row.outcome = outcome::kFailed;
    row.reason = "line 1\nline 2";
    row.ofiPath = "C:\\図\\\x94\x7A.OFI"; // a Windows path with a Shift-JIS name
    const std::string csv = historyCsv({row});
    EXPECT_TRUE(csv.starts_with("id,kind,")) << csv;
    EXPECT_NE(csv.find("\"部品\"\"図\"\", A3\""), std::string::npos) << csv;
    EXPECT_NE(csv.find("\"line 1\nline 2\""), std::string::npos) << csv;
    const std::string json = historyJson({row});
    EXPECT_NE(json.find("\"title\": \"部品\\\"図\\\", A3\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"reason\": \"line 1\\u000aline 2\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"ofi_path\": \"C:\\\\図\\\\\\\\x94z.OFI\""), std::string::npos) << json;
    // Columns line up whatever the width of the characters before them.
    JobRow other = row;
    other.title = "ABC";
    const std::string table = historyTable({row, other});
    std::vector<std::size_t> ofiColumn;
    for (std::size_t at = 0; at < table.size();) {
        const std::size_t end = table.find('\n', at);
        const std::string line = table.substr(at, end - at);
        const std::size_t ofi = line.rfind(ofiColumn.empty() ? "OFI" : "P.OFI");
        ofiColumn.push_back(displayWidth(line.substr(0, ofi)));
        at = end + 1;
    }
    EXPECT_EQ(ofiColumn, (std::vector<std::size_t>(3, ofiColumn[0]))) << table;
}

TEST(HistoryFormat, ReadsDatesAndRefusesWhatIsNone) {
    const auto day = parseLocalTime("2026-03-04");
    ASSERT_TRUE(day);
    EXPECT_EQ(parseLocalTime("2026-03-04 01:02:03").value() - *day, 3723000);
    EXPECT_EQ(parseLocalTime("2026-03-04T01:02").value() - *day, 3720000);
    EXPECT_EQ(localTimeText(*day), "2026-03-04 00:00:00");
    for (const char* bad :
         {"", "2026", "2026-13-01", "2026-03-04x", "2026-03-04 25:00", "2026-03-04 10:00 junk"})
        EXPECT_FALSE(parseLocalTime(bad)) << bad;
}

// A listing's times, worked out from one offset per quarter of an hour,
// against the C library's own local time for every moment: across the
// changes of summer time where the zone has them, leap days, and the ends
// of the range.
TEST(HistoryFormat, ListsEveryMomentAsTheSystemsLocalTimeShowsIt) {
    std::vector<std::int64_t> moments = {1, 951782400 /* 2000-02-29 */, 2147483647,
                                         253402300799 /* 9999-12-31 23:59:59 */};
    for (const std::int64_t changeDay :
         {1772928000 /* 2026-03-08 */, 1774742400 /* 03-29 */, 1761350400 /* 2025-10-25 */,
          1793491200 /* 11-01 */, 1767225600 /* 2026-01-01 */})
        for (std::int64_t t = changeDay - 86400; t < changeDay + 2 * 86400; t += 433)
            moments.push_back(t);
    std::vector<const char*> zones = {nullptr}; // the machine's own
#ifndef _WIN32
    const char* before = std::getenv("TZ");
    const std::string saved = before ? before : "";
    for (const char* zone :
         {"Asia/Tokyo", "America/New_York", "Europe/Berlin", "Australia/Lord_Howe", "UTC"})
        zones.push_back(zone);
#endif
    for (const char* zone : zones) {
#ifndef _WIN32
        if (zone) ::setenv("TZ", zone, 1);
        ::tzset();
#endif
        LocalTimeTexts listing; // one for the whole listing, as the history uses it
        for (const std::int64_t t : moments)
            ASSERT_EQ(listing(t * 1000),
                      localTime(static_cast<std::time_t>(t), "%Y-%m-%d %H:%M:%S"))
                << (zone ? zone : "local") << " " << t;
    }
#ifndef _WIN32
    before ? ::setenv("TZ", saved.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
#endif
}

} // namespace
} // namespace kesto
