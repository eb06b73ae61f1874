// Sending GLF files through a print server to a raw queue whose "plotter" is
// the capture listener.
#include "delivery/Spooler.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include <cups/cups.h>
#include <gtest/gtest.h>

#include "CaptureListener.h"
#include "CupsdEnvironment.h"
#include "DeliveryFiles.h"

namespace kesto {
namespace {

using namespace std::chrono_literals;
using test::CupsdEnvironment;

class QueueDelivery : public ::testing::Test {
protected:
    void SetUp() override {
        env_ = CupsdEnvironment::current();
        if (!env_) GTEST_SKIP() << "no private print server";
        spooler_ = makeSystemSpooler();
    }

    struct HeldJob {
        int id;
        std::string text; // "title format"
    };

    // Each job the server holds for a queue, completed ones included.
    std::vector<HeldJob> heldJobs(const std::string& queue = CupsdEnvironment::kQueue) {
        std::vector<HeldJob> result;
        http_t* http = httpConnect2("127.0.0.1", env_->cupsd().port(), nullptr, AF_INET,
                                    HTTP_ENCRYPTION_IF_REQUESTED, 1, 10000, nullptr);
        cups_job_t* list = nullptr;
        const int count =
            http ? cupsGetJobs2(http, &list, queue.c_str(), 0, CUPS_WHICHJOBS_ALL) : 0;
        for (int i = 0; i < count; ++i)
            result.push_back({list[i].id, std::string(list[i].title ? list[i].title : "") + " " +
                                              (list[i].format ? list[i].format : "")});
        cupsFreeJobs(count, list);
        httpClose(http);
        return result;
    }

    std::vector<std::string> jobs(const std::string& queue = CupsdEnvironment::kQueue) {
        std::vector<std::string> result;
        for (const HeldJob& job : heldJobs(queue))
            result.push_back(job.text);
        return result;
    }

    // Sends the bytes to the test queue: the plotter gets them unchanged in
    // one raw job named "Test", whose number the spooler hands back.
    void expectArrivesUnchanged(const std::string& bytes, const std::string& printer) {
        env_->capture().clear();
        const auto before = heldJobs();
        int jobId = -1;
        const Status result = spooler_->sendFile(folder_.write("D.GLF", bytes), printer, &jobId);
        ASSERT_TRUE(result.ok()) << result.reason();
        std::vector<int> added;
        for (const HeldJob& job : heldJobs())
            if (std::none_of(before.begin(), before.end(),
                             [&](const HeldJob& b) { return b.id == job.id; }))
                added.push_back(job.id);
        EXPECT_EQ(added, std::vector<int>{jobId}) << "the job number is the server's";
        const auto received = env_->capture().waitForConnections(1, 30s);
        ASSERT_EQ(received.size(), 1u) << env_->cupsd().errorLog();
        EXPECT_TRUE(received[0].bytes == bytes) << "the plotter received other bytes";
        const auto after = jobs();
        ASSERT_EQ(after.size(), before.size() + 1) << "one drawing is one job";
        for (const auto& job : after) // only this program sends to the queue
            EXPECT_EQ(job, "Test application/vnd.cups-raw");
    }

    CupsdEnvironment* env_ = nullptr;
    std::unique_ptr<Spooler> spooler_;
    test::TempFolder folder_;
};

TEST_F(QueueDelivery, DrawingsReachThePlotterAsOneRawJobNamedTestEachAlsoThroughQueueAtHost) {
    // Plain HP-GL text would be typed as a text file and printed as a listing
    // if the job were not sent raw.
    expectArrivesUnchanged(test::kSmallDrawing, CupsdEnvironment::kQueue);
    expectArrivesUnchanged(test::binaryBytes(6 * 1024 * 1024 + 123), CupsdEnvironment::kQueue);
    // With the default server pointing nowhere, only the name's host can work.
    const std::string server = env_->cupsd().server();
    cupsSetServer("127.0.0.1:1");
    expectArrivesUnchanged(test::kSmallDrawing,
                           std::string(CupsdEnvironment::kQueue) + "@" + server);
    cupsSetServer(server.c_str());
}

TEST_F(QueueDelivery, FailuresAreReportedWithAReasonAndLeaveNoJobBehind) {
    const auto drawing = folder_.write("DRAWING.GLF", test::kSmallDrawing);
    const auto before = jobs();
    const std::string queue = CupsdEnvironment::kQueue;
    for (const auto& [file, printer, reason] :
         {std::tuple{drawing, std::string("no-such-plotter"), "no-such-plotter"},
          std::tuple{folder_.path() / "MISSING.GLF", queue, "MISSING.GLF"},
          std::tuple{folder_.path(), queue, ""},           // a folder
          std::tuple{drawing, queue + "@127.0.0.1:1", ""}, // nothing listens there
          std::tuple{drawing, std::string(), ""}}) {
        const Status result = spooler_->sendFile(file, printer);
        EXPECT_FALSE(result.ok()) << file << " to " << printer;
        EXPECT_FALSE(result.reason().empty()) << file << " to " << printer;
        EXPECT_NE(result.reason().find(reason), std::string::npos) << result.reason();
    }
    EXPECT_EQ(jobs(), before) << "a failed send left a job";

    // A queue that refuses jobs.
    const std::string refusing = "kesto-refusing";
    auto& cupsd = env_->cupsd();
    ASSERT_TRUE(cupsd.addRawQueue(refusing, env_->capture().uri())) << cupsd.error();
    ASSERT_EQ(cupsd.tool({"cupsdisable", refusing}).exitCode, 0);
    ASSERT_EQ(cupsd.tool({"cupsreject", "-r", "out of paper", refusing}).exitCode, 0);
    env_->capture().clear();
    const Status result = spooler_->sendFile(drawing, refusing);
    EXPECT_FALSE(result.ok());
    EXPECT_NE(result.reason().find(refusing), std::string::npos) << result.reason();
    EXPECT_TRUE(jobs(refusing).empty());
    EXPECT_TRUE(env_->capture().connections().empty());
}

TEST_F(QueueDelivery, TheInstalledQueuesAndTheDefaultPrinterComeFromTheServer) {
    const auto names = spooler_->printers();
    EXPECT_NE(std::find(names.begin(), names.end(), CupsdEnvironment::kQueue), names.end());
    ASSERT_EQ(env_->cupsd().tool({"lpadmin", "-d", CupsdEnvironment::kQueue}).exitCode, 0);
    EXPECT_EQ(spooler_->defaultPrinter(), CupsdEnvironment::kQueue);
}

// A print server that accepts the connection and never answers: a stop ends
// the send within a second, and without one the send fails after its time
// limit with a reason that says so.  The look-up of the default printer is
// bounded the same way.
TEST(SilentPrintServer, NeitherAStopNorTheTimeLimitIsLostWaitingForIt) {
    test::CaptureListener silent;
    ASSERT_TRUE(silent.listening());
    silent.stopReadingAfter(0);
    test::TempFolder folder;
    const auto glf = folder.write("A.GLF", test::kSmallDrawing);
    const std::string printer = "plotter@127.0.0.1:" + std::to_string(silent.port());
    using Clock = std::chrono::steady_clock;

    DeliveryTimeouts brief;
    brief.answer = 1s;
    brief.lookup = 1s;
    auto spooler = makeSystemSpooler(brief);
    auto began = Clock::now();
    const Status timedOut = spooler->sendFile(glf, printer);
    EXPECT_LT(Clock::now() - began, 4s);
    EXPECT_FALSE(timedOut.ok());
    EXPECT_NE(timedOut.reason().find("did not answer within 1 s"), std::string::npos)
        << timedOut.reason();

    DeliveryTimeouts patient;
    patient.answer = 600s;
    auto waiting = makeSystemSpooler(patient);
    std::atomic<bool> stop{false};
    waiting->watchCancel(&stop);
    began = Clock::now();
    Status stopped;
    {
        std::thread late([&stop] {
            std::this_thread::sleep_for(300ms);
            stop = true;
        });
        stopped = waiting->sendFile(glf, printer);
        late.join();
    }
    EXPECT_LT(Clock::now() - began, 1300ms);
    EXPECT_FALSE(stopped.ok());
    EXPECT_NE(stopped.reason().find("stopped"), std::string::npos) << stopped.reason();

    // The default printer, asked of the silent server.
    const std::string server = cupsServer();
    const std::string silentServer = "127.0.0.1:" + std::to_string(silent.port());
    cupsSetServer(silentServer.c_str());
    began = Clock::now();
    EXPECT_EQ(spooler->defaultPrinter(), "");
    EXPECT_LT(Clock::now() - began, 4s);
    cupsSetServer(server.c_str());
}

} // namespace
} // namespace kesto
