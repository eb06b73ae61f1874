#pragma once
// Writes a run's journal events on a thread of its own, each event in its
// own transaction and in the order given, so that a drawing does not wait
// for the database between its steps.  The run waits (drain) where it must
// know an event is written: before it deletes an OFI file, before it asks
// the journal anything, at its end; it then writes what is left itself.
// The journal is not touched by anyone else while events are pending.

#include "job/Journal.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace kesto {

class JournalWriter {
public:
    explicit JournalWriter(Journal& journal) : journal_(journal) {}
    ~JournalWriter(); // writes what it was given, then ends its thread
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    // A new row (its id already chosen), or what a drawing learned later.
    void insert(const JobRow& row) { give({Event::Insert, row}); }
    void update(const JobRow& row) { give({Event::Update, row}); }
    // The write-ahead log copied back into the journal once the thread is
    // free: a run's end need not wait for the disk.
    void checkpoint() { give({Event::Checkpoint, {}}); }

    // Whether an event failed (without waiting).
    bool failed();
    // Waits until every event given is written.  The first failure since
    // the last drain, which dropped the events after it, or fine.
    Status drain();

private:
    struct Event {
        enum Kind { Insert, Update, Checkpoint } kind;
        JobRow row;
    };

    void give(Event event);
    void work();
    // Takes the first event and writes it, the lock let go meanwhile.
    void writeFirst(std::unique_lock<std::mutex>& lock);

    Journal& journal_;
    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<Event> events_;
    bool busy_ = false;     // an event is being written
    bool asleep_ = false;   // the thread waits for events
    bool stopping_ = false; // the destructor runs
    Status failure_;        // fine, or the first failure since the last drain
    std::thread thread_;    // started with the first event
};

} // namespace kesto
