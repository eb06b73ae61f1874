// Job runs that deliver through a private print server to a raw queue whose
// plotter is the capture listener.
#include "JobTestSupport.h"

#include "CupsdEnvironment.h"
#include "convert/Snapshot.h"
#include "ofi/ConvertFile.h"

#include <set>

#include <cups/cups.h>
#include <gtest/gtest.h>

namespace kesto {
namespace {

using namespace std::chrono_literals;
using test::CupsdEnvironment;
using test::FakeSpooler;
using test::ProgramFolder;
using test::RecordingHost;

// The jobs of a queue on the private server, completed ones included.
std::vector<std::pair<int, std::string>> queueJobs(int port, const std::string& queue) {
    std::vector<std::pair<int, std::string>> result;
    http_t* http = httpConnect2("127.0.0.1", port, nullptr, AF_INET, HTTP_ENCRYPTION_IF_REQUESTED,
                                1, 10000, nullptr);
    if (!http) return result;
    cups_job_t* list = nullptr;
    const int count = cupsGetJobs2(http, &list, queue.c_str(), 0, CUPS_WHICHJOBS_ALL);
    for (int i = 0; i < count; ++i)
        result.emplace_back(list[i].id, list[i].title ? list[i].title : "");
    cupsFreeJobs(count, list);
    httpClose(http);
    return result;
}

// What the converter makes of a drawing on its own, with default settings.
std::string expectedGlf(const OfiComposer& drawing) {
    ProgramFolder scratch("expected");
    const auto ofi = scratch.write("X.OFI", drawing);
    ConversionState state;
    const FileResult r = convertOfiFile(ofi, scratch / "X.GLF", state, ConversionSettings{});
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

    std::vector<std::pair<int, std::string>> jobs() {
        return queueJobs(env_->cupsd().port(), CupsdEnvironment::kQueue);
    }

    CupsdEnvironment* env_ = nullptr;
    std::unique_ptr<Spooler> spooler_;
    ProgramFolder folder;
    RecordingHost host;
};

TEST_F(QueueRun, ThePlotterReceivesExactlyTheGlfBytesInOneJobNamedTestAndTheOfiGoes) {
    const OfiComposer drawing = test::smallDrawing("QUEUE");
    const std::string expected = expectedGlf(drawing);
    folder.write("Q.OFI", drawing);
    const auto before = jobs();

    const RunSummary summary = run();
    ASSERT_EQ(summary.finished, 1) << (host.reasons.empty() ? "" : host.reasons[0]);
    const auto received = env_->capture().waitForConnections(1, 30s);
    ASSERT_EQ(received.size(), 1u) << env_->cupsd().errorLog();
    EXPECT_TRUE(received[0].bytes == expected) << "the plotter received other bytes";

    const auto after = jobs();
    ASSERT_EQ(after.size(), before.size() + 1) << "one drawing is one job";
    EXPECT_EQ(after.back().second, "Test");
    EXPECT_TRUE(folder.names().empty()) << "OFI, GLF and Kesto.wok are gone";
}

TEST_F(QueueRun, KeepsTheOfiAfterDeliveryWhenToldTo) {
    host.fields["OfiFEnd"] = "保存";
    folder.write("K.OFI", test::smallDrawing("KEEP"));
    ASSERT_EQ(run().finished, 1);
    EXPECT_EQ(env_->capture().waitForConnections(1, 30s).size(), 1u);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"K.OFI"});
}

TEST_F(QueueRun, AQueueThatDoesNotExistKeepsBothFilesAndSaysTheDrawingFailed) {
    host.printer = "no-such-queue";
    folder.write("N.OFI", test::smallDrawing("NOQUEUE"));
    const RunSummary summary = run();
    EXPECT_EQ(summary.failed, 1);
    ASSERT_EQ(host.lines.size(), 1u);
    EXPECT_TRUE(host.lines[0].ends_with("　出図失敗")) << host.lines[0];
    ASSERT_EQ(host.reasons.size(), 1u);
    EXPECT_FALSE(host.reasons[0].empty());
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"N.GLF", "N.OFI"}));
}

TEST_F(QueueRun, AQueueThatRefusesJobsFailsEveryDrawingAndTheRunGoesOn) {
    auto& cupsd = env_->cupsd();
    ASSERT_EQ(cupsd.tool({"cupsreject", CupsdEnvironment::kQueue}).exitCode, 0);
    folder.write("R1.OFI", test::smallDrawing("R1"));
    folder.write("R2.OFI", test::smallDrawing("R2"));
    const RunSummary summary = run();
    cupsd.tool({"cupsaccept", CupsdEnvironment::kQueue});

    EXPECT_EQ(summary.failed, 2);
    EXPECT_EQ(host.lines.size(), 2u);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"R1.GLF", "R1.OFI", "R2.GLF", "R2.OFI"}));
    EXPECT_TRUE(env_->capture().waitForConnections(1, 1s).empty());
}

} // namespace
} // namespace kesto
