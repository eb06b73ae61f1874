#include "delivery/SocketSender.h"

#include "delivery/GlfSource.h"
#include "io/SystemError.h"

#include <algorithm>
#include <cerrno>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include "io/NativeText.h"

#include <mutex>
#else
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

namespace {

// The little that differs between BSD sockets and Winsock.
#ifdef _WIN32
using SocketHandle = SOCKET;
const SocketHandle kNoSocket = INVALID_SOCKET;
constexpr int kShutdownSend = SD_SEND;
constexpr int kWouldBlock = WSAEWOULDBLOCK;
constexpr int kInProgress = WSAEWOULDBLOCK; // a non-blocking connect under way
constexpr int kInterrupted = WSAEINTR;
constexpr int kTimedOut = WSAETIMEDOUT;
constexpr int kBrokenPipe = WSAECONNRESET;
constexpr short kReadable = 1;
constexpr short kWritable = 2;
constexpr short kBroken = 4;
using SendResult = int;

int lastSocketError() {
    return WSAGetLastError();
}
std::string socketErrorText(int code) {
    return windowsErrorText(static_cast<unsigned long>(code));
}
void closeSocket(SocketHandle s) {
    ::closesocket(s);
}
bool startSockets(std::string& error) {
    static std::once_flag once;
    static int started = -1;
    std::call_once(once, [] {
        WSADATA data;
        started = ::WSAStartup(MAKEWORD(2, 2), &data);
    });
    if (started != 0) error = "cannot start Windows sockets: " + socketErrorText(started);
    return started == 0;
}
SocketHandle openSocket(const addrinfo* ai) {
    return ::socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
}
void setNonBlocking(SocketHandle s) {
    u_long on = 1;
    ::ioctlsocket(s, FIONBIO, &on);
}
std::string resolveErrorText(int rc) {
    return socketErrorText(rc);
}
// select() rather than WSAPoll, which does not report a refused connection on
// older systems.  Returns kReadable/kWritable/kBroken bits, 0 on timeout, -1 on error.
int pollOnce(SocketHandle s, short events, int timeoutMs) {
    fd_set readable, writable, broken;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&broken);
    if (events & kReadable) FD_SET(s, &readable);
    if (events & kWritable) FD_SET(s, &writable);
    FD_SET(s, &broken);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int n = ::select(0, &readable, &writable, &broken, &tv);
    if (n <= 0) return n;
    int revents = 0;
    if (FD_ISSET(s, &readable)) revents |= kReadable;
    if (FD_ISSET(s, &writable)) revents |= kWritable;
    if (FD_ISSET(s, &broken)) revents |= kBroken;
    return revents;
}
SendResult sendSome(SocketHandle s, const char* data, std::size_t size) {
    return ::send(s, data, static_cast<int>(std::min<std::size_t>(size, 1 << 30)), 0);
}
#else
using SocketHandle = int;
const SocketHandle kNoSocket = -1;
constexpr int kShutdownSend = SHUT_WR;
constexpr int kWouldBlock = EWOULDBLOCK;
constexpr int kInProgress = EINPROGRESS;
constexpr int kInterrupted = EINTR;
constexpr int kTimedOut = ETIMEDOUT;
constexpr int kBrokenPipe = EPIPE;
constexpr short kReadable = POLLIN;
constexpr short kWritable = POLLOUT;
using SendResult = ssize_t;

int lastSocketError() {
    return errno;
}
std::string socketErrorText(int code) {
    return errnoText(code);
}
void closeSocket(SocketHandle s) {
    ::close(s);
}
bool startSockets(std::string&) {
    return true;
}
SocketHandle openSocket(const addrinfo* ai) {
    const SocketHandle s = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
#ifdef SO_NOSIGPIPE
    if (s >= 0) {
        int one = 1;
        ::setsockopt(s, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
    }
#endif
    return s;
}
void setNonBlocking(SocketHandle s) {
    const int flags = ::fcntl(s, F_GETFL, 0);
    ::fcntl(s, F_SETFL, flags | O_NONBLOCK);
}
std::string resolveErrorText(int rc) {
    return ::gai_strerror(rc);
}
int pollOnce(SocketHandle s, short events, int timeoutMs) {
    pollfd p{s, events, 0};
    const int n = ::poll(&p, 1, timeoutMs);
    return n > 0 ? p.revents : n;
}
SendResult sendSome(SocketHandle s, const char* data, std::size_t size) {
#ifdef MSG_NOSIGNAL
    return ::send(s, data, size, MSG_NOSIGNAL);
#else
    return ::send(s, data, size, 0);
#endif
}
#endif

using Clock = std::chrono::steady_clock;

// Bytes read per call while waiting for the plotter to close.
constexpr std::size_t kDrainChunk = 4096;

class Socket {
public:
    explicit Socket(SocketHandle s = kNoSocket) : s_(s) {}
    ~Socket() {
        if (s_ != kNoSocket) closeSocket(s_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    SocketHandle get() const { return s_; }
    bool valid() const { return s_ != kNoSocket; }
    void reset(SocketHandle s) {
        if (s_ != kNoSocket) closeSocket(s_);
        s_ = s;
    }
    // Gives the socket up without closing it.
    SocketHandle release() {
        const SocketHandle s = s_;
        s_ = kNoSocket;
        return s;
    }

private:
    SocketHandle s_;
};

// What a wait on the socket came to, when no event came.
constexpr int kWaitTimedOut = 0;
constexpr int kWaitFailed = -1;
constexpr int kWaitCancelled = -2;

bool raised(const std::atomic<bool>* cancel) {
    return cancel && cancel->load();
}

// Waits for events on the socket until the deadline, in slices short enough
// to see a raised cancel flag in time; an interruption restarts the wait.
// Returns the events, kWaitTimedOut, kWaitCancelled or kWaitFailed
// (lastSocketError() says why).
int waitFor(SocketHandle s, short events, Clock::time_point deadline,
            const std::atomic<bool>* cancel) {
    for (;;) {
        if (raised(cancel)) return kWaitCancelled;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return kWaitTimedOut;
        const int n = pollOnce(
            s, events, static_cast<int>(std::min<long long>(left.count(), kCancelSlice.count())));
        if (n < 0) {
            if (lastSocketError() == kInterrupted) continue;
            return kWaitFailed;
        }
        if (n > 0) return n;
    }
}

// Drops the connection with a reset, so that the plotter discards the partial
// job instead of taking it as complete.
void resetConnection(SocketHandle s) {
    const linger reset{1, 0};
    ::setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
}

// Connects to one resolved address without blocking past the deadline.
SocketHandle connectOne(const addrinfo* ai, Clock::time_point deadline,
                        const std::atomic<bool>* cancel, int& err) {
    Socket s(openSocket(ai));
    if (!s.valid()) {
        err = lastSocketError();
        return kNoSocket;
    }
    setNonBlocking(s.get());
    if (::connect(s.get(), ai->ai_addr, static_cast<int>(ai->ai_addrlen)) != 0) {
        const int code = lastSocketError();
        if (code != kInProgress && code != kInterrupted) {
            err = code;
            return kNoSocket;
        }
        const int r = waitFor(s.get(), kWritable, deadline, cancel);
        if (r <= 0) {
            // A stop is reported by the caller, which sees the flag too.
            err = r == kWaitFailed ? lastSocketError() : kTimedOut;
            return kNoSocket;
        }
        int soError = 0;
        socklen_t len = sizeof soError;
        if (::getsockopt(s.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len) !=
                0 ||
            soError != 0) {
            err = soError ? soError : lastSocketError();
            return kNoSocket;
        }
    }
    return s.release();
}

} // namespace

Status sendOverSocket(const std::filesystem::path& glfFile, const std::string& host, int port,
                      const SocketTimeouts& timeouts, const std::atomic<bool>* cancel) {
    const std::string where = "socket://" + host + ":" + std::to_string(port);
    const Status stopped = Status::failure(where + ": delivery stopped, the job was withdrawn");
    GlfSource source;
    if (Status opened = source.open(glfFile); !opened) return opened;
    if (std::string error; !startSockets(error)) return Status::failure(where + ": " + error);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0)
        return Status::failure(where + ": cannot resolve " + host + ": " + resolveErrorText(rc));

    Socket sock;
    int err = 0;
    const auto connectDeadline = Clock::now() + timeouts.connect;
    for (const addrinfo* ai = found; ai && !sock.valid() && !raised(cancel); ai = ai->ai_next)
        sock.reset(connectOne(ai, connectDeadline, cancel, err));
    ::freeaddrinfo(found);
    if (raised(cancel)) return stopped;
    if (!sock.valid()) return Status::failure(where + ": cannot connect: " + socketErrorText(err));

    for (std::span<const char> block = source.next(); !block.empty(); block = source.next()) {
        if (raised(cancel)) {
            resetConnection(sock.get());
            return stopped;
        }
        std::size_t sent = 0;
        while (sent < block.size()) {
            const SendResult n = sendSome(sock.get(), block.data() + sent, block.size() - sent);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            const int code = n < 0 ? lastSocketError() : kBrokenPipe;
            if (code == kInterrupted) continue;
            if (code == kWouldBlock || code == EAGAIN) {
                int r = waitFor(sock.get(), kWritable, Clock::now() + timeouts.stall, cancel);
                if (r == kWaitCancelled) {
                    resetConnection(sock.get());
                    return stopped;
                }
                if (r == kWaitTimedOut) {
                    resetConnection(sock.get());
                    const long long ms = timeouts.stall.count();
                    return Status::failure(where + ": the plotter took no data for " +
                                           (ms % 1000 ? std::to_string(ms) + " ms"
                                                      : std::to_string(ms / 1000) + " s"));
                }
                if (r < 0)
                    return Status::failure(where +
                                           ": write failed: " + socketErrorText(lastSocketError()));
                continue;
            }
            return Status::failure(where + ": write failed: " + socketErrorText(code));
        }
    }
    if (!source.status()) return source.status();

    // All bytes are with the network; tell the plotter the job is complete and let
    // it close its side, reading (and dropping) whatever status it sends back.
    if (::shutdown(sock.get(), kShutdownSend) != 0)
        return Status::failure(where +
                               ": cannot end the job: " + socketErrorText(lastSocketError()));
    const auto drainDeadline = Clock::now() + timeouts.drain;
    char sink[kDrainChunk];
    for (;;) {
        int r = waitFor(sock.get(), kReadable, drainDeadline, cancel);
        // The plotter keeps the connection open: nothing went wrong.  Every byte
        // is with the plotter: a stop now changes nothing.
        if (r == kWaitTimedOut || r == kWaitCancelled) break;
        if (r < 0) return Status::failure(where + ": " + socketErrorText(lastSocketError()));
        const SendResult n = ::recv(sock.get(), sink, sizeof sink, 0);
        if (n == 0) break;
        if (n < 0) {
            const int code = lastSocketError();
            if (code == kInterrupted || code == kWouldBlock || code == EAGAIN) continue;
            return Status::failure(
                where + ": the plotter dropped the connection: " + socketErrorText(code));
        }
    }
    return {};
}

} // namespace kesto
