// kesto-cli as a service runs it: in a program folder with Kesto.sys and
// copies of the bundled sample drawings.
#include "CliProcess.h"
#include "JobTestSupport.h"

#include "CaptureListener.h"
#include "CupsdEnvironment.h"
#include "composer/SampleDrawings.h"
#include "io/AtomicFile.h"
#include "job/Journal.h"
#include "job/WorkLock.h"
#include "settings/JobSettings.h"

#include <thread>

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <unistd.h>

namespace kesto {
namespace {

using namespace std::chrono_literals;
using test::CliProcess;
using test::CupsdEnvironment;
using test::ProgramFolder;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

const std::string kCli = KESTO_CLI;
const fs::path kSamples = KESTO_SAMPLES_DIR;

// The journal's rows, newest first.
std::vector<JobRow> journalRows(const ProgramFolder& folder) {
    Journal journal;
    std::vector<JobRow> rows;
    const Status opened = journal.openForReading(folder.path());
    EXPECT_TRUE(opened) << opened.reason();
    HistoryFilter all;
    all.limit = 0;
    if (opened) {
        EXPECT_TRUE(journal.history(all, rows));
    }
    return rows;
}

// The numbers of the jobs the private print server holds, completed ones included.
std::vector<int> serverJobs(CupsdEnvironment& env) {
    std::vector<int> ids;
    http_t* http = httpConnect2("127.0.0.1", env.cupsd().port(), nullptr, AF_INET,
                                HTTP_ENCRYPTION_IF_REQUESTED, 1, 10000, nullptr);
    cups_job_t* list = nullptr;
    const int count =
        http ? cupsGetJobs2(http, &list, CupsdEnvironment::kQueue, 0, CUPS_WHICHJOBS_ALL) : 0;
    for (int i = 0; i < count; ++i)
        ids.push_back(list[i].id);
    cupsFreeJobs(count, list);
    httpClose(http);
    return ids;
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        settings = defaultSettings(folder.path());
        settings.OfiOut = "ﾌｧｲﾙ";
    }

    // A sample drawing, finished long ago.
    void copySample(const std::string& name) {
        fs::copy_file(kSamples / name, folder / name);
        test::makeOld(folder / name);
    }
    // The temporary file of the GLF file being written, once it holds bytes.
    fs::path waitForTemporary() {
        const auto until = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < until) {
            std::error_code ec;
            for (const auto& entry : fs::directory_iterator(folder.path(), ec))
                if (isTemporaryName(entry.path().filename().string()) && entry.file_size(ec) > 0)
                    return entry.path();
            std::this_thread::sleep_for(5ms);
        }
        ADD_FAILURE() << "no temporary GLF file appeared";
        return {};
    }
    void saveSettings() {
        const Status saved = SaveSettings(folder.path(), settings);
        ASSERT_TRUE(saved) << saved.reason();
    }
    // Runs `kesto-cli convert --out-dir out args...`, the converter alone.
    static void convert(const ProgramFolder& out, Names args) {
        args.insert(args.begin(), {"convert", "--out-dir", out.path().string()});
        CliProcess convert(kCli, args, out.path());
        ASSERT_EQ(convert.wait(60s), 0) << convert.out() << convert.err();
    }

    ProgramFolder folder{"cli"};
    JobSettings settings;
};

TEST_F(Cli, AutoConvertsEveryDrawingAsConvertWouldAndSavesAutomaticSelection) {
    for (const auto& e : fs::directory_iterator(kSamples))
        if (e.path().extension() == ".OFI") copySample(e.path().filename().string());
    // The run takes the drawings in the order of the folder's listing.
    Names order, paths;
    for (const auto& e : fs::directory_iterator(folder.path())) {
        order.push_back(e.path().filename().string());
        paths.push_back((kSamples / order.back()).string());
    }
    ASSERT_EQ(order.size(), 4u);
    saveSettings();

    CliProcess cli(kCli, {"AUTO"}, folder.path());
    ASSERT_EQ(cli.wait(60s), 0) << cli.out() << cli.err();
    int finished = 0;
    for (auto at = cli.out().find("　出図終了"); at != std::string::npos;
         at = cli.out().find("　出図終了", at + 1))
        ++finished;
    EXPECT_EQ(finished, 4) << cli.out();
    EXPECT_FALSE(folder.has(kWorkFileName));
    const JobSettings saved = LoadSettings(folder.path());
    EXPECT_EQ(saved.OfiFMen, "自動");
    EXPECT_EQ(saved.OfiFEnd, "保存") << "only polling turns on deletion";
    EXPECT_EQ(saved.OfiOut, "ﾌｧｲﾙ");

    // The same drawings through kesto-cli convert (the settings that matter
    // to conversion are the defaults), as one run in the same order.
    ProgramFolder convertOut("convert");
    convert(convertOut, paths);
    for (const auto& name : order) {
        const std::string glf = name.substr(0, name.find('.')) + ".GLF";
        EXPECT_TRUE(folder.has(name)) << "kept: " << name;
        EXPECT_TRUE(test::readBytes(folder / glf) == test::readBytes(convertOut / glf))
            << glf << " differs from kesto-cli convert's";
    }
}

TEST_F(Cli, AutoDeliversThroughTheQueueAndDeletesTheOfiWhenConfigured) {
    auto* env = CupsdEnvironment::current();
    if (!env) GTEST_SKIP() << "no private print server";
    env->capture().clear();
    copySample("PART-A3.OFI");
    ProgramFolder expected("expected");
    convert(expected, {(kSamples / "PART-A3.OFI").string()});
    settings.OfiOut = "ﾌﾟﾛｯﾀ";
    settings.OfiFEnd = "消去";
    settings.Hprn = CupsdEnvironment::kQueue;
    saveSettings();
    const std::vector<int> before = serverJobs(*env);
    // The child finds the private server through CUPS_SERVER, as set up by
    // the test environment.
    CliProcess cli(kCli, {"auto"}, folder.path());
    ASSERT_EQ(cli.wait(60s), 0) << cli.out() << cli.err();
    const auto received = env->capture().waitForConnections(1, 30s);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_TRUE(received[0].bytes == test::readBytes(expected / "PART-A3.GLF"));
    EXPECT_EQ(folder.names(), Names{"Kesto.sys"});

    // The journal names the job the server made of it.
    std::vector<int> made = serverJobs(*env);
    std::erase_if(made, [&](int id) { return std::ranges::count(before, id) > 0; });
    ASSERT_EQ(made.size(), 1u);
    const std::vector<JobRow> rows = journalRows(folder);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].spoolerJob, std::to_string(made[0]));
    EXPECT_EQ(rows[0].printer, CupsdEnvironment::kQueue);
}

TEST_F(Cli, AFailedDeliveryKeepsTheFilesNamesTheReasonAndExitsWith1) {
    copySample("TEXT-A4.OFI");
    settings.OfiOut = "ﾌﾟﾛｯﾀ";
    settings.OfiFEnd = "消去";
    settings.Hprn = "socket://127.0.0.1:1"; // nothing listens there
    saveSettings();
    CliProcess cli(kCli, {"AUTO"}, folder.path());
    EXPECT_EQ(cli.wait(60s), 1) << cli.out() << cli.err();
    EXPECT_NE(cli.out().find("　出図失敗"), std::string::npos) << cli.out();
    EXPECT_NE(cli.err().find("TEXT-A4.GLF"), std::string::npos) << cli.err();
    EXPECT_EQ(folder.names(), (Names{"Kesto.sys", "TEXT-A4.GLF", "TEXT-A4.OFI"}));
}

TEST_F(Cli, PollingStopsCleanlyOnSigtermAndSavesDeletion) {
    copySample("ROTATED-A4.OFI");
    saveSettings();
    CliProcess cli(kCli, {"AUTO1"}, folder.path());
    ASSERT_TRUE(cli.waitForOutput("　出図終了", 30s)) << cli.out() << cli.err();
    // A second run finds nothing; then stop it between runs.
    ASSERT_TRUE(cli.waitForOutput("図面が無いか、サイズが0です", 10s)) << cli.out();
    cli.signal(SIGTERM);
    EXPECT_EQ(cli.wait(10s), 0) << cli.err();

    const JobSettings saved = LoadSettings(folder.path());
    EXPECT_EQ(saved.OfiFMen, "自動");
    EXPECT_EQ(saved.OfiFEnd, "消去");
    EXPECT_EQ(folder.names(), (Names{"Kesto.sys", "ROTATED-A4.GLF"}));
}

TEST_F(Cli, SigtermDuringADrawingClosesItAsStoppedAndKeepsItsOfi) {
    OfiComposer big = composeLargeDrawing(std::size_t(40) << 20);
    big.titleUtf8("大図面", "B1");
    folder.write("BIG.OFI", big);
    saveSettings();
    CliProcess cli(kCli, {"AUTO30"}, folder.path());
    ASSERT_TRUE(cli.waitForOutput("　出図中\n", 30s)) << cli.out() << cli.err();
    waitForTemporary();
    cli.signal(SIGTERM);
    EXPECT_EQ(cli.wait(30s), 0) << cli.err();
    EXPECT_NE(cli.out().find("　出図中止"), std::string::npos) << cli.out();
    EXPECT_EQ(folder.names(), (Names{"BIG.OFI", "Kesto.sys"}));
    EXPECT_EQ(LoadSettings(folder.path()).OfiFEnd, "消去");
}

// A kill in the middle of a drawing leaves no GLF file under its name (an
// operator could take a partial one for a drawing) and a journal that opens;
// the next run marks the drawing interrupted, clears the dead run's
// temporary file and plots the drawing whole.
TEST_F(Cli, AKilledRunLeavesNoPartialGlfAndTheNextRunClearsItsTemporary) {
    OfiComposer big = composeLargeDrawing(std::size_t(40) << 20);
    folder.write("BIG.OFI", big);
    test::makeOld(folder / "BIG.OFI");
    saveSettings();
    {
        CliProcess cli(kCli, {"AUTO"}, folder.path());
        const fs::path temporary = waitForTemporary();
        cli.signal(SIGKILL);
        cli.wait(30s);
        EXPECT_FALSE(fs::exists(folder / "BIG.GLF"));
        ASSERT_TRUE(fs::exists(temporary));
        test::makeOld(temporary);
    }
    const std::vector<JobRow> killed = journalRows(folder);
    ASSERT_EQ(killed.size(), 1u);
    EXPECT_EQ(killed[0].outcome, outcome::kRunning);
    CliProcess again(kCli, {"AUTO"}, folder.path());
    EXPECT_EQ(again.wait(60s), 0) << again.err();
    EXPECT_EQ(folder.names(), (Names{"BIG.GLF", "BIG.OFI", "Kesto.sys"}));
    const std::vector<JobRow> rows = journalRows(folder);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].outcome, outcome::kInterrupted);
    EXPECT_EQ(rows[0].outcome, outcome::kFinished);
    EXPECT_EQ(rows[0].ofiName, "BIG.OFI");
}

// A plotter that stops taking data: a stop still ends the spooler at once,
// the drawing marked stopped and both of its files kept.
TEST_F(Cli, SigtermWhileAPlotterStopsReadingEndsWithinSecondsKeepingBothFiles) {
    test::CaptureListener plotter;
    ASSERT_TRUE(plotter.listening());
    plotter.stopReadingAfter(1000);
    // Its GLF file is larger than the socket buffers hold.
    OfiComposer big = composeLargeDrawing(std::size_t(2) << 20);
    big.titleUtf8("大図面", "B1");
    folder.write("BIG.OFI", big);
    test::makeOld(folder / "BIG.OFI");
    settings.OfiOut = "ﾌﾟﾛｯﾀ";
    settings.OfiFEnd = "消去";
    settings.Hprn = plotter.uri();
    saveSettings();
    CliProcess cli(kCli, {"AUTO"}, folder.path());
    ASSERT_TRUE(cli.waitForOutput("　出図中\n", 30s)) << cli.out() << cli.err();
    // Give it time to fill the buffers and wait on the plotter.
    std::this_thread::sleep_for(1s);
    const auto stopped = std::chrono::steady_clock::now();
    cli.signal(SIGTERM);
    EXPECT_EQ(cli.wait(10s), 0) << cli.out() << cli.err();
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 2s);
    EXPECT_NE(cli.out().find("　出図中止"), std::string::npos) << cli.out();
    EXPECT_EQ(folder.names(), (Names{"BIG.GLF", "BIG.OFI", "Kesto.sys"}));
}

// Kesto.sys edited while the spooler runs is not overwritten at its exit.
// (SIGHUP, as from a closed terminal, stops it like SIGTERM.)
// PLAN.V1.OFI and PLAN.V2.OFI both give PLAN.GLF.  Plotted to files in two
// polls, the second may not replace the first one's drawing, whose OFI file
// is already deleted: it fails and stays, the first is in the archive.
TEST_F(Cli, TwoVersionsOfOneDrawingAcrossTwoPollsStayRecoverable) {
    settings.OfiFEnd = "消去";
    saveSettings();
    ProgramFolder expected("expected");
    convert(expected, {(kSamples / "TEXT-A4.OFI").string()});
    CliProcess cli(kCli, {"AUTO0.3"}, folder.path());
    fs::copy_file(kSamples / "TEXT-A4.OFI", folder / "PLAN.V1.OFI");
    test::makeOld(folder / "PLAN.V1.OFI");
    ASSERT_TRUE(cli.waitForOutput("　出図終了\n", 30s)) << cli.out() << cli.err();
    fs::copy_file(kSamples / "PART-A3.OFI", folder / "PLAN.V2.OFI");
    test::makeOld(folder / "PLAN.V2.OFI");
    ASSERT_TRUE(cli.waitForOutput("　出図失敗", 30s)) << cli.out() << cli.err();
    cli.signal(SIGTERM);
    EXPECT_NE(cli.wait(10s), -1) << cli.err();

    EXPECT_EQ(folder.names(), (Names{"Kesto.sys", "PLAN.GLF", "PLAN.V2.OFI"}));
    EXPECT_TRUE(test::readBytes(folder / "PLAN.GLF") == test::readBytes(expected / "TEXT-A4.GLF"))
        << "the first version's GLF file was replaced";
    const std::vector<JobRow> rows = journalRows(folder);
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[0].ofiName, "PLAN.V2.OFI");
    EXPECT_EQ(rows[0].outcome, outcome::kFailed);
    const JobRow& first = rows.back();
    EXPECT_EQ(first.ofiName, "PLAN.V1.OFI");
    EXPECT_EQ(first.outcome, outcome::kFinished);
    EXPECT_TRUE(test::readBytes(first.archivePath) == test::readBytes(kSamples / "TEXT-A4.OFI"))
        << "the first version is kept in the archive";
}

TEST_F(Cli, AKestoSysEditedMeanwhileIsLeftAsItIs) {
    saveSettings();
    CliProcess cli(kCli, {"AUTO1"}, folder.path());
    ASSERT_TRUE(cli.waitForOutput("図面が無いか、サイズが0です", 10s)) << cli.out() << cli.err();
    settings.LineL = "7";
    saveSettings();
    const std::string edited = test::readBytes(folder / "Kesto.sys");
    cli.signal(SIGHUP);
    EXPECT_EQ(cli.wait(10s), 0) << cli.err();
    EXPECT_EQ(test::readBytes(folder / "Kesto.sys"), edited);
    EXPECT_NE(cli.err().find("Kesto.sys was changed"), std::string::npos) << cli.err();

    // Unchanged, it is written back with what the spooler changed.
    CliProcess again(kCli, {"AUTO1"}, folder.path());
    ASSERT_TRUE(again.waitForOutput("図面が無いか、サイズが0です", 10s)) << again.out();
    again.signal(SIGHUP);
    EXPECT_EQ(again.wait(10s), 0) << again.err();
    const JobSettings saved = LoadSettings(folder.path());
    EXPECT_EQ(std::tie(saved.LineL, saved.OfiFEnd), std::make_tuple("7", "消去"));
}

TEST_F(Cli, ASecondSpoolerOnTheSameProgramFolderDoesNotStartButAnIdLeftInKestoWokLocksNothing) {
    copySample("PART-A3.OFI");
    saveSettings();
    {
        test::LockHolder other(folder / kWorkFileName);
        ASSERT_TRUE(other.locked());
        CliProcess cli(kCli, {"AUTO"}, folder.path());
        EXPECT_EQ(cli.wait(30s), 1);
        EXPECT_NE(cli.out().find("別の出図が実行中です（Kesto.wok"), std::string::npos)
            << cli.out();
        EXPECT_EQ(folder.names(), (Names{"Kesto.sys", "Kesto.wok", "PART-A3.OFI"}));
    }
    // Process 1 is alive in any system; its id in the file means nothing.
    test::writeBytes(folder / kWorkFileName, "1\n");
    CliProcess cli(kCli, {"AUTO"}, folder.path());
    EXPECT_EQ(cli.wait(30s), 0) << cli.out() << cli.err();
    EXPECT_EQ(folder.names(), (Names{"Kesto.sys", "PART-A3.GLF", "PART-A3.OFI"}));
}

// Counts the lines of finished drawings in a spooler's output.
int finishedLines(const std::string& out) {
    int n = 0;
    for (auto at = out.find("　出図終了"); at != std::string::npos;
         at = out.find("　出図終了", at + 1))
        ++n;
    return n;
}

TEST_F(Cli, TwoSpoolersOnOneOfiFolderPlotEachDrawingOnce) {
    // A plot server and its stand-by, each with a program folder of its own.
    ProgramFolder plots("shared"), second("second");
    constexpr int kDrawings = 32;
    int n = 0;
    for (const auto& e : fs::directory_iterator(kSamples))
        if (e.path().extension() == ".OFI")
            for (int copy = 0; copy < kDrawings / 4; ++copy) {
                const fs::path to = plots / ("D" + std::to_string(n++) + ".OFI");
                fs::copy_file(e.path(), to);
                test::makeOld(to);
            }
    ASSERT_EQ(n, kDrawings);
    settings.OfiFile = plots.path().string();
    settings.OfiFEnd = "消去";
    saveSettings();
    ASSERT_TRUE(SaveSettings(second.path(), settings));

    CliProcess one(kCli, {"AUTO"}, folder.path());
    CliProcess two(kCli, {"AUTO"}, second.path());
    EXPECT_EQ(one.wait(120s), 0) << one.err();
    EXPECT_EQ(two.wait(120s), 0) << two.err();
    EXPECT_EQ(finishedLines(one.out()) + finishedLines(two.out()), kDrawings)
        << one.out() << two.out();
    for (const auto& name : plots.names())
        EXPECT_TRUE(name.ends_with(".GLF")) << name;
    EXPECT_EQ(plots.names().size(), std::size_t(kDrawings));
}

TEST_F(Cli, AMissingOfiFolderIsReportedOneShotFailsAndPollingGoesOn) {
    settings.OfiFile = (folder / "plots").string();
    saveSettings();
    const std::string line = "OFIフォルダがありません: " + (folder / "plots").string() + "\n";
    CliProcess once(kCli, {"AUTO"}, folder.path());
    EXPECT_EQ(once.wait(30s), 1);
    EXPECT_EQ(once.out(), line);
    EXPECT_NE(once.err().find("OFIフォルダがありません"), std::string::npos) << once.err();

    CliProcess polling(kCli, {"AUTO0.2"}, folder.path());
    ASSERT_TRUE(polling.waitForOutput(line + line, 10s)) << polling.out();
    // The share comes back.
    fs::create_directory(folder / "plots.new");
    fs::copy_file(kSamples / "PART-A3.OFI", folder / "plots.new" / "PART-A3.OFI");
    test::makeOld(folder / "plots.new" / "PART-A3.OFI");
    fs::rename(folder / "plots.new", folder / "plots");
    ASSERT_TRUE(polling.waitForOutput("　出図終了", 30s)) << polling.out();
    polling.signal(SIGTERM);
    EXPECT_NE(polling.wait(10s), -1);
}

const char* const kSetpriv = "/usr/bin/setpriv";

// kesto-cli as a user of its own (no name needed).
Names asOtherUser(const std::string& mode) {
    const std::string user = "54321";
    return {"--reuid=" + user, "--regid=" + user, "--clear-groups", kCli, mode};
}

// A shared folder with the sticky bit holding TEXT-A4.OFI, owned by the CAD
// user (root); the program folder belongs to the spooler's user, who plots
// the drawing and cannot delete it.
fs::path stickyDrawing(const ProgramFolder& shared, const ProgramFolder& program,
                       JobSettings& settings) {
    const fs::path plots = shared / "plots";
    fs::create_directory(plots);
    fs::permissions(plots, fs::perms::all | fs::perms::sticky_bit);
    fs::copy_file(kSamples / "TEXT-A4.OFI", plots / "TEXT-A4.OFI");
    test::makeOld(plots / "TEXT-A4.OFI");
    settings.OfiFile = plots.string();
    const Status saved = SaveSettings(program.path(), settings);
    EXPECT_TRUE(saved) << saved.reason();
    EXPECT_EQ(::chown(program.path().c_str(), 54321, 54321), 0);
    EXPECT_EQ(::chown((program / "Kesto.sys").c_str(), 54321, 54321), 0);
    return plots;
}

// A shared folder with the sticky bit, the drawings owned by the CAD user:
// the spooler, running as another user, plots each one and cannot delete it.
TEST_F(Cli, ADrawingThatCannotBeDeletedIsPlottedOnceUntilItChanges) {
    if (::geteuid() != 0 || !fs::exists(kSetpriv))
        GTEST_SKIP() << "needs root and setpriv to run the spooler as another user";
    ProgramFolder shared("sticky");
    const fs::path plots = stickyDrawing(shared, folder, settings);

    CliProcess cli(kSetpriv, asOtherUser("AUTO0.3"), folder.path());
    ASSERT_TRUE(cli.waitForOutput("　出図終了（削除できません）\n", 30s)) << cli.out() << cli.err();
    std::this_thread::sleep_for(2s); // several polls
    EXPECT_EQ(finishedLines(cli.out()), 1) << cli.out();
    EXPECT_NE(cli.err().find("削除できません: Operation not permitted"), std::string::npos)
        << cli.err();

    // A revised drawing under the same name is a new drawing.
    test::writeBytes(plots / "TEXT-A4.OFI", test::readBytes(kSamples / "PART-A3.OFI"));
    test::makeOld(plots / "TEXT-A4.OFI");
    const auto until = std::chrono::steady_clock::now() + 30s;
    while (finishedLines(cli.out()) < 2 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(50ms);
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(finishedLines(cli.out()), 2) << cli.out();
    cli.signal(SIGTERM);
    EXPECT_NE(cli.wait(10s), -1);
    EXPECT_TRUE(fs::exists(plots / "TEXT-A4.OFI"));
}

// One-shot runs, each a process of its own, learn it from the journal: the
// plotter gets the undeletable drawing once.
TEST_F(Cli, AnUndeletableDrawingIsSentOnceAcrossOneShotRuns) {
    if (::geteuid() != 0 || !fs::exists(kSetpriv))
        GTEST_SKIP() << "needs root and setpriv to run the spooler as another user";
    test::CaptureListener plotter;
    ASSERT_TRUE(plotter.listening());
    settings.OfiOut = "ﾌﾟﾛｯﾀ";
    settings.OfiFEnd = "消去";
    settings.Hprn = plotter.uri();
    ProgramFolder shared("sticky");
    const fs::path plots = stickyDrawing(shared, folder, settings);
    for (int run = 1; run <= 3; ++run) {
        CliProcess cli(kSetpriv, asOtherUser("auto"), folder.path());
        EXPECT_NE(cli.wait(60s), -1) << "run " << run << cli.out() << cli.err();
    }
    EXPECT_EQ(plotter.waitForConnections(2, 2s).size(), 1u);
    EXPECT_TRUE(fs::exists(plots / "TEXT-A4.OFI"));
}

// The same shared folder, output to files: a GLF file another user left
// there cannot be replaced.  The reason says so and names the owner; the
// drawing stays for a later run.
TEST_F(Cli, AGlfFileOfAnotherUserInAStickyFolderIsNamedAsTheReasonAndTheOfiStays) {
    const char* setpriv = "/usr/bin/setpriv";
    if (::geteuid() != 0 || !fs::exists(setpriv))
        GTEST_SKIP() << "needs root and setpriv to run the spooler as another user";
    ProgramFolder shared("sticky");
    const fs::path plots = shared / "plots";
    fs::create_directory(plots);
    fs::permissions(plots, fs::perms::all | fs::perms::sticky_bit);
    fs::copy_file(kSamples / "TEXT-A4.OFI", plots / "TEXT-A4.OFI");
    test::makeOld(plots / "TEXT-A4.OFI");
    test::writeBytes(plots / "TEXT-A4.GLF", "root's own"); // owned by root
    settings.OfiFile = plots.string();
    settings.OfiOut = "ﾌｧｲﾙ";
    settings.OfiFEnd = "消去";
    saveSettings();
    ASSERT_EQ(::chown(folder.path().c_str(), 54321, 54321), 0);
    ASSERT_EQ(::chown((folder / "Kesto.sys").c_str(), 54321, 54321), 0);

    CliProcess cli(setpriv, {"--reuid=54321", "--regid=54321", "--clear-groups", kCli, "auto"},
                   folder.path());
    EXPECT_EQ(cli.wait(30s), 1) << cli.out() << cli.err();
    EXPECT_NE(cli.out().find("　出図失敗"), std::string::npos) << cli.out();
    EXPECT_NE(cli.err().find("TEXT-A4.GLF: cannot be replaced: it belongs to another user, root "
                             "(uid 0), and its folder is shared with the sticky bit"),
              std::string::npos)
        << cli.err();
    EXPECT_EQ(test::readBytes(plots / "TEXT-A4.GLF"), "root's own");
    EXPECT_TRUE(fs::exists(plots / "TEXT-A4.OFI"));
}

TEST_F(Cli, ConvertTakesItsSettingsFromTheFileGivenWithDashDashSettings) {
    settings.OfiS = "50";
    saveSettings();
    ProgramFolder fromFile("from-file"), fromOption("from-option");
    const std::string drawing = (kSamples / "PART-A3.OFI").string();
    convert(fromFile, {"--settings", (folder / "Kesto.sys").string(), drawing});
    convert(fromOption, {"--set", "OfiS=50", drawing});
    EXPECT_TRUE(test::readBytes(fromFile / "PART-A3.GLF") ==
                test::readBytes(fromOption / "PART-A3.GLF"));
}

TEST_F(Cli, RefusesExtraArgumentsAndExplainsItsModes) {
    CliProcess bad(kCli, {"AUTO", "extra"}, folder.path());
    EXPECT_EQ(bad.wait(10s), 2);
    EXPECT_FALSE(folder.has("Kesto.sys")) << "a usage error touches nothing";

    CliProcess help(kCli, {"AUTO", "--help"}, folder.path());
    EXPECT_EQ(help.wait(10s), 0);
    EXPECT_NE(help.out().find("AUTO0"), std::string::npos) << help.out();
}

} // namespace
} // namespace kesto
