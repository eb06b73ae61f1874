#include "job/JournalWriter.h"

#include "io/Machine.h"

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
    // The run writes what is left itself rather than wait for the thread to
    // wake up for it; an event already being written is waited for, so the
    // order holds.  Each event is one local transaction and a busy journal
    // gives up after its own time-out, so this wait ends too.
    for (;;) {
        idle_.wait(lock, [this] { return !busy_; });
        if (events_.empty()) break;
        writeFirst(lock);
    }
    return std::exchange(failure_, Status{});
}

void JournalWriter::writeFirst(std::unique_lock<std::mutex>& lock) {
    Event event = std::move(events_.front());
    events_.pop_front();
    busy_ = true;
    lock.unlock();
    Status written;
    switch (event.kind) {
    case Event::Insert: written = journal_.insert(event.row); break;
    case Event::Update: written = journal_.update(event.row); break;
    case Event::Checkpoint: journal_.checkpoint(); break;
    }
    lock.lock();
    busy_ = false;
    if (!written.ok() && failure_.ok()) {
        failure_ = written;
        events_.clear(); // the run goes on without the journal
    }
}

void JournalWriter::work() {
    // The run comes first: the thread writes while a processor is free, and
    // a run that must wait for an event writes it itself.
    workInBackground();
    std::unique_lock lock(mutex_);
    for (;;) {
        asleep_ = true;
        wake_.wait(lock, [this] { return stopping_ || (!events_.empty() && !busy_); });
        asleep_ = false;
        if (events_.empty()) return; // stopping, and all written
        writeFirst(lock);
        idle_.notify_all(); // a drain may wait for this event
    }
}

} // namespace kesto
