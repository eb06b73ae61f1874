// Job runs against a recording host and a fake spooler: what happens to the
// OFI and GLF files of each drawing, and what the status lines say.
#include "JobTestSupport.h"
#ifdef KESTO_FILE_CALLS
#include "FileCalls.h"

#include <cerrno>
#include <cstring>
#endif

#include "job/FileStability.h"
#include "job/WorkLock.h"
#include "ofi/OfiTitle.h"

#include <functional>
#include <utility>

#include <gtest/gtest.h>

namespace kesto {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using test::ProgramFolder;
using test::RecordingHost;
using Names = std::vector<std::string>;

#ifdef _WIN32
constexpr bool kCaseSensitiveNames = false;
#else
constexpr bool kCaseSensitiveNames = true;
#endif

Names sorted(Names v) {
    std::sort(v.begin(), v.end());
    return v;
}

class JobRun : public ::testing::Test {
protected:
    void SetUp() override {
        host.folder = folder.path().string();
        host.fields = {{"OfiFMen", "自動"}, {"OfiFEnd", "消去"}, {"OfiOut", "ﾌﾟﾛｯﾀ"},
                       {"MojiW", "0.17"},   {"MojiH", "0.11"},   {"MojiX", "-0.2"},
                       {"MojiY", "-0.2"}};
        spooler.programFolder = folder.path();
    }

    RunSummary run(std::chrono::milliseconds settle = 0ms) {
        JobRunOptions options;
        options.programFolder = folder.path();
        options.settleTime = settle;
        return MinP(host, spooler, options);
    }
    // Writes a drawing and returns its title as the status lines show it.
    std::string drawing(const std::string& name, const OfiComposer& d) {
        return *readTitleLine(folder.write(name, d).string());
    }

    ProgramFolder folder;
    RecordingHost host;
    test::FakeSpooler spooler;
};

TEST_F(JobRun, SendsTheDrawingToTheDefaultPrinterWhileItsOfiExistsThenDeletesTheOfiAndTheGlf) {
    host.cancel = true; // a stop left from before the run is cleared
    const std::string t = drawing("A.OFI", test::smallDrawing("図面Ａ"));
    Names seen;
    host.onAppend = [&](RecordingHost& h) { seen.push_back(h.lines.back()); };
    const RunSummary summary = run();

    EXPECT_EQ(seen, Names{t + "　出図中"});
    EXPECT_EQ(host.lines, Names{t + "　出図終了"});
    ASSERT_EQ(spooler.sends.size(), 1u);
    EXPECT_EQ(spooler.sends[0].glf, folder / "A.GLF");
    EXPECT_EQ(spooler.sends[0].printer, "FakeDefault");
    EXPECT_EQ(host.printer, "FakeDefault") << "the empty printer field is filled";
    EXPECT_TRUE(spooler.sends[0].bytes.starts_with("IN;"));
    EXPECT_TRUE(spooler.sends[0].bytes.ends_with("PU;SP0;AF;\r\n"));
    EXPECT_TRUE(spooler.sends[0].ofiPresent) << "the OFI file went before its drawing was sent";
    EXPECT_TRUE(spooler.sends[0].lockHeld) << "Kesto.wok is held for the whole run";
    EXPECT_TRUE(folder.names().empty()) << "OFI, GLF and Kesto.wok are gone";
    EXPECT_TRUE(summary.allGood());
    EXPECT_EQ(host.finished, 1);
}

TEST_F(JobRun, KeepsTheOfiWhenToldOrWritesOnlyTheGlfFileWhenOutputGoesToAFile) {
    host.fields["OfiFEnd"] = "保存";
    drawing("A.OFI", test::smallDrawing("A"));
    run();
    EXPECT_EQ(folder.names(), Names{"A.OFI"});

    host.fields["OfiFEnd"] = "消去";
    host.fields["OfiOut"] = "ﾌｧｲﾙ";
    fs::remove(folder / "A.OFI");
    const std::string t = drawing("PLAN.V1.OFI", test::smallDrawing("P"));
    run();
    EXPECT_EQ(spooler.sends.size(), 1u) << "nothing more is sent";
    EXPECT_EQ(folder.names(), Names{"PLAN.GLF"});
    EXPECT_TRUE(test::readBytes(folder / "PLAN.GLF").ends_with("PU;SP0;AF;\r\n"));
    EXPECT_EQ(host.lines.back(), t + "　出図終了");
}

#ifdef KESTO_FILE_CALLS
// Output to file with 消去: the OFI file goes on the strength of the GLF file
// alone, so the GLF file and its name are on the disk before.
TEST_F(JobRun, AGlfFileThatReplacesItsOfiIsOnTheDiskBeforeTheOfiGoes) {
    host.fields["OfiOut"] = "ﾌｧｲﾙ";
    drawing("PLAN.OFI", test::smallDrawing("P"));
    std::vector<std::string> log;
    {
        test::FileCalls calls;
        run();
        log = calls.log();
    }
    ASSERT_EQ(folder.names(), Names{"PLAN.GLF"});
    const auto renamed = std::find_if(log.begin(), log.end(), [](const std::string& e) {
        return e.starts_with("rename ") && e.ends_with("/PLAN.GLF");
    });
    ASSERT_NE(renamed, log.end());
    const std::string temp = renamed->substr(7, renamed->find(' ', 7) - 7);
    EXPECT_NE(std::find(log.begin(), renamed, "fsync " + temp), renamed) << "the data is flushed";
    EXPECT_NE(std::find(renamed, log.end(), "fsync " + folder.path().string()), log.end())
        << "the new name is flushed";
}

// The disk fills up while the GLF file is written: the drawing fails with the
// system's reason, nothing is sent, and its OFI file stays.
TEST_F(JobRun, AFullDiskFailsTheDrawingKeepsItsOfiAndSendsNothing) {
    const std::string t = drawing("PLAN.OFI", test::smallDrawing("P"));
    {
        test::FileCalls calls;
        calls.failNext("write", ENOSPC);
        run();
    }
    EXPECT_TRUE(spooler.sends.empty());
    EXPECT_EQ(folder.names(), Names{"PLAN.OFI"});
    EXPECT_EQ(host.lines.back(), t + "　出図失敗");
    ASSERT_FALSE(host.reasons.empty());
    EXPECT_NE(host.reasons.back().find(std::strerror(ENOSPC)), std::string::npos)
        << host.reasons.back();
}
#endif

TEST_F(JobRun, AFailedDeliveryKeepsBothFilesSaysSoAndGoesOnWithTheNextDrawing) {
    spooler.accept = false;
    const std::string ta = drawing("A.OFI", test::smallDrawing("A"));
    const std::string tb = drawing("B.OFI", test::smallDrawing("B"));
    const RunSummary summary = run();

    EXPECT_EQ(spooler.sends.size(), 2u);
    EXPECT_EQ(folder.names(), (Names{"A.GLF", "A.OFI", "B.GLF", "B.OFI"}));
    EXPECT_EQ(sorted(host.lines), (Names{ta + "　出図失敗", tb + "　出図失敗"}));
    ASSERT_EQ(host.reasons.size(), 2u);
    EXPECT_NE(host.reasons[0].find("the queue refused the job"), std::string::npos);
    EXPECT_EQ(summary.failed, 2);
    EXPECT_FALSE(summary.allGood());
}

TEST_F(JobRun, ADamagedDrawingLosesItsGlfKeepsItsOfiAndTheRunGoesOn) {
    const std::string tbad = drawing("BAD.OFI", test::damagedDrawing("BAD"));
    const std::string tgood = drawing("GOOD.OFI", test::smallDrawing("GOOD"));
    const RunSummary summary = run();

    EXPECT_EQ(folder.names(), Names{"BAD.OFI"});
    ASSERT_EQ(spooler.sends.size(), 1u);
    EXPECT_EQ(spooler.sends[0].glf, folder / "GOOD.GLF");
    EXPECT_EQ(sorted(host.lines), (Names{tbad + "　データ異常", tgood + "　出図終了"}));
    EXPECT_EQ(summary.damaged, 1);
    EXPECT_EQ(summary.finished, 1);
    EXPECT_EQ(host.reasons.size(), 1u);
}

TEST_F(JobRun, AStopDuringTheSecondOfThreeDrawingsClosesItAsStoppedAndLeavesTheThird) {
    for (const char* name : {"ONE.OFI", "TWO.OFI", "THREE.OFI"})
        drawing(name, test::longDrawing(name));
    // The stop button is pressed at the second chance the converter gives
    // the window after the second drawing's line appeared.
    int events = 0;
    host.onEvents = [&](RecordingHost& h) {
        if (h.lines.size() == 2 && ++events == 2) h.cancel = true;
    };
    const RunSummary summary = run();

    ASSERT_EQ(host.lines.size(), 2u) << "the third drawing is not listed";
    EXPECT_TRUE(host.lines[0].ends_with("　出図終了"));
    EXPECT_TRUE(host.lines[1].ends_with("　出図中止"));
    ASSERT_EQ(spooler.sends.size(), 1u) << "the stopped drawing is not sent";
    Names left{"ONE.OFI", "THREE.OFI", "TWO.OFI"};
    std::erase(left, spooler.sends[0].glf.stem().string() + ".OFI");
    EXPECT_EQ(folder.names(), left) << "no GLF of the stopped drawing, its OFI kept";
    EXPECT_EQ(summary.stopped, 1);
    EXPECT_TRUE(summary.cancelled);
    EXPECT_TRUE(summary.allGood()) << "a stop is no failure";
}

TEST_F(JobRun, AStopSeenBeforeADrawingLeavesItUntouchedAndItsLinePlotting) {
    drawing("A.OFI", test::smallDrawing("A"));
    host.onAppend = [](RecordingHost& h) { h.cancel = true; };
    EXPECT_TRUE(run().cancelled);
    ASSERT_EQ(host.lines.size(), 1u);
    EXPECT_TRUE(host.lines[0].ends_with("　出図中"));
    EXPECT_EQ(folder.names(), Names{"A.OFI"});
}

TEST_F(JobRun, DoesNotStartWithANonNumericKanjiFactorOrWhileAnotherProcessHoldsTheWorkFile) {
    drawing("A.OFI", test::smallDrawing("A"));
    host.fields["MojiH"] = "abc";
    EXPECT_EQ(run().start, RunStart::BadField);
    EXPECT_EQ(host.lines, Names{"漢字高さ変更倍率が数値ではありません"});
    EXPECT_EQ(host.finished, 1) << "the create button comes back";

    host.fields["MojiH"] = "0.11";
    host.lines.clear();
    test::LockHolder other(folder / kWorkFileName);
    ASSERT_TRUE(other.locked());
    const std::string note = std::to_string(other.pid()) + "\n";
    test::writeBytes(folder / kWorkFileName, note);
    EXPECT_EQ(run().start, RunStart::Locked);
    ASSERT_EQ(host.lines.size(), 1u);
    EXPECT_EQ(host.lines[0],
              "別の出図が実行中です（Kesto.wok、プロセス " + std::to_string(other.pid()) + "）");
    EXPECT_EQ(test::readBytes(folder / kWorkFileName), note);
    EXPECT_TRUE(folder.has("A.OFI"));
    EXPECT_TRUE(spooler.sends.empty());

    // A folder where the work file should be: the line says why.
    other.end();
    fs::remove(folder / kWorkFileName);
    fs::create_directory(folder / kWorkFileName);
    host.lines.clear();
    EXPECT_EQ(run().start, RunStart::NoWorkFile);
    ASSERT_EQ(host.lines.size(), 1u);
    EXPECT_TRUE(host.lines[0].starts_with("Kesto.wok を使えません: ")) << host.lines[0];
#ifndef _WIN32
    EXPECT_NE(host.lines[0].find("Is a directory"), std::string::npos) << host.lines[0];
#endif
    EXPECT_TRUE(folder.has("A.OFI"));
}

TEST_F(JobRun, AMissingOrWrongOfiFolderIsNamedOnItsLineAndIsNoEmptyFolder) {
    folder.write("NOT-A-FOLDER", "x");
    for (const auto& [field, line] :
         {std::pair{"missing", "OFIフォルダがありません: "},
          std::pair{"NOT-A-FOLDER", "OFIフォルダがフォルダではありません: "}}) {
        host.folder = field;
        host.lines.clear();
        const RunSummary summary = run();
        ASSERT_EQ(host.lines.size(), 1u);
        EXPECT_EQ(host.lines[0], line + (folder / field).string());
        EXPECT_FALSE(summary.allGood()) << field;
    }
    host.folder = folder.path().string();
    host.lines.clear();
    EXPECT_TRUE(run().allGood()) << "an empty folder is fine";
    EXPECT_EQ(host.lines, Names{"図面が無いか、サイズが0です"});
}

TEST_F(JobRun, AnOfiSavedAgainDuringDeliveryIsKeptAndPlottedByTheNextRun) {
    // The CAD system saves a revised drawing under the same name while the
    // old one is plotted: by a rename over it, by appending, by rewriting it.
    std::vector<std::pair<std::string, std::function<void(const fs::path&)>>> saves{
        {"appended", [](const fs::path& ofi) { std::ofstream(ofi, std::ios::app) << "more"; }},
        {"rewritten", [](const fs::path& ofi) {
             std::string bytes = test::readBytes(ofi);
             bytes[bytes.size() - 3] ^= 1; // same size, same inode
             test::writeBytes(ofi, bytes);
             fs::last_write_time(ofi, fs::last_write_time(ofi) + 1s);
         }}};
#ifndef _WIN32
    // Windows refuses to rename over a file that is open (the claim holds it):
    // there the CAD system's save waits for the plot instead.
    saves.emplace_back("renamed", [](const fs::path& ofi) {
        test::writeBytes(ofi.string() + ".new", test::readBytes(ofi) + "more");
        fs::rename(ofi.string() + ".new", ofi);
    });
#endif
    for (const auto& [how, save] : saves) {
        const std::string t = drawing("A.OFI", test::smallDrawing("A"));
        std::string revised;
        spooler.onSend = [&](const fs::path&) {
            save(folder / "A.OFI");
            revised = test::readBytes(folder / "A.OFI");
        };
        host.lines.clear();
        host.reasons.clear();
        RunSummary summary = run();
        EXPECT_EQ(host.lines, Names{t + "　出図終了（変更されたため保存）"}) << how;
        ASSERT_EQ(host.reasons.size(), 1u) << how;
        EXPECT_NE(host.reasons[0].find("A.OFI"), std::string::npos) << host.reasons[0];
        EXPECT_EQ(summary.changed, 1) << how;
        EXPECT_EQ(test::readBytes(folder / "A.OFI"), revised) << how;

        spooler.onSend = nullptr;
        test::makeOld(folder / "A.OFI");
        const std::size_t sent = spooler.sends.size();
        summary = run();
        EXPECT_EQ(spooler.sends.size(), sent + 1) << how;
        EXPECT_TRUE(folder.names().empty()) << how << ": the revised drawing went after it";
    }
}

TEST_F(JobRun, TwoDrawingsWithOneGlfNameNeverOverwriteTheEarlierGlfFile) {
    host.fields["OfiOut"] = "ﾌｧｲﾙ";
    for (const auto& [first, second] :
         {std::pair{"PLAN.V1.OFI", "PLAN.V2.OFI"},
          // Two files only where names tell case apart.
          std::pair{"SEC.OFI", kCaseSensitiveNames ? "SEC.ofi" : "SEC.V2.OFI"}}) {
        const std::string t1 = drawing(first, test::smallDrawing("ONE"));
        const std::string t2 = drawing(second, test::longDrawing("TWO"));
        host.lines.clear();
        host.reasons.clear();
        const RunSummary summary = run();
        // Whichever the folder lists first is plotted; the other waits.
        ASSERT_EQ(host.lines.size(), 2u);
        const bool firstFirst = host.lines[0].starts_with(t1.substr(0, 3));
        const std::string kept = firstFirst ? second : first;
        const std::string glf = std::string(first).substr(0, std::string(first).find('.')) + ".GLF";
        EXPECT_TRUE(host.lines[0].ends_with("　出図終了")) << host.lines[0];
        EXPECT_EQ(host.lines[1], (firstFirst ? t2 : t1) + "　出図失敗");
        ASSERT_EQ(host.reasons.size(), 1u);
        EXPECT_NE(host.reasons[0].find(glf), std::string::npos) << host.reasons[0];
        EXPECT_NE(host.reasons[0].find(firstFirst ? first : second), std::string::npos)
            << host.reasons[0];
        EXPECT_EQ(folder.names(), sorted({glf, kept}));
        EXPECT_EQ(test::readBytes(folder / glf).size() < 1000, firstFirst) << "the earlier drawing";
        EXPECT_EQ(summary.failed, 1);
        for (const auto& name : folder.names())
            fs::remove(folder / name);
    }
}

TEST_F(JobRun, ADrawingClaimedByAnotherSpoolerIsLeftToIt) {
    drawing("A.OFI", test::smallDrawing("A"));
    const std::string tb = drawing("B.OFI", test::smallDrawing("B"));
    test::LockHolder other(folder / "A.OFI");
    ASSERT_TRUE(other.locked());
    run();
    EXPECT_EQ(host.lines, Names{tb + "　出図終了"}) << "no line for the other's drawing";
    EXPECT_EQ(folder.names(), Names{"A.OFI"});
    other.end();
    run();
    EXPECT_EQ(spooler.sends.size(), 2u);
    EXPECT_TRUE(folder.names().empty());
}

#ifndef _WIN32 // on Windows a claimed file cannot be renamed over: the save waits
// Another drawing saved under the name between the claim and the reading: the
// claim is on the old file, so the new one is neither plotted nor deleted.
TEST_F(JobRun, ADrawingReplacedRightAfterItWasClaimedIsNeitherSentNorDeleted) {
    const std::string ta = drawing("A.OFI", test::smallDrawing("A"));
    host.onAppend = [&](RecordingHost& h) {
        if (h.lines.size() != 1) return;
        folder.write("NEW.OFI", test::smallDrawing("N"));
        fs::rename(folder / "NEW.OFI", folder / "A.OFI");
    };
    run();
    EXPECT_TRUE(spooler.sends.empty());
    EXPECT_EQ(folder.names(), Names{"A.OFI"});
    EXPECT_EQ(host.lines, Names{ta + "　出図失敗"});
}
#endif

// A choice field that holds none of its words (a typo, a full-width word, a
// re-encoded file) would read as "file" or "delete": the run does not start.
TEST_F(JobRun, DoesNotStartWhenAChoiceFieldHoldsNoneOfItsWords) {
    drawing("A.OFI", test::smallDrawing("A"));
    for (const auto& [key, value, line] :
         {std::tuple{"OfiOut", "プロッタ",
                     "GLFﾌｧｲﾙの出力先が「プロッタ」です（「ﾌﾟﾛｯﾀ」か「ﾌｧｲﾙ」）"},
          std::tuple{"OfiFEnd", "消去 ", "終了ﾌｧｲﾙの処理が「消去 」です（「保存」か「消去」）"},
          std::tuple{"OfiFMen", "", "ﾌｧｲﾙ選択方法が「」です（「手動」か「自動」）"}}) {
        RecordingHost fresh;
        fresh.folder = host.folder;
        fresh.fields = host.fields;
        fresh.fields[key] = value;
        JobRunOptions options;
        options.programFolder = folder.path();
        EXPECT_EQ(MinP(fresh, spooler, options).start, RunStart::BadField) << key;
        EXPECT_EQ(fresh.lines, Names{line});
        EXPECT_EQ(fresh.finished, 1) << "the create button comes back";
    }
    EXPECT_EQ(folder.names(), Names{"A.OFI"});
    EXPECT_TRUE(spooler.sends.empty());
    EXPECT_EQ(spooler.defaultLookups, 0);
}

// The print server is asked for its default printer only when something is
// to be sent: an unanswering server cannot hold up output to files.
TEST_F(JobRun, LooksUpTheDefaultPrinterOnlyForOutputToThePlotter) {
    drawing("A.OFI", test::smallDrawing("A"));
    host.fields["OfiOut"] = "ﾌｧｲﾙ";
    run();
    EXPECT_EQ(spooler.defaultLookups, 0);
    EXPECT_EQ(host.printer, "");
    host.fields["OfiOut"] = "ﾌﾟﾛｯﾀ";
    drawing("B.OFI", test::smallDrawing("B"));
    run();
    EXPECT_EQ(spooler.defaultLookups, 1);
    EXPECT_EQ(host.printer, "FakeDefault");
}

// A stop while the spooler waits: the job is withdrawn, both files stay and
// the line says stopped, not failed.
TEST_F(JobRun, AStopDuringDeliveryKeepsBothFilesAndMarksTheDrawingStopped) {
    const std::string t = drawing("A.OFI", test::smallDrawing("A"));
    spooler.onSend = [&](const fs::path&) { host.cancel = true; };
    const RunSummary summary = run();
    ASSERT_EQ(spooler.sends.size(), 1u);
    EXPECT_EQ(host.lines, Names{t + "　出図中止"});
    EXPECT_EQ(folder.names(), (Names{"A.GLF", "A.OFI"}));
    EXPECT_EQ(summary.stopped, 1);
    EXPECT_EQ(summary.failed, 0);
    EXPECT_TRUE(summary.cancelled);
}

TEST_F(JobRun, WithoutDrawingsSaysSoAndTheCreateButtonShowsItsEndCaptionUnlessPolling) {
    folder.write("EMPTY.OFI", "");
    // Half a GLF file of a run that was killed: cleared by the next run.
    folder.write(".~kesto-00000000deadbeef.tmp", "IN;");
    run();
    EXPECT_EQ(host.lines, Names{"図面が無いか、サイズが0です"});
    EXPECT_EQ(folder.names(), Names{"EMPTY.OFI"});
    EXPECT_EQ(host.endCaption, std::optional<bool>(true));

    host.interval = 30000;
    run();
    EXPECT_EQ(host.endCaption, std::optional<bool>(false));

    host.fields["OfiFMen"] = "手動"; // and the choice is cancelled
    host.lines.clear();
    run();
    EXPECT_EQ(host.lines, Names{"図面が無いか、サイズが0です"});
}

// The CAD system is still writing while the run looks, stamping the file
// with its own clock, which lags or leads ours by 10 s.  Whatever the time
// says, a drawing that changes between the run's two looks is left alone, and
// the next run, the writer done, plots it.
TEST_F(JobRun, LeavesADrawingThatChangesWhileTheRunLooksWhateverClockStampsIt) {
    EXPECT_EQ(kSettleTime, 2000ms);
    const OfiComposer cad = test::smallDrawing("CAD");
    const auto v = cad.view();
    const std::string whole(v.begin(), v.end());
    struct Writer {
        const char* what;
        bool sameSize; // rewritten in place at the same size, or finished by appending
        std::chrono::seconds skew;
    };
    const Writer writers[] = {
        {"clock 10 s behind, appending", false, -10s},
        {"clock 10 s ahead, appending", false, 10s},
        {"clock 10 s behind, rewritten in place at the same size", true, -10s},
    };
    const fs::path ofi = folder / "CAD.OFI";
    for (const Writer& w : writers) {
        SCOPED_TRACE(w.what);
        auto stamp = [&](std::chrono::seconds later) {
            fs::last_write_time(ofi, fs::file_time_type::clock::now() + w.skew + later);
        };
        folder.write("CAD.OFI", w.sameSize ? whole : whole.substr(0, whole.size() / 2), false);
        stamp(0s);
        bool wrote = false;
        host.onEvents = [&](RecordingHost&) {
            if (wrote) return;
            wrote = true;
            test::writeBytes(ofi, whole);
            stamp(1s);
        };
        spooler.sends.clear();
        run(300ms);
        EXPECT_TRUE(wrote);
        EXPECT_TRUE(spooler.sends.empty());
        EXPECT_EQ(folder.names(), Names{"CAD.OFI"});

        host.onEvents = nullptr;
        run(300ms);
        EXPECT_EQ(spooler.sends.size(), 1u);
        EXPECT_TRUE(folder.names().empty());
    }
}

// Between the two looks the name, the size and the time must all stay; a file
// that only the second look saw waits too.  A stop during the wait gives none.
TEST(FileStability, TakesOnlyWhatStayedTheSameAndNothingAfterAStop) {
    const auto t = fs::file_time_type::clock::now();
    const std::vector<ScannedFile> earlier = {
        {"SAME.OFI", 100, t}, {"GREW.OFI", 100, t}, {"TOUCHED.OFI", 100, t}};
    const std::vector<ScannedFile> later = {{"SAME.OFI", 100, t},
                                            {"GREW.OFI", 101, t},
                                            {"TOUCHED.OFI", 100, t + 1s},
                                            {"NEW.OFI", 100, t}};
    Names settled;
    for (const ScannedFile& f : unchangedBetween(earlier, later))
        settled.push_back(f.name);
    EXPECT_EQ(settled, Names{"SAME.OFI"});

    ProgramFolder folder("stability");
    folder.write("A.OFI", "drawing");
    const std::atomic<bool> stop{true};
    EXPECT_TRUE(scanSettledOfiFiles(folder.path(), 2000ms, stop, nullptr).empty());
}

TEST_F(JobRun, AStopWhileTheRunWaitsForDrawingsToSettleEndsItAtOnce) {
    drawing("A.OFI", test::smallDrawing("A"));
    host.onEvents = [](RecordingHost& h) { h.cancel = true; };
    const auto start = std::chrono::steady_clock::now();
    const RunSummary summary = run(kSettleTime);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(summary.cancelled);
    EXPECT_TRUE(host.lines.empty());
    EXPECT_EQ(folder.names(), Names{"A.OFI"});
}

TEST_F(JobRun, LeavesADrawingThatChangedAfterTheScan) {
    // A longer file is a changed one even when its time was put back, and a
    // newer one even at the same size.
    const struct {
        const char* what;
        bool appended;
        bool timePutBack;
    } changes[] = {{"appended", true, false},
                   {"appended, time put back", true, true},
                   {"rewritten at the same size", false, false}};
    for (const auto& change : changes) {
        SCOPED_TRACE(change.what);
        host.lines.clear();
        for (const std::string& name : folder.names())
            fs::remove(folder / name);
        drawing("A.OFI", test::smallDrawing("A"));
        drawing("B.OFI", test::smallDrawing("B"));
        // While the first drawing is plotted, the CAD system rewrites the other.
        std::string rewritten;
        host.onAppend = [&](RecordingHost& h) {
            if (!rewritten.empty()) return;
            rewritten = h.lines[0].starts_with("A") ? "B.OFI" : "A.OFI";
            const fs::path file = folder / rewritten;
            const auto time = fs::last_write_time(file);
            if (change.appended) {
                std::ofstream(file, std::ios::app) << "more";
            } else {
                test::writeBytes(file, test::readBytes(file));
            }
            fs::last_write_time(file, change.timePutBack ? time : time + 2s);
        };
        run(kSettleTime);
        EXPECT_EQ(host.lines.size(), 1u);
        EXPECT_EQ(folder.names(), Names{rewritten});
    }
}

TEST_F(JobRun, ManualChoiceTakesTheChosenFolderAndNamesEvenNewOnesAndGoesOnPastAMissingOne) {
    host.fields["OfiFMen"] = "手動";
    host.fields["OfiOut"] = "ﾌｧｲﾙ";
    ProgramFolder other("chosen");
    other.write("PLAIN", test::smallDrawing("PLAIN"), /*old=*/false);
    host.choice = ManualChoice{other.path().string(), {"MISSING.OFI", "PLAIN"}};
    const RunSummary summary = run(kSettleTime);
    ASSERT_EQ(host.lines.size(), 2u);
    EXPECT_EQ(host.lines[0], "MISSING.OFI　出図失敗");
    EXPECT_TRUE(host.lines[1].ends_with("　出図終了"));
    EXPECT_EQ(summary.failed, 1);
    EXPECT_EQ(other.names(), Names{"PLAIN.GLF"}) << "a whole name without a dot";
    EXPECT_EQ(host.folder, other.path().string()) << "the folder field shows the chosen folder";
}

TEST_F(JobRun, ARelativeOfiFolderIsTakenFromTheProgramFolder) {
    fs::create_directory(folder / "plots");
    drawing("plots/A.OFI", test::smallDrawing("A"));
    host.folder = "plots";
    run();
    EXPECT_EQ(spooler.sends.size(), 1u);
    EXPECT_TRUE(fs::is_empty(folder / "plots"));
    EXPECT_EQ(host.folder, "plots");
}

} // namespace
} // namespace kesto
