// Job runs against a recording host and a fake spooler: what happens to the
// OFI and GLF files of each drawing, and what the status lines say.
#include "JobTestSupport.h"

#include "ofi/OfiTitle.h"

#include <gtest/gtest.h>

namespace kesto {
namespace {

using namespace std::chrono_literals;
using test::FakeSpooler;
namespace fs = std::filesystem;
using test::ProgramFolder;
using test::RecordingHost;

class JobRun : public ::testing::Test {
protected:
    void SetUp() override {
        host.folder = folder.path().string();
        host.printer = "plotter";
        host.fields = {{"OfiFMen", "自動"}, {"OfiFEnd", "保存"}, {"OfiOut", "ﾌﾟﾛｯﾀ"},
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

    std::string title(const std::string& name) { return *readTitleLine((folder / name).string()); }

    ProgramFolder folder;
    RecordingHost host;
    FakeSpooler spooler;
};

TEST_F(JobRun, SendsEachDrawingThenDeletesItsGlfAndKeepsItsOfiWhenTold) {
    folder.write("A.OFI", test::smallDrawing("図面Ａ"));
    const std::string t = title("A.OFI");
    const RunSummary summary = run();

    ASSERT_EQ(spooler.sends.size(), 1u);
    EXPECT_EQ(spooler.sends[0].glf, folder / "A.GLF");
    EXPECT_EQ(spooler.sends[0].printer, "plotter");
    EXPECT_TRUE(spooler.sends[0].bytes.starts_with("IN;"));
    EXPECT_TRUE(spooler.sends[0].bytes.ends_with("PU;SP0;AF;\r\n"));
    EXPECT_TRUE(spooler.sends[0].lockHeld) << "Kesto.wok is held for the whole run";

    EXPECT_EQ(host.lines, std::vector<std::string>{t + "　出図終了"});
    EXPECT_EQ(folder.names(), std::vector<std::string>{"A.OFI"}) << "GLF and Kesto.wok are gone";
    EXPECT_EQ(summary.finished, 1);
    EXPECT_TRUE(summary.allGood());
    EXPECT_EQ(host.started, 1);
    EXPECT_EQ(host.finished, 1);
}

TEST_F(JobRun, ShowsTheTitleAsPlottingWhileTheDrawingIsConverted) {
    folder.write("A.OFI", test::smallDrawing("図面Ａ"));
    const std::string t = title("A.OFI");
    std::vector<std::string> seen;
    host.onAppend = [&](RecordingHost& h) { seen.push_back(h.lines.back()); };
    run();
    EXPECT_EQ(seen, std::vector<std::string>{t + "　出図中"});
    EXPECT_NE(t.find("図面"), std::string::npos) << t;
}

TEST_F(JobRun, DeletesTheOfiOnlyAfterItsDrawingWasDelivered) {
    host.fields["OfiFEnd"] = "消去";
    folder.write("A.OFI", test::smallDrawing("A"));
    run();
    ASSERT_EQ(spooler.sends.size(), 1u);
    EXPECT_TRUE(spooler.sends[0].ofiPresent) << "the OFI file went before its drawing was sent";
    EXPECT_TRUE(folder.names().empty());
}

TEST_F(JobRun, WithOutputToFileKeepsTheGlfAndSendsNothing) {
    host.fields["OfiOut"] = "ﾌｧｲﾙ";
    host.fields["OfiFEnd"] = "消去";
    folder.write("PLAN.V1.OFI", test::smallDrawing("A"));
    const std::string t = title("PLAN.V1.OFI");
    run();
    EXPECT_TRUE(spooler.sends.empty());
    EXPECT_EQ(folder.names(), std::vector<std::string>{"PLAN.GLF"});
    EXPECT_TRUE(test::readBytes(folder / "PLAN.GLF").ends_with("PU;SP0;AF;\r\n"));
    EXPECT_EQ(host.lines, std::vector<std::string>{t + "　出図終了"});
}

TEST_F(JobRun, AFailedDeliveryKeepsBothFilesSaysSoAndGoesOnWithTheNextDrawing) {
    host.fields["OfiFEnd"] = "消去";
    spooler.accept = false;
    folder.write("A.OFI", test::smallDrawing("A"));
    folder.write("B.OFI", test::smallDrawing("B"));
    const std::string ta = title("A.OFI"), tb = title("B.OFI");
    const RunSummary summary = run();

    EXPECT_EQ(spooler.sends.size(), 2u);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"A.GLF", "A.OFI", "B.GLF", "B.OFI"}));
    std::vector<std::string> lines = host.lines;
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{ta + "　出図失敗", tb + "　出図失敗"}));
    ASSERT_EQ(host.reasons.size(), 2u);
    EXPECT_NE(host.reasons[0].find("the queue refused the job"), std::string::npos);
    EXPECT_EQ(summary.failed, 2);
    EXPECT_FALSE(summary.allGood());
    EXPECT_FALSE(folder.has(kWorkFileName));
}

TEST_F(JobRun, ADamagedDrawingLosesItsGlfKeepsItsOfiAndTheRunGoesOn) {
    host.fields["OfiFEnd"] = "消去";
    folder.write("BAD.OFI", test::damagedDrawing("BAD"));
    folder.write("GOOD.OFI", test::smallDrawing("GOOD"));
    const std::string tbad = title("BAD.OFI"), tgood = title("GOOD.OFI");
    const RunSummary summary = run();

    EXPECT_EQ(folder.names(), std::vector<std::string>{"BAD.OFI"});
    ASSERT_EQ(spooler.sends.size(), 1u);
    EXPECT_EQ(spooler.sends[0].glf, folder / "GOOD.GLF");
    std::vector<std::string> lines = host.lines;
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{tbad + "　データ異常", tgood + "　出図終了"}));
    EXPECT_EQ(summary.damaged, 1);
    EXPECT_EQ(summary.finished, 1);
    EXPECT_EQ(host.reasons.size(), 1u);
}

TEST_F(JobRun, AStopDuringTheSecondOfThreeDrawingsClosesItAsStoppedAndLeavesTheThird) {
    host.fields["OfiFEnd"] = "消去";
    host.fields["OfiOut"] = "ﾌｧｲﾙ";
    for (const char* name : {"ONE.OFI", "TWO.OFI", "THREE.OFI"})
        folder.write(name, test::longDrawing(name));
    // The stop button is pressed while the second drawing is converted: the
    // first chance the converter gives the window after its line appeared.
    int appended = 0;
    int eventsSinceSecond = 0;
    host.onAppend = [&](RecordingHost&) { ++appended; };
    host.onEvents = [&](RecordingHost& h) {
        if (appended == 2 && ++eventsSinceSecond == 2) h.cancel = true;
    };
    const RunSummary summary = run();

    ASSERT_EQ(host.lines.size(), 2u) << "the third drawing is not listed";
    EXPECT_TRUE(host.lines[0].ends_with("　出図終了"));
    EXPECT_TRUE(host.lines[1].ends_with("　出図中止"));
    EXPECT_EQ(summary.finished, 1);
    EXPECT_EQ(summary.stopped, 1);
    EXPECT_TRUE(summary.cancelled);

    // Which drawing came first is the folder's order; find them by title.
    std::string first, second;
    for (const char* name : {"ONE.OFI", "TWO.OFI", "THREE.OFI"})
        if (folder.has(name)) {
            const std::string t = title(name);
            if (host.lines[1] == t + "　出図中止") second = name;
        } else {
            first = name;
        }
    ASSERT_FALSE(first.empty()) << "the finished drawing's OFI file is deleted";
    ASSERT_FALSE(second.empty());
    const std::string firstGlf = first.substr(0, first.find('.')) + ".GLF";
    const std::string secondGlf = second.substr(0, second.find('.')) + ".GLF";
    EXPECT_TRUE(folder.has(firstGlf));
    EXPECT_FALSE(folder.has(secondGlf)) << "the stopped drawing leaves no GLF file";
    EXPECT_EQ(folder.names().size(), 3u) << "first GLF, second and third OFI";
    EXPECT_FALSE(folder.has(kWorkFileName));
}

TEST_F(JobRun, AStopSeenBeforeADrawingLeavesItUntouchedAndItsLinePlotting) {
    host.fields["OfiOut"] = "ﾌｧｲﾙ";
    folder.write("A.OFI", test::smallDrawing("A"));
    host.onAppend = [](RecordingHost& h) { h.cancel = true; };
    const RunSummary summary = run();
    ASSERT_EQ(host.lines.size(), 1u);
    EXPECT_TRUE(host.lines[0].ends_with("　出図中"));
    EXPECT_EQ(folder.names(), std::vector<std::string>{"A.OFI"});
    EXPECT_TRUE(summary.cancelled);
}

TEST_F(JobRun, AStopDuringADrawingSendsNothingAndKeepsItsOfiEvenWhenTheyAreToBeDeleted) {
    host.fields["OfiFEnd"] = "消去";
    folder.write("A.OFI", test::longDrawing("A"));
    int events = 0;
    host.onEvents = [&](RecordingHost& h) {
        // After the scan, after the title line, then the first pump inside the
        // conversion.
        if (++events == 3) h.cancel = true;
    };
    const RunSummary summary = run();
    EXPECT_TRUE(spooler.sends.empty());
    EXPECT_EQ(folder.names(), std::vector<std::string>{"A.OFI"});
    ASSERT_EQ(host.lines.size(), 1u);
    EXPECT_TRUE(host.lines[0].ends_with("　出図中止"));
    EXPECT_EQ(summary.stopped, 1);
    EXPECT_TRUE(summary.allGood()) << "a stop is no failure";
}

TEST_F(JobRun, ANonNumericKanjiFactorStopsTheRunBeforeAnyFileIsTouched) {
    host.fields["MojiH"] = "abc";
    host.fields["OfiFEnd"] = "消去";
    folder.write("A.OFI", test::smallDrawing("A"));
    const RunSummary summary = run();
    EXPECT_EQ(summary.start, RunStart::BadField);
    EXPECT_EQ(host.lines, std::vector<std::string>{"漢字高さ変更倍率が数値ではありません"});
    EXPECT_EQ(folder.names(), std::vector<std::string>{"A.OFI"});
    EXPECT_TRUE(spooler.sends.empty());
    EXPECT_EQ(host.finished, 1) << "the create button comes back";
}

TEST_F(JobRun, DoesNotStartWhileAnotherLiveRunHoldsTheWorkFile) {
    host.fields["OfiFEnd"] = "消去";
    folder.write("A.OFI", test::smallDrawing("A"));
    const std::string other = std::to_string(::getppid()) + "\n";
    test::writeBytes(folder / kWorkFileName, other);
    const RunSummary summary = run();
    EXPECT_EQ(summary.start, RunStart::Locked);
    ASSERT_EQ(host.lines.size(), 1u);
    EXPECT_NE(host.lines[0].find("Kesto.wok"), std::string::npos) << host.lines[0];
    EXPECT_TRUE(folder.has("A.OFI"));
    EXPECT_TRUE(spooler.sends.empty());
    EXPECT_EQ(test::readBytes(folder / kWorkFileName), other);
}

TEST_F(JobRun, AnEmptyFolderSaysThereIsNoDrawing) {
    folder.write("EMPTY.OFI", "");
    run();
    EXPECT_EQ(host.lines, std::vector<std::string>{"図面が無いか、サイズが0です"});
    EXPECT_EQ(host.endCaption, std::optional<bool>(true));
}

TEST_F(JobRun, WhilePollingTheCreateButtonKeepsItsCaption) {
    host.interval = 30000;
    run();
    EXPECT_EQ(host.endCaption, std::optional<bool>(false));
}

TEST_F(JobRun, ClearsAStopLeftFromBeforeTheRun) {
    host.fields["OfiOut"] = "ﾌｧｲﾙ";
    host.cancel = true;
    folder.write("A.OFI", test::smallDrawing("A"));
    EXPECT_EQ(run().finished, 1);
}

TEST_F(JobRun, FillsAnEmptyPrinterFieldWithTheDefaultPrinterAndSendsThere) {
    host.printer.clear();
    folder.write("A.OFI", test::smallDrawing("A"));
    run();
    EXPECT_EQ(host.printer, "FakeDefault");
    ASSERT_EQ(spooler.sends.size(), 1u);
    EXPECT_EQ(spooler.sends[0].printer, "FakeDefault");
}

TEST_F(JobRun, LeavesADrawingThatIsStillBeingWrittenForALaterRun) {
    host.fields["OfiFEnd"] = "消去";
    folder.write("DONE.OFI", test::smallDrawing("DONE"));
    folder.write("FRESH.OFI", test::smallDrawing("FRESH"), /*old=*/false);
    run(kSettleTime);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"FRESH.OFI"});
    EXPECT_EQ(spooler.sends.size(), 1u);

    test::makeOld(folder / "FRESH.OFI", 3s);
    run(kSettleTime);
    EXPECT_TRUE(folder.names().empty());
}

TEST_F(JobRun, LeavesADrawingThatChangedAfterTheScan) {
    host.fields["OfiFEnd"] = "消去";
    host.fields["OfiOut"] = "ﾌｧｲﾙ";
    folder.write("A.OFI", test::smallDrawing("A"));
    folder.write("B.OFI", test::smallDrawing("B"));
    // While the first drawing is plotted, the CAD system rewrites the other.
    std::string rewritten;
    host.onAppend = [&](RecordingHost& h) {
        if (!rewritten.empty()) return;
        rewritten = h.lines[0].starts_with("A") ? "B.OFI" : "A.OFI";
        std::ofstream(folder / rewritten, std::ios::app) << "more";
    };
    run(kSettleTime);
    EXPECT_EQ(host.lines.size(), 1u);
    EXPECT_TRUE(folder.has(rewritten));
    EXPECT_EQ(folder.names().size(), 2u) << "one GLF file and the rewritten OFI file";
}

TEST_F(JobRun, ManualChoiceTakesTheChosenFolderAndNamesAndAWholeNameWithoutDot) {
    host.fields["OfiFMen"] = "手動";
    host.fields["OfiOut"] = "ﾌｧｲﾙ";
    ProgramFolder other("chosen");
    other.write("PLAIN", test::smallDrawing("PLAIN"), /*old=*/false);
    host.choice = ManualChoice{other.path().string(), {"PLAIN"}};
    const RunSummary summary = run(kSettleTime);
    EXPECT_EQ(summary.finished, 1) << "a chosen file is taken even if it is new";
    EXPECT_TRUE(other.has("PLAIN.GLF"));
    EXPECT_EQ(host.folder, other.path().string()) << "the folder field shows the chosen folder";
}

TEST_F(JobRun, AChosenFileThatCannotBeReadFailsAndTheRunGoesOn) {
    host.fields["OfiFMen"] = "手動";
    host.fields["OfiOut"] = "ﾌｧｲﾙ";
    folder.write("B.OFI", test::smallDrawing("B"));
    host.choice = ManualChoice{folder.path().string(), {"MISSING.OFI", "B.OFI"}};
    const RunSummary summary = run();
    ASSERT_EQ(host.lines.size(), 2u);
    EXPECT_EQ(host.lines[0], "MISSING.OFI　出図失敗");
    EXPECT_TRUE(host.lines[1].ends_with("　出図終了"));
    EXPECT_EQ(summary.failed, 1);
    EXPECT_EQ(summary.finished, 1);
    EXPECT_FALSE(folder.has("MISSING.GLF"));
}

TEST_F(JobRun, ManualChoiceCancelledSaysThereIsNoDrawing) {
    host.fields["OfiFMen"] = "手動";
    run();
    EXPECT_EQ(host.lines, std::vector<std::string>{"図面が無いか、サイズが0です"});
}

TEST_F(JobRun, ARelativeOfiFolderIsTakenFromTheProgramFolder) {
    host.fields["OfiOut"] = "ﾌｧｲﾙ";
    fs::create_directory(folder / "plots");
    ASSERT_TRUE(test::smallDrawing("A").save(folder / "plots" / "A.OFI"));
    test::makeOld(folder / "plots" / "A.OFI");
    host.folder = "plots";
    run();
    EXPECT_TRUE(fs::exists(folder / "plots" / "A.GLF"));
    EXPECT_EQ(host.folder, "plots");
}

} // namespace
} // namespace kesto
