#pragma once
// An exclusive lock on a file, held by the operating system: it is released
// when the holder unlocks, closes or dies, whatever became of its process id.
// flock() on Linux and macOS; on Windows LockFileEx on a byte far past the end
// of the file, so that the lock never stops anyone from reading the file's
// data (Windows locks are mandatory for the bytes they cover).
//
// Every holder of one file must use this class: the lock is advisory for
// anyone who does not ask for it.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace kesto {

enum class FileLockState {
    Acquired, // this object holds the lock
    Held,     // another holder has it
    Error,    // the file could not be opened or locked (error() says why)
};

class FileLock {
public:
    enum class Open {
        Existing,      // the file must exist (an OFI file being claimed)
        CreateIfNeeded // a lock file: made when missing
    };

    FileLock() = default;
    ~FileLock() { unlock(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Opens `file` and takes the lock without waiting.  On Held and Error
    // nothing is kept open.  A lock file that is replaced or removed under us
    // (the holder before us removing it as it finished) is opened again, so
    // two holders never hold two different files of the same name.
    FileLockState tryLock(const std::filesystem::path& file, Open open);
    // Releases the lock and closes the file; nothing when not locked.
    void unlock();

    // Replaces the locked file's content (a lock file's note of who holds
    // it); false with error() set when it cannot be written.
    bool writeContent(std::string_view text);

    bool locked() const;
    const std::filesystem::path& file() const { return file_; }
    const std::string& error() const { return error_; }

private:
#ifdef _WIN32
    void* handle_ = nullptr; // HANDLE
#else
    int fd_ = -1;
#endif
    std::filesystem::path file_;
    std::string error_;
};

} // namespace kesto
