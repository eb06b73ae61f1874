// Job runs that deliver through a private print server to a raw queue whose
// plotter is the capture listener.
#include "JobTestSupport.h"

#include "CupsdEnvironment.h"
#include "convert/ConvertFile.h"

#include <gtest/gtest.h>

namespace kesto {
namespace {

using namespace std::chrono_literals;
using test::CupsdEnvironment;
using Names = std::vector<std::string>;

// What the converter makes of a drawing on its own, with default settings.
std::string expectedGlf(const OfiComposer& drawing) {
    test::ProgramFolder scratch("expected");
    const FileResult r =
        ConversionRun(ConversionSettings{})
            .toFile(scratch.write("X.OFI", drawing), scratch / "X.GLF", Durability::Replace);
    EXPECT_EQ(r.outcome, FileOutcome::Finished) << r.message;
    return test::readBytes(scratch / "X.GLF");
}

class QueueRun : public ::testing::Test {
protected:
    void SetUp() override {
        env_ = CupsdEnvironment::current();
        if (!env_) GTEST_SKIP() << "no private print server";
        env_->capture().clear();
        spooler_ = makeSystemSpooler();
        host.folder = folder.path().string();
        host.printer = CupsdEnvironment::kQueue;
        host.fields = {{"OfiFMen", "自動"}, {"OfiFEnd", "消去"}, {"OfiOut", "ﾌﾟﾛｯﾀ"}};
    }

    RunSummary run() {
        JobRunOptions options;
        options.programFolder = folder.path();
        options.settleTime = 0ms;
        return MinP(host, *spooler_, options);
    }

    CupsdEnvironment* env_ = nullptr;
    std::unique_ptr<Spooler> spooler_;
    test::ProgramFolder folder;
    test::RecordingHost host;
};

TEST_F(QueueRun, ThePlotterReceivesExactlyTheGlfBytesAndTheOfiGoesOrStaysAsTold) {
    const OfiComposer drawing = test::smallDrawing("QUEUE");
    folder.write("Q.OFI", drawing);
    ASSERT_EQ(run().finished, 1) << (host.reasons.empty() ? "" : host.reasons[0]);
    const auto received = env_->capture().waitForConnections(1, 30s);
    ASSERT_EQ(received.size(), 1u) << env_->cupsd().errorLog();
    EXPECT_TRUE(received[0].bytes == expectedGlf(drawing)) << "the plotter received other bytes";
    EXPECT_TRUE(folder.names().empty()) << "OFI, GLF and Kesto.wok are gone";

    env_->capture().clear();
    host.fields["OfiFEnd"] = "保存";
    folder.write("K.OFI", test::smallDrawing("KEEP"));
    ASSERT_EQ(run().finished, 1);
    EXPECT_EQ(env_->capture().waitForConnections(1, 30s).size(), 1u);
    EXPECT_EQ(folder.names(), Names{"K.OFI"});
}

TEST_F(QueueRun, AMissingOrRefusingQueueFailsEveryDrawingKeepsItsFilesAndTheRunGoesOn) {
    host.printer = "no-such-queue";
    folder.write("N.OFI", test::smallDrawing("NOQUEUE"));
    EXPECT_EQ(run().failed, 1);
    ASSERT_EQ(host.lines.size(), 1u);
    EXPECT_TRUE(host.lines[0].ends_with("　出図失敗")) << host.lines[0];
    ASSERT_EQ(host.reasons.size(), 1u);
    EXPECT_FALSE(host.reasons[0].empty());
    EXPECT_EQ(folder.names(), (Names{"N.GLF", "N.OFI"}));

    auto& cupsd = env_->cupsd();
    ASSERT_EQ(cupsd.tool({"cupsreject", CupsdEnvironment::kQueue}).exitCode, 0);
    host.printer = CupsdEnvironment::kQueue;
    folder.write("R.OFI", test::smallDrawing("R"));
    const RunSummary summary = run();
    cupsd.tool({"cupsaccept", CupsdEnvironment::kQueue});
    EXPECT_EQ(summary.failed, 2);
    EXPECT_EQ(folder.names(), (Names{"N.GLF", "N.OFI", "R.GLF", "R.OFI"}));
    EXPECT_TRUE(env_->capture().waitForConnections(1, 1s).empty());
}

} // namespace
} // namespace kesto
