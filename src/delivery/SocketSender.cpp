#include "delivery/SocketSender.h"

#include "delivery/GlfSource.h"
#include "io/SystemError.h"

#ifndef _WIN32
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace kesto {

#ifdef _WIN32

Status sendOverSocket(const std::filesystem::path&, const std::string& host, int port,
                      const SocketTimeouts&, const std::atomic<bool>*) {
    return Status::failure("socket://" + host + ":" + std::to_string(port) +
                           ": direct plotter connections are not available on this system; "
                           "install the plotter as a printer queue");
}

#else

namespace {

using Clock = std::chrono::steady_clock;

// Bytes read per call while waiting for the plotter to close.
constexpr std::size_t kDrainChunk = 4096;

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

// What a wait on the socket came to.
constexpr int kTimedOut = 0;
constexpr int kFailed = -1;
constexpr int kCancelled = -2;

bool raised(const std::atomic<bool>* cancel) {
    return cancel && cancel->load();
}

// Waits for events on fd until the deadline, in slices short enough to see a
// raised cancel flag in time; EINTR restarts the wait.  Returns the revents,
// kTimedOut, kCancelled, or kFailed (errno set).
int waitFor(int fd, short events, Clock::time_point deadline, const std::atomic<bool>* cancel) {
    for (;;) {
        if (raised(cancel)) return kCancelled;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return kTimedOut;
        pollfd p{fd, events, 0};
        int n = ::poll(&p, 1,
                       static_cast<int>(std::min<long long>(left.count(), kCancelSlice.count())));
        if (n < 0) {
            if (errno == EINTR) continue;
            return kFailed;
        }
        if (n > 0) return p.revents;
    }
}

// Connects to one resolved address without blocking past the deadline.
int connectOne(const addrinfo* ai, Clock::time_point deadline, const std::atomic<bool>* cancel,
               int& err) {
    int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) {
        err = errno;
        return -1;
    }
#ifdef SO_NOSIGPIPE
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
    int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    if (::connect(fd, ai->ai_addr, ai->ai_addrlen) < 0) {
        if (errno != EINPROGRESS && errno != EINTR) {
            err = errno;
            ::close(fd);
            return -1;
        }
        int r = waitFor(fd, POLLOUT, deadline, cancel);
        if (r <= 0) {
            err = r == kTimedOut ? ETIMEDOUT : r == kCancelled ? ECANCELED : errno;
            ::close(fd);
            return -1;
        }
        int soError = 0;
        socklen_t len = sizeof soError;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) < 0 || soError != 0) {
            err = soError ? soError : errno;
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

// Drops the connection with a reset, so that the plotter discards the partial job
// instead of taking it as complete.
void resetConnection(int fd) {
    const linger reset{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
}

ssize_t sendSome(int fd, const char* data, std::size_t size) {
#ifdef MSG_NOSIGNAL
    return ::send(fd, data, size, MSG_NOSIGNAL);
#else
    return ::send(fd, data, size, 0);
#endif
}

} // namespace

Status sendOverSocket(const std::filesystem::path& glfFile, const std::string& host, int port,
                      const SocketTimeouts& timeouts, const std::atomic<bool>* cancel) {
    const std::string where = "socket://" + host + ":" + std::to_string(port);
    const Status stopped = Status::failure(where + ": delivery stopped, the job was withdrawn");
    GlfSource source;
    if (Status opened = source.open(glfFile); !opened) return opened;

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0)
        return Status::failure(where + ": cannot resolve " + host + ": " + ::gai_strerror(rc));

    Fd sock;
    int err = 0;
    const auto connectDeadline = Clock::now() + timeouts.connect;
    for (const addrinfo* ai = found; ai && sock.get() < 0 && !raised(cancel); ai = ai->ai_next)
        sock.reset(connectOne(ai, connectDeadline, cancel, err));
    ::freeaddrinfo(found);
    if (raised(cancel)) return stopped;
    if (sock.get() < 0) return Status::failure(where + ": cannot connect: " + errnoText(err));

    for (std::span<const char> block = source.next(); !block.empty(); block = source.next()) {
        if (raised(cancel)) {
            resetConnection(sock.get());
            return stopped;
        }
        std::size_t sent = 0;
        while (sent < block.size()) {
            ssize_t n = sendSome(sock.get(), block.data() + sent, block.size() - sent);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                int r = waitFor(sock.get(), POLLOUT, Clock::now() + timeouts.stall, cancel);
                if (r == kCancelled) {
                    resetConnection(sock.get());
                    return stopped;
                }
                if (r == kTimedOut) {
                    resetConnection(sock.get());
                    return Status::failure(where + ": the plotter took no data for " +
                                           std::to_string(timeouts.stall.count() / 1000) + " s");
                }
                if (r < 0) return Status::failure(where + ": write failed: " + errnoText(errno));
                continue;
            }
            return Status::failure(where + ": write failed: " + errnoText(n < 0 ? errno : EPIPE));
        }
    }
    if (!source.status()) return source.status();

    // All bytes are with the network; tell the plotter the job is complete and let
    // it close its side, reading (and dropping) whatever status it sends back.
    if (::shutdown(sock.get(), SHUT_WR) < 0)
        return Status::failure(where + ": cannot end the job: " + errnoText(errno));
    const auto drainDeadline = Clock::now() + timeouts.drain;
    char sink[kDrainChunk];
    for (;;) {
        int r = waitFor(sock.get(), POLLIN, drainDeadline, cancel);
        // Every byte is with the plotter: a stop now changes nothing.
        if (r == kTimedOut || r == kCancelled) break;
        if (r < 0) return Status::failure(where + ": " + errnoText(errno));
        ssize_t n = ::recv(sock.get(), sink, sizeof sink, 0);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return Status::failure(where +
                                   ": the plotter dropped the connection: " + errnoText(errno));
        }
    }
    return {};
}

#endif

} // namespace kesto
