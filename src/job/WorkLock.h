#pragma once
// Kesto.wok, the run's work file, is also its lock: one run at a time per
// program folder.  The lock is held by the operating system on the open file
// (FileLock), so it goes with the run however the run ends; the process id
// written in the file only tells a person which run holds it.

#include "io/FileLock.h"
#include "io/Status.h"

#include <filesystem>
#include <string>

namespace kesto {

class WorkLock {
public:
    WorkLock() = default;
    ~WorkLock() { release(); }
    WorkLock(const WorkLock&) = delete;
    WorkLock& operator=(const WorkLock&) = delete;

    // Opens or creates `file` and locks it without waiting.  Fails, saying
    // why, when it cannot be created or locked (no such folder, no
    // permission, a folder).  Else owned() tells whether this run has it;
    // when another run holds it, holder() is the process id the holder wrote
    // (0 when unreadable).
    Status acquire(const std::filesystem::path& file);
    // Removes the work file and releases the lock if this object owns it; a
    // failure to remove is ignored (the next run opens and locks it again).
    void release();

    bool owned() const { return lock_.locked(); }
    long holder() const { return holder_; }

private:
    FileLock lock_;
    long holder_ = 0;
};

// This process's id.
long currentProcessId();

} // namespace kesto
