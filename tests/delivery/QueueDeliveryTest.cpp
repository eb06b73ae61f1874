// Sending GLF files through a print server to a raw queue whose "plotter" is
// the capture listener.
#include "job/delivery/Spooler.h"

#include <chrono>
#include <set>

#include <cups/cups.h>
#include <gtest/gtest.h>

#include "CupsdEnvironment.h"
#include "DeliveryFiles.h"

namespace kesto {
namespace {

using namespace std::chrono_literals;
using test::CupsdEnvironment;

struct JobInfo {
    int id;
    std::string title;
    std::string format;
};

class QueueDelivery : public ::testing::Test {
protected:
    void SetUp() override {
        env_ = CupsdEnvironment::current();
        if (!env_) GTEST_SKIP() << "no private print server";
        env_->capture().clear();
        spooler_ = makeSystemSpooler();
    }

    test::PrivateCupsd& cupsd() { return env_->cupsd(); }
    test::CaptureListener& capture() { return env_->capture(); }

    // The jobs the server holds for a queue, completed ones included.
    std::vector<JobInfo> jobs(const std::string& queue) {
        std::vector<JobInfo> result;
        http_t* http = httpConnect2("127.0.0.1", cupsd().port(), nullptr, AF_INET,
                                    HTTP_ENCRYPTION_IF_REQUESTED, 1, 10000, nullptr);
        if (!http) return result;
        cups_job_t* list = nullptr;
        int count = cupsGetJobs2(http, &list, queue.c_str(), 0, CUPS_WHICHJOBS_ALL);
        for (int i = 0; i < count; ++i)
            result.push_back({list[i].id, list[i].title ? list[i].title : "",
                              list[i].format ? list[i].format : ""});
        cupsFreeJobs(count, list);
        httpClose(http);
        return result;
    }

    std::set<int> jobIds(const std::string& queue) {
        std::set<int> ids;
        for (const auto& job : jobs(queue))
            ids.insert(job.id);
        return ids;
    }

    // Sends the bytes to the test queue and returns what the plotter received.
    void expectArrivesUnchanged(const std::string& bytes, const std::string& printer) {
        auto before = jobIds(CupsdEnvironment::kQueue);
        auto file = folder_.write("DRAWING.GLF", bytes);
        DeliveryResult result = spooler_->sendFile(file, printer);
        ASSERT_TRUE(result.delivered) << result.error;
        EXPECT_TRUE(result.error.empty());

        auto received = capture().waitForConnections(1, 30s);
        ASSERT_EQ(received.size(), 1u) << cupsd().errorLog();
        EXPECT_EQ(received[0].size, bytes.size());
        EXPECT_TRUE(received[0].bytes == bytes) << "the plotter received other bytes";

        std::vector<JobInfo> added;
        for (const auto& job : jobs(CupsdEnvironment::kQueue))
            if (!before.count(job.id)) added.push_back(job);
        ASSERT_EQ(added.size(), 1u) << "one drawing is one job";
        EXPECT_EQ(added[0].title, "Test");
        EXPECT_EQ(added[0].format, "application/vnd.cups-raw");
    }

    CupsdEnvironment* env_ = nullptr;
    std::unique_ptr<Spooler> spooler_;
    test::TempFolder folder_;
};

TEST_F(QueueDelivery, AnAllAsciiDrawingReachesThePlotterAsOneRawJobNamedTest) {
    // Plain HP-GL text would be typed as a text file and printed as a listing
    // if the job were not sent raw.
    expectArrivesUnchanged(test::kSmallDrawing, CupsdEnvironment::kQueue);
}

TEST_F(QueueDelivery, AMultiMegabyteFileArrivesByteForByte) {
    expectArrivesUnchanged(test::binaryBytes(6 * 1024 * 1024 + 123), CupsdEnvironment::kQueue);
}

TEST_F(QueueDelivery, QueueAtHostReachesTheQueueOnThatServerNotTheDefaultOne) {
    // The default server now points nowhere; only the name's host can work.
    cupsSetServer("127.0.0.1:1");
    expectArrivesUnchanged(test::kSmallDrawing,
                           std::string(CupsdEnvironment::kQueue) + "@" + cupsd().server());
    cupsSetServer(cupsd().server().c_str());
}

TEST_F(QueueDelivery, FailuresAreReportedWithAReasonAndLeaveNoJobBehind) {
    auto drawing = folder_.write("DRAWING.GLF", test::kSmallDrawing);
    auto before = jobIds(CupsdEnvironment::kQueue);

    DeliveryResult unknown = spooler_->sendFile(drawing, "no-such-plotter");
    EXPECT_FALSE(unknown.delivered);
    EXPECT_NE(unknown.error.find("no-such-plotter"), std::string::npos) << unknown.error;

    DeliveryResult missing =
        spooler_->sendFile(folder_.path() / "MISSING.GLF", CupsdEnvironment::kQueue);
    EXPECT_FALSE(missing.delivered);
    EXPECT_NE(missing.error.find("MISSING.GLF"), std::string::npos) << missing.error;

    DeliveryResult folder = spooler_->sendFile(folder_.path(), CupsdEnvironment::kQueue);
    EXPECT_FALSE(folder.delivered);

    // A server that does not answer (nothing listens on port 1).
    DeliveryResult noServer =
        spooler_->sendFile(drawing, std::string(CupsdEnvironment::kQueue) + "@127.0.0.1:1");
    EXPECT_FALSE(noServer.delivered);
    EXPECT_FALSE(noServer.error.empty());

    DeliveryResult empty = spooler_->sendFile(drawing, "");
    EXPECT_FALSE(empty.delivered);

    EXPECT_EQ(jobIds(CupsdEnvironment::kQueue), before) << "a failed send left a job";
}

TEST_F(QueueDelivery, AQueueThatRefusesJobsIsAFailureNotASuccess) {
    const std::string queue = "kesto-refusing";
    ASSERT_TRUE(cupsd().addRawQueue(queue, capture().uri())) << cupsd().error();
    ASSERT_EQ(cupsd().tool({"cupsdisable", queue}).exitCode, 0);
    ASSERT_EQ(cupsd().tool({"cupsreject", "-r", "out of paper", queue}).exitCode, 0);

    DeliveryResult result =
        spooler_->sendFile(folder_.write("DRAWING.GLF", test::kSmallDrawing), queue);
    EXPECT_FALSE(result.delivered);
    EXPECT_NE(result.error.find(queue), std::string::npos) << result.error;
    EXPECT_TRUE(jobs(queue).empty());
    EXPECT_TRUE(capture().connections().empty());
}

TEST_F(QueueDelivery, TheInstalledQueuesAndTheDefaultPrinterComeFromTheServer) {
    auto names = spooler_->printers();
    EXPECT_NE(std::find(names.begin(), names.end(), CupsdEnvironment::kQueue), names.end());

    ASSERT_EQ(cupsd().tool({"lpadmin", "-d", CupsdEnvironment::kQueue}).exitCode, 0);
    EXPECT_EQ(spooler_->defaultPrinter(), CupsdEnvironment::kQueue);
}

} // namespace
} // namespace kesto
