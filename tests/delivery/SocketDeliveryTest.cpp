// Sending GLF files straight to a plotter's AppSocket port.
#include "job/delivery/SocketSender.h"
#include "job/delivery/Spooler.h"

#include <arpa/inet.h>
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

// A listening socket on 127.0.0.1; `port()` is free of listeners once closed.
class LoopbackSocket {
public:
    LoopbackSocket() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
    }
    ~LoopbackSocket() { close(); }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd() const { return fd_; }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

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
    EXPECT_EQ(received[1].size, large.size());
    EXPECT_TRUE(received[1].bytes == large);
}

TEST(SocketDelivery, APortWithoutAPlotterIsAFailure) {
    LoopbackSocket unused;
    const int port = unused.port();
    unused.close();
    test::TempFolder folder;
    DeliveryResult result = makeSystemSpooler()->sendFile(
        folder.write("A.GLF", test::kSmallDrawing), "socket://127.0.0.1:" + std::to_string(port));
    EXPECT_FALSE(result.delivered);
    EXPECT_NE(result.error.find("cannot connect"), std::string::npos) << result.error;
}

TEST(SocketDelivery, APlotterThatDropsTheConnectionMidwayIsAFailureAndNotACrash) {
    // The plotter accepts, reads a little and resets the connection; the rest of
    // the file must not be counted as delivered, and no SIGPIPE may end us.
    LoopbackSocket listener;
    ASSERT_EQ(::listen(listener.fd(), 1), 0);
    std::thread plotter([fd = listener.fd()] {
        int conn = ::accept(fd, nullptr, nullptr);
        if (conn < 0) return;
        char buffer[1024];
        (void)!::read(conn, buffer, sizeof buffer);
        linger reset{1, 0};
        ::setsockopt(conn, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(conn);
    });
    test::TempFolder folder;
    DeliveryResult result = sendOverSocket(folder.write("A.GLF", test::binaryBytes(32 << 20)),
                                           "127.0.0.1", listener.port());
    plotter.join();
    EXPECT_FALSE(result.delivered);
    EXPECT_FALSE(result.error.empty());
}

TEST(SocketDelivery, AMissingFileIsAFailureBeforeAnyConnection) {
    test::CaptureListener plotter;
    DeliveryResult result =
        makeSystemSpooler()->sendFile("/nonexistent/kesto/DRAWING.GLF", plotter.uri());
    EXPECT_FALSE(result.delivered);
    EXPECT_NE(result.error.find("DRAWING.GLF"), std::string::npos);
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(plotter.connections().empty());
}

} // namespace
} // namespace kesto
