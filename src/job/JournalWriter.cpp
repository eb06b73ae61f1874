#include "job/JournalWriter.h"

#include <utility>

namespace kesto {

JournalWriter::~JournalWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void JournalWriter::give(Event event) {
    bool asleep = false;
    {
        std::lock_guard lock(mutex_);
        // After a failure nothing more is written until the run has heard of it.
        if (!failure_.ok()) return;
        events_.push_back(std::move(event));
        if (!thread_.joinable()) thread_ = std::thread(&JournalWriter::work, this);
        asleep = asleep_;
    }
    // A busy writer finds the event by itself.
    if (asleep) wake_.notify_one();
}

bool JournalWriter::failed() {
    std::lock_guard lock(mutex_);
    return !failure_.ok();
}

Status JournalWriter::drain() {
    std::unique_lock lock(mutex_);
    // Each event is one local transaction; a busy journal gives up after its
    // own time-out, so this wait ends too.
    idle_.wait(lock, [this] { return events_.empty() && !busy_; });
    return std::exchange(failure_, Status{});
}

void JournalWriter::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        asleep_ = true;
        wake_.wait(lock, [this] { return stopping_ || !events_.empty(); });
        asleep_ = false;
        if (events_.empty()) return; // stopping, and all written
        Event event = std::move(events_.front());
        events_.pop_front();
        busy_ = true;
        lock.unlock();
        const Status written =
            event.kind == Event::Insert ? journal_.insert(event.row) : journal_.update(event.row);
        lock.lock();
        busy_ = false;
        if (!written.ok() && failure_.ok()) {
            failure_ = written;
            events_.clear(); // the run goes on without the journal
        }
        if (events_.empty()) idle_.notify_all();
    }
}

} // namespace kesto
