#include "CaptureListener.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kesto::test {

namespace {
// Bytes read per call from a connection.
constexpr std::size_t kReadChunk = 256 * 1024;
// Connections that may wait to be accepted.
constexpr int kBacklog = 16;
} // namespace

std::uint64_t fnv1a(const char* data, std::size_t size, std::uint64_t hash) {
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= static_cast<unsigned char>(data[i]);
        hash *= 1099511628211ull;
    }
    return hash;
}

CaptureListener::CaptureListener(bool keepBytes) : keepBytes_(keepBytes) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) return;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 ||
        ::listen(listenFd_, kBacklog) < 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) < 0 ||
        ::pipe2(wakeFds_, O_CLOEXEC) < 0) {
        ::close(listenFd_);
        listenFd_ = -1;
        return;
    }
    port_ = ntohs(addr.sin_port);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

CaptureListener::~CaptureListener() {
    if (listenFd_ >= 0) {
        char wake = 'x';
        (void)!::write(wakeFds_[1], &wake, 1);
        acceptThread_.join();
        for (auto& worker : workers_)
            worker.join();
        ::close(listenFd_);
        ::close(wakeFds_[0]);
        ::close(wakeFds_[1]);
    }
}

void CaptureListener::stopReadingAfter(std::uint64_t bytes) {
    readLimit_ = bytes;
    // Inherited by the connections accepted from now on.
    const int small = 4096;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
}

std::string CaptureListener::uri() const {
    return "socket://127.0.0.1:" + std::to_string(port_);
}

void CaptureListener::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        // Each connection on its own thread, as a plotter with several ports
        // would; the threads of closed ones are joined as new ones come (a
        // bench sends thousands), the rest when the listener goes.
        joinClosed();
        workers_.emplace_back([this, fd] { serve(fd); });
    }
}

void CaptureListener::serve(int fd) {
    CapturedConnection connection;
    connection.hash = kFnvOffset;
    std::string buffer(kReadChunk, '\0');
    for (;;) {
        // A stalled plotter only waits for the listener to go.
        const bool stalled = connection.size >= readLimit_.load();
        pollfd fds[2] = {{fd, static_cast<short>(stalled ? 0 : POLLIN), 0},
                         {wakeFds_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents && !fds[0].revents) break;
        if (stalled) {
            // The listener goes, or the sender gave up.
            if (fds[1].revents || (fds[0].revents & (POLLHUP | POLLERR))) break;
            continue;
        }
        const std::uint64_t room = readLimit_.load() - connection.size;
        ssize_t got =
            ::read(fd, buffer.data(),
                   static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), room)));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        connection.size += static_cast<std::uint64_t>(got);
        connection.hash = fnv1a(buffer.data(), static_cast<std::size_t>(got), connection.hash);
        if (keepBytes_) connection.bytes.append(buffer.data(), static_cast<std::size_t>(got));
    }
    ::close(fd);
    std::lock_guard lock(mutex_);
    finished_.push_back(std::move(connection));
    closed_.push_back(std::this_thread::get_id());
    changed_.notify_all();
}

void CaptureListener::joinClosed() {
    std::vector<std::thread::id> closed;
    {
        std::lock_guard lock(mutex_);
        closed.swap(closed_);
    }
    for (const std::thread::id id : closed) {
        const auto worker = std::find_if(workers_.begin(), workers_.end(),
                                         [id](const std::thread& t) { return t.get_id() == id; });
        if (worker == workers_.end()) continue;
        worker->join();
        workers_.erase(worker);
    }
}

std::vector<CapturedConnection>
CaptureListener::waitForConnections(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return finished_.size() >= count; });
    return finished_;
}

std::vector<CapturedConnection> CaptureListener::connections() {
    std::lock_guard lock(mutex_);
    return finished_;
}

void CaptureListener::clear() {
    std::lock_guard lock(mutex_);
    finished_.clear();
}

} // namespace kesto::test
