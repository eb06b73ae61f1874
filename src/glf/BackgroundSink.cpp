#include "glf/BackgroundSink.h"

#include <system_error>

namespace kesto {

BackgroundSink::~BackgroundSink() {
    if (!thread_.joinable()) return;
    {
        std::unique_lock lock(mutex_);
        waitIdle(lock);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

// The wait lasts as long as the one write in progress, no longer than that
// write would have kept this thread on its own.
bool BackgroundSink::waitIdle(std::unique_lock<std::mutex>& lock) {
    changed_.wait(lock, [this] { return data_ == nullptr; });
    return ok_;
}

bool BackgroundSink::put(const char* data, std::size_t size) {
    std::unique_lock lock(mutex_);
    if (!waitIdle(lock)) return false;
    if (size != 0) ok_ = target_.put(data, size);
    return ok_;
}

bool BackgroundSink::handOver(const char* data, std::size_t size) {
    std::unique_lock lock(mutex_);
    if (!waitIdle(lock)) return false;
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            // No thread to be had: the bytes are stored here and now.
            ok_ = target_.put(data, size);
            return ok_;
        }
    }
    data_ = data;
    size_ = size;
    lock.unlock();
    changed_.notify_all();
    return true;
}

void BackgroundSink::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return data_ != nullptr || stopping_; });
        if (data_ == nullptr) return; // stopping with nothing in hand
        const char* data = data_;
        const std::size_t size = size_;
        lock.unlock();
        const bool stored = target_.put(data, size);
        lock.lock();
        ok_ = ok_ && stored;
        data_ = nullptr;
        changed_.notify_all();
    }
}

} // namespace kesto
