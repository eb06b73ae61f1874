// Which files a run takes, when it may start, and how the start argument
// and the window's fields become the run's settings.
#include "JobTestSupport.h"

#include "convert/Snapshot.h"
#include "job/run/OfiScan.h"
#include "job/run/StartMode.h"
#include "job/run/WorkLock.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

namespace kesto {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using test::ProgramFolder;

std::vector<std::string> scannedNames(const ProgramFolder& folder,
                                      std::chrono::milliseconds settle = 0ms) {
    std::vector<std::string> names;
    for (const auto& f : scanOfiFolder(folder.path(), settle))
        names.push_back(f.name);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Scan, TakesOnlyNonEmptyFilesWhoseNameHoldsDotOfiInUpperOrLowerCase) {
    ProgramFolder folder;
    folder.write("A.OFI", "");
    folder.write("B.ofi", std::string(100, 'b'));
    folder.write("C.Ofi", std::string(100, 'c'));
    folder.write("D.TXT", std::string(100, 'd'));
    EXPECT_EQ(scannedNames(folder), std::vector<std::string>{"B.ofi"});
}

TEST(Scan, TakesANameThatHoldsDotOfiAnywhere) {
    ProgramFolder folder;
    folder.write("X.OFI.bak", "x");
    folder.write("PLAN.V1.OFI", "p");
    folder.write("OFI", "o"); // no dot before it
    EXPECT_EQ(scannedNames(folder), (std::vector<std::string>{"PLAN.V1.OFI", "X.OFI.bak"}));
}

TEST(Scan, SkipsSubfoldersEvenWhenTheirNameLooksLikeAnOfiFile) {
    ProgramFolder folder;
    fs::create_directory(folder / "OLD.OFI");
    test::writeBytes(folder / "OLD.OFI" / "IN.OFI", "x");
    folder.write("NEW.OFI", "n");
    EXPECT_EQ(scannedNames(folder), std::vector<std::string>{"NEW.OFI"});
}

TEST(Scan, KeepsTheOrderOfTheFolderListing) {
    ProgramFolder folder;
    for (const char* name : {"Q.OFI", "A.OFI", "M.OFI", "Z.OFI", "B.OFI"})
        folder.write(name, "x");
    std::vector<std::string> listed;
    for (const auto& e : fs::directory_iterator(folder.path()))
        listed.push_back(e.path().filename().string());
    std::vector<std::string> scanned;
    for (const auto& f : scanOfiFolder(folder.path(), 0ms))
        scanned.push_back(f.name);
    EXPECT_EQ(scanned, listed);
}

TEST(Scan, OfAFolderThatDoesNotExistFindsNothing) {
    EXPECT_TRUE(scanOfiFolder("/nonexistent/kesto/folder", 0ms).empty());
}

TEST(HalfWrittenDrawings, AFileWrittenWithinTheSettleTimeIsLeftForALaterRun) {
    ProgramFolder folder;
    folder.write("FRESH.OFI", "still being written", false);
    folder.write("DONE.OFI", "finished long ago");
    EXPECT_EQ(scannedNames(folder, kSettleTime), std::vector<std::string>{"DONE.OFI"});

    test::makeOld(folder / "FRESH.OFI", std::chrono::seconds(3));
    EXPECT_EQ(scannedNames(folder, kSettleTime),
              (std::vector<std::string>{"DONE.OFI", "FRESH.OFI"}));
}

TEST(HalfWrittenDrawings, AFileThatGrewSinceTheScanCountsAsChanged) {
    ProgramFolder folder;
    folder.write("GROWING.OFI", "part one");
    const auto files = scanOfiFolder(folder.path(), kSettleTime);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(unchangedSinceScan(folder.path(), files[0]));

    std::ofstream(folder / "GROWING.OFI", std::ios::app) << " and part two";
    EXPECT_FALSE(unchangedSinceScan(folder.path(), files[0]));
}

TEST(HalfWrittenDrawings, TheSettleTimeIsTwoSeconds) {
    EXPECT_EQ(kSettleTime, 2000ms);
}

// A process id that is certainly not running: a child that has been reaped.
long deadProcessId() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

TEST(WorkFileLock, IsCreatedWithThisProcessIdAndRemovedOnRelease) {
    ProgramFolder folder;
    WorkLock lock;
    ASSERT_EQ(lock.acquire(folder / kWorkFileName), LockState::Acquired);
    EXPECT_EQ(test::readBytes(folder / kWorkFileName), std::to_string(::getpid()) + "\n");
    lock.release();
    EXPECT_FALSE(folder.has(kWorkFileName));
}

TEST(WorkFileLock, HeldByALiveProcessKeepsASecondRunOut) {
    ProgramFolder folder;
    const long live = ::getppid();
    test::writeBytes(folder / kWorkFileName, std::to_string(live) + "\n");
    WorkLock lock;
    EXPECT_EQ(lock.acquire(folder / kWorkFileName), LockState::Held);
    EXPECT_EQ(lock.holder(), live);
    lock.release();
    EXPECT_EQ(test::readBytes(folder / kWorkFileName), std::to_string(live) + "\n")
        << "another run's work file is not touched";
}

TEST(WorkFileLock, LeftByACrashedProcessIsTakenOver) {
    ProgramFolder folder;
    test::writeBytes(folder / kWorkFileName, std::to_string(deadProcessId()) + "\n");
    WorkLock lock;
    EXPECT_EQ(lock.acquire(folder / kWorkFileName), LockState::Acquired);
    EXPECT_EQ(test::readBytes(folder / kWorkFileName), std::to_string(::getpid()) + "\n");
}

TEST(WorkFileLock, WithoutAProcessIdIsTakenOverOnlyWhenItIsOld) {
    ProgramFolder folder;
    test::writeBytes(folder / kWorkFileName, "");
    WorkLock lock;
    EXPECT_EQ(lock.acquire(folder / kWorkFileName), LockState::Held) << "a run may be writing it";
    test::makeOld(folder / kWorkFileName);
    EXPECT_EQ(lock.acquire(folder / kWorkFileName), LockState::Acquired);
}

TEST(WorkFileLock, InAFolderThatDoesNotExistIsAnError) {
    WorkLock lock;
    EXPECT_EQ(lock.acquire("/nonexistent/kesto/Kesto.wok"), LockState::Error);
    EXPECT_FALSE(lock.error().empty());
}

TEST(StartArguments, AutoInEitherCaseRunsOnce) {
    EXPECT_EQ(startArgumentsFor("auto").mode, StartMode::OneShot);
    EXPECT_EQ(startArgumentsFor("AUTO").mode, StartMode::OneShot);
    EXPECT_EQ(startArgumentsFor("Auto").mode, StartMode::Interactive);
    EXPECT_EQ(startArgumentsFor("auto5").mode, StartMode::Interactive);
    EXPECT_EQ(startArgumentsFor("").mode, StartMode::Interactive);
}

TEST(StartArguments, AutoWithSecondsPollsAtThatIntervalUpTo65535Milliseconds) {
    struct Case {
        const char* argument;
        unsigned interval;
    };
    for (const Case& c : {Case{"AUTO30", 30000}, Case{"AUTO0.5", 500}, Case{"AUTO100", 65535},
                          Case{"AUTO 2", 2000}, Case{"AUTO65.535", 65535}, Case{"AUTO1s", 1000}}) {
        const StartArguments start = startArgumentsFor(c.argument);
        EXPECT_EQ(start.mode, StartMode::Polling) << c.argument;
        EXPECT_EQ(start.interval, c.interval) << c.argument;
    }
}

TEST(StartArguments, AutoWithLettersZeroOrANegativeNumberPollsWithInterval0) {
    for (const char* argument : {"AUTOxyz", "AUTO0", "AUTO-5", "AUTO-0.5"}) {
        const StartArguments start = startArgumentsFor(argument);
        EXPECT_EQ(start.mode, StartMode::Polling) << argument;
        EXPECT_EQ(start.interval, 0u) << argument;
    }
}

TEST(Snapshot, KanjiFactorFieldsAreConvertedStrictly) {
    JobSettings settings;
    std::string problem;
    ASSERT_TRUE(snapshotFromFields({{"MojiW", "0.5"}, {"MojiY", "-0.1"}}, settings, &problem));
    EXPECT_FLOAT_EQ(settings.MojiW, 0.5f);
    EXPECT_FLOAT_EQ(settings.MojiY, -0.1f);

    struct Case {
        const char* key;
        const char* text;
        const char* problem;
    };
    for (const Case& c : {Case{"MojiW", "abc", "漢字幅変更倍率が数値ではありません"},
                          Case{"MojiH", "0.1x", "漢字高さ変更倍率が数値ではありません"},
                          Case{"MojiX", "", "漢字Ｘ座標変更倍率が数値ではありません"},
                          Case{"MojiY", "1..2", "漢字Ｙ座標変更倍率が数値ではありません"}}) {
        JobSettings s;
        std::string p;
        EXPECT_FALSE(snapshotFromFields({{c.key, c.text}}, s, &p)) << c.key << " " << c.text;
        EXPECT_EQ(p, c.problem);
    }
}

TEST(Snapshot, ReductionAndFitTargetComeFromOfiSAndThePlotterSize) {
    JobSettings settings;
    ASSERT_TRUE(snapshotFromFields({{"OfiS", "50"}, {"Plot", "A1ﾌﾟﾛｯﾀ"}}, settings, nullptr));
    ConversionSettings c = conversionSettingsFrom(settings);
    EXPECT_DOUBLE_EQ(c.reduction, 0.5);
    EXPECT_EQ(c.fitLong, 0);
    EXPECT_EQ(c.fitShort, 0);

    ASSERT_TRUE(snapshotFromFields({{"OfiS", "A3"}, {"Plot", "A1ﾌﾟﾛｯﾀ"}}, settings, nullptr));
    c = conversionSettingsFrom(settings);
    EXPECT_DOUBLE_EQ(c.reduction, 1);
    EXPECT_EQ(c.fitLong, 393);
    EXPECT_EQ(c.fitShort, 287);

    ASSERT_TRUE(snapshotFromFields({{"OfiS", "A3"}, {"Plot", "A0ﾌﾟﾛｯﾀ"}}, settings, nullptr));
    c = conversionSettingsFrom(settings);
    EXPECT_EQ(c.fitLong, 410);
    EXPECT_EQ(c.fitShort, 274);
    EXPECT_EQ(c.penThick, "SP3;");
}

} // namespace
} // namespace kesto
