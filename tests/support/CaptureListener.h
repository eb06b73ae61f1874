#pragma once
// A stand-in plotter: a TCP listener on 127.0.0.1 that records every byte of
// every connection it accepts.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kesto::test {

struct CapturedConnection {
    std::string bytes;      // everything received (empty when only counting)
    std::uint64_t size = 0; // number of bytes received
    std::uint64_t hash = 0; // FNV-1a of the bytes received
};

// FNV-1a over a byte range, continuing from `hash` (start with kFnvOffset).
inline constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
std::uint64_t fnv1a(const char* data, std::size_t size, std::uint64_t hash = kFnvOffset);

class CaptureListener {
public:
    // keepBytes = false only counts and hashes, for files too large to hold.
    explicit CaptureListener(bool keepBytes = true);
    ~CaptureListener();
    CaptureListener(const CaptureListener&) = delete;
    CaptureListener& operator=(const CaptureListener&) = delete;

    bool listening() const { return listenFd_ >= 0; }
    // From now on a connection takes at most `bytes` and then reads nothing
    // more, holding the connection open until the listener goes: a plotter
    // that stalls, or (with 0) a server that accepts and never answers.
    // Connections also get a small receive buffer, so that a sender soon has
    // to wait.
    void stopReadingAfter(std::uint64_t bytes);
    int port() const { return port_; }
    // "socket://127.0.0.1:PORT"
    std::string uri() const;

    // Waits until `count` connections have been closed by their sender; returns
    // them all (possibly fewer, on timeout).
    std::vector<CapturedConnection> waitForConnections(std::size_t count,
                                                       std::chrono::milliseconds timeout);
    std::vector<CapturedConnection> connections();
    void clear();

private:
    void acceptLoop();
    void serve(int fd);
    void joinClosed();

    bool keepBytes_;
    std::atomic<std::uint64_t> readLimit_{UINT64_MAX};
    int listenFd_ = -1;
    int port_ = 0;
    int wakeFds_[2] = {-1, -1};
    std::thread acceptThread_;
    std::vector<std::thread> workers_;    // the accept thread's own
    std::vector<std::thread::id> closed_; // workers whose connection closed
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<CapturedConnection> finished_;
};

} // namespace kesto::test
