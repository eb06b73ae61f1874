#pragma once
// Kesto.wok, the run's work file, is also its lock: one run at a time per
// program folder.  The file is created exclusively and holds the process id
// of the run that owns it; a file left by a process that no longer lives is
// taken over.

#include <filesystem>
#include <string>

namespace kesto {

enum class LockState {
    Acquired, // this process owns the work file
    Held,     // another live process owns it
    Error,    // it could not be created (no such folder, no permission)
};

class WorkLock {
public:
    WorkLock() = default;
    ~WorkLock() { release(); }
    WorkLock(const WorkLock&) = delete;
    WorkLock& operator=(const WorkLock&) = delete;

    // Tries to create `file`.  On Held, holder() is the owner's process id.
    LockState acquire(const std::filesystem::path& file);
    // Removes the work file if this object owns it; a failure is ignored.
    void release();

    bool owned() const { return owned_; }
    long holder() const { return holder_; }
    const std::string& error() const { return error_; }

private:
    std::filesystem::path file_;
    bool owned_ = false;
    long holder_ = 0;
    std::string error_;
};

// Whether a process with this id is running (on this machine).
bool processAlive(long pid);
// This process's id.
long currentProcessId();

} // namespace kesto
