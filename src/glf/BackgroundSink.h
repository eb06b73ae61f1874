#pragma once
// BackgroundSink stores the writer's full buffers on a thread of its own, so
// that the converter goes on with the next buffer while the system copies
// the last one into the file.  Bytes written through put() are stored
// before it returns, after everything handed over earlier.

#include "glf/GlfWriter.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

namespace kesto {

class BackgroundSink final : public GlfSink {
public:
    explicit BackgroundSink(GlfSink& target) : target_(target) {}
    // Waits for the buffer in hand, then ends the thread.
    ~BackgroundSink() override;
    BackgroundSink(const BackgroundSink&) = delete;
    BackgroundSink& operator=(const BackgroundSink&) = delete;

    bool put(const char* data, std::size_t size) override;
    bool handOver(const char* data, std::size_t size) override;

private:
    // Waits until the thread has stored the buffer in hand; returns whether
    // everything so far was stored.
    bool waitIdle(std::unique_lock<std::mutex>& lock);
    void run();

    GlfSink& target_;
    std::mutex mutex_;
    std::condition_variable changed_;
    const char* data_ = nullptr; // the buffer in hand, nullptr when none
    std::size_t size_ = 0;
    bool ok_ = true;
    bool stopping_ = false;
    std::thread thread_; // started with the first buffer handed over
};

} // namespace kesto
