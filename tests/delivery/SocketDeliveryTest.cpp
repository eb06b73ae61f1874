// Sending GLF files straight to a plotter's AppSocket port.
#include "delivery/SocketSender.h"
#include "delivery/Spooler.h"

#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "CaptureListener.h"
#include "DeliveryFiles.h"

namespace kesto {
namespace {

using namespace std::chrono_literals;

TEST(SocketDelivery, SocketNamesSendTheFileStraightToThePlotter) {
    test::CaptureListener plotter;
    ASSERT_TRUE(plotter.listening());
    test::TempFolder folder;
    auto spooler = makeSystemSpooler();

    int jobId = -1;
    Status small =
        spooler->sendFile(folder.write("A.GLF", test::kSmallDrawing), plotter.uri(), &jobId);
    ASSERT_TRUE(small.ok()) << small.reason();
    EXPECT_EQ(jobId, 0) << "a socket plotter gives no job number";
    // Large enough that the kernel takes it in many partial writes.
    const std::string large = test::binaryBytes(8 * 1024 * 1024, 7);
    Status big = spooler->sendFile(folder.write("B.GLF", large), plotter.uri());
    ASSERT_TRUE(big.ok()) << big.reason();

    auto received = plotter.waitForConnections(2, 10s);
    ASSERT_EQ(received.size(), 2u);
    // The sender waits for the plotter to close, so the order is the sending order.
    EXPECT_EQ(received[0].bytes, test::kSmallDrawing);
    EXPECT_TRUE(received[1].bytes == large);
}

TEST(SocketDelivery, AMissingFileOrAPortWithoutAPlotterIsAFailure) {
    test::CaptureListener plotter;
    test::TempFolder folder;
    auto spooler = makeSystemSpooler();
    Status missing = spooler->sendFile(folder.path() / "DRAWING.GLF", plotter.uri());
    EXPECT_FALSE(missing.ok());
    EXPECT_NE(missing.reason().find("DRAWING.GLF"), std::string::npos) << missing.reason();
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(plotter.connections().empty()) << "it fails before any connection";

    // Nothing listens on port 1.
    Status refused =
        spooler->sendFile(folder.write("A.GLF", test::kSmallDrawing), "socket://127.0.0.1:1");
    EXPECT_FALSE(refused.ok());
    EXPECT_NE(refused.reason().find("cannot connect"), std::string::npos) << refused.reason();
}

TEST(SocketDelivery, APlotterThatDropsTheConnectionMidwayIsAFailureAndNotACrash) {
    // The plotter accepts, reads a little and resets the connection; the rest of
    // the file must not be counted as delivered, and no SIGPIPE may end us.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    std::thread plotter([listener] {
        const int conn = ::accept(listener, nullptr, nullptr);
        if (conn < 0) return;
        char buffer[1024];
        (void)!::read(conn, buffer, sizeof buffer);
        const linger reset{1, 0};
        ::setsockopt(conn, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(conn);
    });
    test::TempFolder folder;
    Status result = sendOverSocket(folder.write("A.GLF", test::binaryBytes(32 << 20)), "127.0.0.1",
                                   ntohs(addr.sin_port));
    plotter.join();
    ::close(listener);
    EXPECT_FALSE(result.ok());
    EXPECT_FALSE(result.reason().empty());
}

// After the last byte the plotter either resets the connection (it dropped
// the job: a failure) or keeps it open without a word (it has the data: the
// delivery ends after the drain time).
TEST(SocketDelivery, AfterTheDataAResetIsAFailureAndSilenceIsNot) {
    for (const bool reset : {true, false}) {
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);
        ASSERT_EQ(::listen(listener, 1), 0);
        std::atomic<bool> done{false};
        std::uint64_t received = 0;
        std::thread plotter([&] {
            const int conn = ::accept(listener, nullptr, nullptr);
            if (conn < 0) return;
            char buffer[65536];
            for (ssize_t n; (n = ::read(conn, buffer, sizeof buffer)) > 0;)
                received += static_cast<std::uint64_t>(n);
            if (reset) {
                const linger hard{1, 0};
                ::setsockopt(conn, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            } else {
                while (!done)
                    std::this_thread::sleep_for(10ms);
            }
            ::close(conn);
        });
        test::TempFolder folder;
        const std::string bytes = test::binaryBytes(200000, 3);
        SocketTimeouts brief;
        brief.drain = 300ms;
        const auto began = std::chrono::steady_clock::now();
        const Status result =
            sendOverSocket(folder.write("A.GLF", bytes), "127.0.0.1", ntohs(addr.sin_port), brief);
        EXPECT_LT(std::chrono::steady_clock::now() - began, 3s);
        done = true;
        plotter.join();
        ::close(listener);
        EXPECT_EQ(received, bytes.size());
        if (reset) {
            EXPECT_FALSE(result.ok());
            EXPECT_NE(result.reason().find("dropped the connection"), std::string::npos)
                << result.reason();
        } else {
            EXPECT_TRUE(result.ok()) << result.reason();
        }
    }
}

// Raises the flag after `delay`, from another thread, as a stop button would.
class LateStop {
public:
    LateStop(std::atomic<bool>& flag, std::chrono::milliseconds delay)
        : thread_([&flag, delay] {
              std::this_thread::sleep_for(delay);
              flag = true;
          }) {}
    ~LateStop() { thread_.join(); }

private:
    std::thread thread_;
};

TEST(SocketDelivery, APlotterThatStopsReadingGivesWayToAStopAndToTheStallLimit) {
    test::CaptureListener plotter;
    ASSERT_TRUE(plotter.listening());
    plotter.stopReadingAfter(1000);
    test::TempFolder folder;
    // Far more than the socket buffers hold, so that the sender has to wait.
    const auto glf = folder.write("BIG.GLF", test::binaryBytes(24 << 20));
    const auto port = plotter.port();
    using Clock = std::chrono::steady_clock;

    DeliveryTimeouts patient;
    patient.stall = 600s;
    auto spooler = makeSystemSpooler(patient);
    std::atomic<bool> stop{false};
    spooler->watchCancel(&stop);
    auto began = Clock::now();
    Status stopped;
    {
        LateStop late(stop, 300ms);
        stopped = spooler->sendFile(glf, plotter.uri());
    }
    EXPECT_LT(Clock::now() - began, 1300ms) << "a stop is seen within a second";
    EXPECT_FALSE(stopped.ok());
    EXPECT_NE(stopped.reason().find("stopped"), std::string::npos) << stopped.reason();

    SocketTimeouts brief;
    brief.stall = 500ms;
    began = Clock::now();
    const Status stalled = sendOverSocket(glf, "127.0.0.1", port, brief);
    EXPECT_LT(Clock::now() - began, 3s);
    EXPECT_FALSE(stalled.ok());
    EXPECT_NE(stalled.reason().find("took no data"), std::string::npos) << stalled.reason();
}

} // namespace
} // namespace kesto
