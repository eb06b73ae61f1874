// A print server that fails or stalls at the very end of a job, after the
// last byte of the drawing was sent: the delivery fails, says why, and leaves
// no job behind that could still reach the plotter.  A relay between the
// spooler and the private print server cuts the job where the document ends.
#include "delivery/Spooler.h"

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <cups/cups.h>
#include <gtest/gtest.h>

#include "CupsdEnvironment.h"
#include "DeliveryFiles.h"

namespace kesto {
namespace {

using namespace std::chrono_literals;
using test::CupsdEnvironment;

// Passes connections through to the print server until a client sends the
// end of a chunked document ("0" chunk); that connection then either stalls
// (nothing more goes either way) or is reset.  Other exchanges (the
// withdrawal of the job) pass unchanged.
class EndOfJobRelay {
public:
    enum class Cut { Stall, Reset };

    EndOfJobRelay(int serverPort, Cut cut) : serverPort_(serverPort), cut_(cut) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr = loopback(0);
        socklen_t len = sizeof addr;
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(listen_, 8) != 0 ||
            ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            return;
        port_ = ntohs(addr.sin_port);
        accepting_ = std::thread([this] { acceptLoop(); });
    }
    ~EndOfJobRelay() {
        stopping_ = true;
        if (accepting_.joinable()) accepting_.join();
        for (auto& t : relays_)
            t.join();
        ::close(listen_);
    }

    int port() const { return port_; }
    bool cut() const { return cutDone_; }

private:
    static sockaddr_in loopback(int port) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        return addr;
    }

    void acceptLoop() {
        while (!stopping_) {
            pollfd p{listen_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in addr = loopback(serverPort_);
            if (::connect(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
                ::close(client);
                ::close(server);
                continue;
            }
            relays_.emplace_back([this, client, server] { relay(client, server); });
        }
    }

    void relay(int client, int server) {
        static const std::string kLastChunk = "\r\n0\r\n\r\n";
        std::string tail; // the client's last bytes, to find the end across reads
        bool stalled = false;
        char buffer[65536];
        pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        while (!stopping_) {
            if (::poll(p, 2, 100) <= 0) continue;
            if (p[0].revents) {
                const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                if (stalled) continue; // taken and dropped
                tail += std::string(buffer, static_cast<std::size_t>(n));
                if (tail.find(kLastChunk) != std::string::npos) {
                    cutDone_ = true;
                    if (cut_ == Cut::Reset) {
                        const linger reset{1, 0};
                        ::setsockopt(client, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                        break;
                    }
                    stalled = true;
                    continue;
                }
                tail.erase(0,
                           tail.size() > kLastChunk.size() ? tail.size() - kLastChunk.size() : 0);
                if (::send(server, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) break;
            }
            if (p[1].revents) {
                const ssize_t n = ::recv(server, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                if (!stalled &&
                    ::send(client, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n)
                    break;
            }
        }
        ::close(client);
        ::close(server);
    }

    int serverPort_;
    Cut cut_;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> cutDone_{false};
    std::thread accepting_;
    std::vector<std::thread> relays_;
};

// The jobs of the test queue that could still print.
int activeJobs(int port) {
    http_t* http = httpConnect2("127.0.0.1", port, nullptr, AF_INET, HTTP_ENCRYPTION_IF_REQUESTED,
                                1, 10000, nullptr);
    cups_job_t* list = nullptr;
    const int count =
        http ? cupsGetJobs2(http, &list, CupsdEnvironment::kQueue, 0, CUPS_WHICHJOBS_ACTIVE) : -1;
    cupsFreeJobs(count, list);
    httpClose(http);
    return count;
}

TEST(EndOfJob, AServerThatStallsOrResetsAfterTheDataGivesAFailureAndLeavesNoJob) {
    CupsdEnvironment* env = CupsdEnvironment::current();
    if (!env) GTEST_SKIP() << "no private print server";
    const int port = env->cupsd().port();
    test::TempFolder folder;
    const auto glf = folder.write("END.GLF", test::kSmallDrawing);
    for (const auto cut : {EndOfJobRelay::Cut::Stall, EndOfJobRelay::Cut::Reset}) {
        const char* how = cut == EndOfJobRelay::Cut::Stall ? "stall" : "reset";
        ASSERT_EQ(activeJobs(port), 0) << how;
        EndOfJobRelay relay(port, cut);
        ASSERT_GT(relay.port(), 0);
        DeliveryTimeouts brief;
        brief.answer = 1s;
        auto spooler = makeSystemSpooler(brief);
        const std::string printer =
            std::string(CupsdEnvironment::kQueue) + "@127.0.0.1:" + std::to_string(relay.port());
        const Status sent = spooler->sendFile(glf, printer);
        EXPECT_TRUE(relay.cut()) << how << ": the document never ended";
        EXPECT_FALSE(sent.ok()) << how;
        EXPECT_FALSE(sent.reason().empty()) << how;
        if (cut == EndOfJobRelay::Cut::Stall) {
            EXPECT_NE(sent.reason().find("did not answer within 1 s"), std::string::npos)
                << sent.reason();
        }
        // The job is withdrawn (or was never complete): nothing is left to print.
        int left = -1;
        for (int i = 0; i < 20 && (left = activeJobs(port)) != 0; ++i)
            std::this_thread::sleep_for(100ms);
        EXPECT_EQ(left, 0) << how << ": a job was left at the server";
        EXPECT_TRUE(std::filesystem::exists(glf)) << "the GLF file stays";
    }
}

} // namespace
} // namespace kesto
