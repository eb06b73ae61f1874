// Which files a run takes, when it may start, and how the start argument
// and the window's fields become the run's settings.
#include "JobTestSupport.h"

#include "job/OfiScan.h"
#include "job/Snapshot.h"
#include "job/StartMode.h"
#include "job/WorkLock.h"

#include <atomic>
#include <set>
#include <thread>
#include <tuple>

#include <gtest/gtest.h>

#include <unistd.h>

namespace kesto {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

TEST(Scan, TakesNonEmptyFilesWhoseExtensionIsOfiInTheFolderListingsOrder) {
    test::ProgramFolder folder;
    const std::set<std::string> taken{"Q.OFI", "B.ofi", "PLAN.V1.OFI", "M.OFI"};
    for (const auto& name : taken)
        folder.write(name, "x");
    // A CAD system's temporary before its rename, a list, wrong spelling,
    // no extension, no name before the dot.
    for (const char* name :
         {"PLAN.OFI.tmp", "X.OFI.bak", "OFILIST.TXT", "C.Ofi", "OFI", "D.TXT", ".OFI"})
        folder.write(name, "x");
    folder.write("EMPTY.OFI", "");
    fs::create_directory(folder / "OLD.OFI");
    test::writeBytes(folder / "OLD.OFI" / "IN.OFI", "x");

    std::vector<std::string> listed, scanned;
    for (const auto& e : fs::directory_iterator(folder.path()))
        if (taken.contains(e.path().filename().string()))
            listed.push_back(e.path().filename().string());
    Status problem;
    for (const auto& f : scanOfiFolder(folder.path(), &problem))
        scanned.push_back(f.name);
    EXPECT_EQ(scanned, listed);
    EXPECT_TRUE(problem.ok()) << problem.reason();
}

TEST(Scan, SaysWhatIsWrongWithAFolderItCannotList) {
    test::ProgramFolder folder;
    folder.write("FILE.OFI", "x");
    fs::create_directory(folder / "locked");
    fs::permissions(folder / "locked", fs::perms::none);
#ifdef _WIN32
    const bool root = true; // no such permissions to take away
#else
    const bool root = ::geteuid() == 0; // reads any folder
#endif
    for (const auto& [path, line] :
         {std::pair{folder / "missing", "OFIフォルダがありません: "},
          std::pair{folder / "FILE.OFI", "OFIフォルダがフォルダではありません: "},
          std::pair{folder / "locked", "OFIフォルダを読めません: "}}) {
        if (root && path == folder / "locked") continue;
        Status problem;
        EXPECT_TRUE(scanOfiFolder(path, &problem).empty());
        EXPECT_FALSE(problem.ok()) << path;
        EXPECT_TRUE(problem.reason().starts_with(line + path.string())) << problem.reason();
    }
    fs::permissions(folder / "locked", fs::perms::owner_all);
}

TEST(WorkFileLock, IsHeldByTheSystemNotByTheProcessIdWrittenInIt) {
    test::ProgramFolder folder;
    const fs::path wok = folder / kWorkFileName;
    const std::string mine = std::to_string(currentProcessId()) + "\n";
    WorkLock lock;
    ASSERT_TRUE(lock.acquire(wok));
    ASSERT_TRUE(lock.owned());
    // Readable while locked (a Windows lock must not cover the file's bytes).
    EXPECT_EQ(test::readBytes(wok), mine);
    WorkLock second;
    EXPECT_TRUE(second.acquire(wok));
    EXPECT_FALSE(second.owned());
    EXPECT_EQ(second.holder(), currentProcessId());
    lock.release();
    EXPECT_FALSE(fs::exists(wok));
    EXPECT_TRUE(second.acquire(wok));
    EXPECT_TRUE(second.owned()) << "free once released";
    second.release();

    // A work file left behind names a live process (an id reused after a
    // reboot, this very process): nobody holds the lock, so the run starts.
    for (const std::string& left : {mine, std::string("1\n"), std::string()}) {
        test::writeBytes(wok, left);
        EXPECT_TRUE(lock.acquire(wok));
        EXPECT_TRUE(lock.owned()) << left;
        EXPECT_EQ(test::readBytes(wok), mine);
        lock.release();
    }

    fs::create_directory(wok);
    const Status folderThere = lock.acquire(wok);
    EXPECT_FALSE(folderThere) << "a folder named Kesto.wok";
    EXPECT_NE(folderThere.reason().find(kWorkFileName), std::string::npos) << folderThere.reason();
    EXPECT_FALSE(lock.owned());
    WorkLock elsewhere;
    EXPECT_FALSE(elsewhere.acquire(folder / "no such folder" / kWorkFileName));
}

#ifndef _WIN32 // not yet tried under Wine
// Runs that start together take the work file in turn: never two owners at
// once, whoever removes the file as it finishes.
TEST(WorkFileLock, ManyRunsTakingItInTurnNeverHaveTwoOwnersAtOnce) {
    test::ProgramFolder folder;
    const fs::path wok = folder / kWorkFileName;
    std::atomic<int> owners{0}, most{0}, turns{0};
    std::vector<std::thread> runs;
    const auto end = std::chrono::steady_clock::now() + 4s;
    for (int r = 0; r < 6; ++r)
        runs.emplace_back([&] {
            while (turns < 400 && std::chrono::steady_clock::now() < end) {
                WorkLock lock;
                if (!lock.acquire(wok) || !lock.owned()) continue;
                const int now = ++owners;
                for (int seen = most.load();
                     now > seen && !most.compare_exchange_weak(seen, now);) {
                }
                std::this_thread::yield();
                --owners;
                ++turns;
                lock.release();
            }
        });
    for (auto& run : runs)
        run.join();
    EXPECT_EQ(most.load(), 1) << "two runs held the work file at once";
    EXPECT_GT(turns.load(), 50) << "too few turns to tell";
    EXPECT_FALSE(fs::exists(wok));
}
#endif

TEST(StartArguments, AutoRunsOnceAndAutoWithSecondsPollsAtThatIntervalUpTo65535Milliseconds) {
    for (const auto& [argument, mode, interval] :
         {std::tuple{"auto", StartMode::OneShot, 0u}, std::tuple{"AUTO", StartMode::OneShot, 0u},
          std::tuple{"Auto", StartMode::Interactive, 0u},
          std::tuple{"auto5", StartMode::Interactive, 0u},
          std::tuple{"AUTO0.5", StartMode::Polling, 500u},
          std::tuple{"AUTO 2", StartMode::Polling, 2000u},
          std::tuple{"AUTO100", StartMode::Polling, 65535u},
          std::tuple{"AUTOxyz", StartMode::Polling, 0u},
          std::tuple{"AUTO-0.5", StartMode::Polling, 0u}}) {
        const StartArguments start = startArgumentsFor(argument);
        EXPECT_EQ(start.mode, mode) << argument;
        EXPECT_EQ(start.interval, interval) << argument;
    }
}

TEST(Snapshot, KanjiFactorFieldsAreConvertedStrictlyAndABadOneIsNamedByItsLabel) {
    JobSettings settings;
    ASSERT_TRUE(
        settingsFromFields({{"MojiW", "0.5"}, {"MojiY", "-0.1"}}, settings, FieldRule::Run));
    EXPECT_FLOAT_EQ(settings.MojiW, 0.5f);
    EXPECT_FLOAT_EQ(settings.MojiY, -0.1f);

    for (const auto& [key, text, problem] :
         {std::tuple{"MojiW", "abc", "漢字幅変更倍率が数値ではありません"},
          std::tuple{"MojiH", "0.1x", "漢字高さ変更倍率が数値ではありません"},
          std::tuple{"MojiX", "", "漢字Ｘ座標変更倍率が数値ではありません"},
          std::tuple{"MojiY", "1..2", "漢字Ｙ座標変更倍率が数値ではありません"}}) {
        const Status s = settingsFromFields({{key, text}}, settings, FieldRule::Run);
        EXPECT_EQ(s.reason(), problem) << key << " " << text;
    }
}

TEST(Snapshot, ReductionAndFitTargetComeFromOfiSAndThePlotterSize) {
    struct Case {
        const char* ofiS;
        const char* plot;
        double reduction;
        int fitLong, fitShort;
    };
    for (const Case& c : {Case{"50", "A1ﾌﾟﾛｯﾀ", 0.5, 0, 0}, Case{"A3", "A1ﾌﾟﾛｯﾀ", 1, 393, 287},
                          Case{"A3", "A0ﾌﾟﾛｯﾀ", 1, 410, 274}}) {
        JobSettings settings;
        ASSERT_TRUE(
            settingsFromFields({{"OfiS", c.ofiS}, {"Plot", c.plot}}, settings, FieldRule::Run));
        const ConversionSettings s = conversionSettingsFrom(settings);
        EXPECT_DOUBLE_EQ(s.reduction, c.reduction) << c.ofiS << " " << c.plot;
        EXPECT_EQ(s.fitLong, c.fitLong) << c.ofiS << " " << c.plot;
        EXPECT_EQ(s.fitShort, c.fitShort) << c.ofiS << " " << c.plot;
    }
}

} // namespace
} // namespace kesto
