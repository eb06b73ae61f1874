#include "job/WorkLock.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <fstream>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kesto {
namespace {

// A work file without a readable process id is taken as a run that is just
// writing it, until it is this old; then it is left over from a crash.
constexpr std::chrono::seconds kUnreadableLockAge{10};
// Attempts to take over a stale work file (another run may race for it).
constexpr int kTakeOverAttempts = 3;

// Creates the file only if it does not exist.  Returns false with errno set.
bool createExclusive(const std::filesystem::path& file, const std::string& content) {
#ifdef _WIN32
    int fd = _wopen(file.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return false;
    bool ok = _write(fd, content.data(), static_cast<unsigned>(content.size())) ==
              static_cast<int>(content.size());
    ok = _close(fd) == 0 && ok;
#else
    int fd = ::open(file.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    ok = ::close(fd) == 0 && ok;
#endif
    // The file exists and is ours even when its content came out short; a
    // later run then treats it as unreadable and waits before taking it over.
    (void)ok;
    return true;
}

// The process id written in the file; 0 when there is none.
long readHolder(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string text;
    std::getline(in, text);
    long pid = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    const auto r = std::from_chars(first, last, pid);
    if (r.ec != std::errc() || pid <= 0) return 0;
    return pid;
}

bool olderThan(const std::filesystem::path& file, std::chrono::seconds age) {
    std::error_code ec;
    const auto mtime = std::filesystem::last_write_time(file, ec);
    if (ec) return true;
    return std::filesystem::file_time_type::clock::now() - mtime > age;
}

} // namespace

long currentProcessId() {
#ifdef _WIN32
    return static_cast<long>(_getpid());
#else
    return static_cast<long>(::getpid());
#endif
}

bool processAlive(long pid) {
    if (pid <= 0) return false;
#ifdef _WIN32
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
#else
    if (::kill(static_cast<pid_t>(pid), 0) == 0) return true;
    return errno == EPERM; // it exists, it is only not ours
#endif
}

LockState WorkLock::acquire(const std::filesystem::path& file) {
    release();
    file_ = file;
    holder_ = 0;
    error_.clear();
    const std::string content = std::to_string(currentProcessId()) + "\n";
    for (int attempt = 0; attempt < kTakeOverAttempts; ++attempt) {
        if (createExclusive(file, content)) {
            owned_ = true;
            return LockState::Acquired;
        }
        if (errno != EEXIST) {
            error_ = file.string() + ": " + std::strerror(errno);
            return LockState::Error;
        }
        const long pid = readHolder(file);
        if (pid != 0 && processAlive(pid)) {
            holder_ = pid;
            return LockState::Held;
        }
        if (pid == 0 && !olderThan(file, kUnreadableLockAge)) return LockState::Held;
        // Left over by a run that crashed: take it over.
        std::error_code ec;
        std::filesystem::remove(file, ec);
    }
    error_ = file.string() + ": cannot be taken over";
    return LockState::Held;
}

void WorkLock::release() {
    if (!owned_) return;
    owned_ = false;
    std::error_code ec;
    std::filesystem::remove(file_, ec);
}

} // namespace kesto
