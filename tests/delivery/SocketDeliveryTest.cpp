// Sending GLF files straight to a plotter's AppSocket port.
#include "job/delivery/SocketSender.h"
#include "job/delivery/Spooler.h"

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

    DeliveryResult small =
        spooler->sendFile(folder.write("A.GLF", test::kSmallDrawing), plotter.uri());
    ASSERT_TRUE(small.delivered) << small.error;
    // Large enough that the kernel takes it in many partial writes.
    const std::string large = test::binaryBytes(8 * 1024 * 1024, 7);
    DeliveryResult big = spooler->sendFile(folder.write("B.GLF", large), plotter.uri());
    ASSERT_TRUE(big.delivered) << big.error;

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
    DeliveryResult missing = spooler->sendFile(folder.path() / "DRAWING.GLF", plotter.uri());
    EXPECT_FALSE(missing.delivered);
    EXPECT_NE(missing.error.find("DRAWING.GLF"), std::string::npos) << missing.error;
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(plotter.connections().empty()) << "it fails before any connection";

    // Nothing listens on port 1.
    DeliveryResult refused =
        spooler->sendFile(folder.write("A.GLF", test::kSmallDrawing), "socket://127.0.0.1:1");
    EXPECT_FALSE(refused.delivered);
    EXPECT_NE(refused.error.find("cannot connect"), std::string::npos) << refused.error;
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
    DeliveryResult result = sendOverSocket(folder.write("A.GLF", test::binaryBytes(32 << 20)),
                                           "127.0.0.1", ntohs(addr.sin_port));
    plotter.join();
    ::close(listener);
    EXPECT_FALSE(result.delivered);
    EXPECT_FALSE(result.error.empty());
}

} // namespace
} // namespace kesto
