#include "job/WorkLock.h"

#include <charconv>
#include <fstream>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace kesto {
namespace {

// The process id written in the file; 0 when there is none.
long readHolder(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string text;
    std::getline(in, text);
    long pid = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), pid);
    if (r.ec != std::errc() || pid <= 0) return 0;
    return pid;
}

} // namespace

long currentProcessId() {
#ifdef _WIN32
    return static_cast<long>(_getpid());
#else
    return static_cast<long>(::getpid());
#endif
}

Status WorkLock::acquire(const std::filesystem::path& file) {
    release();
    holder_ = 0;
    switch (lock_.tryLock(file, FileLock::Open::CreateIfNeeded)) {
    case FileLockState::Acquired:
        // Information only: whatever an earlier run left in it is replaced.
        lock_.writeContent(std::to_string(currentProcessId()) + "\n");
        return {};
    case FileLockState::Held: holder_ = readHolder(file); return {};
    case FileLockState::Error: break;
    }
    return Status::failure(lock_.error());
}

void WorkLock::release() {
    if (!lock_.locked()) return;
    // Removed while still locked: a run that opens it meanwhile finds it gone
    // once it holds the lock, and opens the next one.
    std::error_code ec;
    std::filesystem::remove(lock_.file(), ec);
    lock_.unlock();
}

} // namespace kesto
