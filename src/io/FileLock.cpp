#include "io/FileLock.h"

#include "io/NativeText.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kesto {

namespace {

// Opening again after the file was replaced under us: this many times.
constexpr int kReopenAttempts = 5;

} // namespace

#ifdef _WIN32

namespace {

// The locked byte: far past the end of any real file.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
constexpr DWORD kLockOffsetLow = 0;

bool sameFile(HANDLE handle, const std::filesystem::path& file) {
    BY_HANDLE_FILE_INFORMATION held{};
    if (!GetFileInformationByHandle(handle, &held)) return false;
    HANDLE again =
        CreateFileW(file.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (again == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION now{};
    const bool same = GetFileInformationByHandle(again, &now) &&
                      now.dwVolumeSerialNumber == held.dwVolumeSerialNumber &&
                      now.nFileIndexHigh == held.nFileIndexHigh &&
                      now.nFileIndexLow == held.nFileIndexLow;
    CloseHandle(again);
    return same;
}

} // namespace

bool FileLock::locked() const {
    return handle_ != nullptr;
}

FileLockState FileLock::tryLock(const std::filesystem::path& file, Open open) {
    unlock();
    file_ = file;
    error_.clear();
    for (int attempt = 0; attempt < kReopenAttempts; ++attempt) {
        // Others may read, write and delete the file while we hold it: the lock
        // is on the byte, not on the file.
        HANDLE h = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               open == Open::Existing ? OPEN_EXISTING : OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && open == Open::Existing &&
            GetLastError() == ERROR_ACCESS_DENIED) {
            // A read-only file can still be claimed.
            h = CreateFileW(file.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        }
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            // A file removed by its holder but still open somewhere is "delete
            // pending" for a moment: try again.
            if (code == ERROR_ACCESS_DENIED && attempt + 1 < kReopenAttempts) {
                Sleep(10);
                continue;
            }
            error_ = utf8FromPath(file) + ": " + windowsErrorText(code);
            return FileLockState::Error;
        }
        OVERLAPPED at{};
        at.Offset = kLockOffsetLow;
        at.OffsetHigh = kLockOffsetHigh;
        if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
            const DWORD code = GetLastError();
            CloseHandle(h);
            if (code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING)
                return FileLockState::Held;
            error_ = utf8FromPath(file) + ": " + windowsErrorText(code);
            return FileLockState::Error;
        }
        if (sameFile(h, file)) {
            handle_ = h;
            return FileLockState::Acquired;
        }
        CloseHandle(h); // releases the lock on the file that went away
    }
    error_ = utf8FromPath(file) + ": replaced again and again while being locked";
    return FileLockState::Error;
}

void FileLock::unlock() {
    if (!handle_) return;
    OVERLAPPED at{};
    at.Offset = kLockOffsetLow;
    at.OffsetHigh = kLockOffsetHigh;
    UnlockFileEx(static_cast<HANDLE>(handle_), 0, 1, 0, &at);
    CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
}

bool FileLock::writeContent(std::string_view text) {
    if (!handle_) return false;
    HANDLE h = static_cast<HANDLE>(handle_);
    LARGE_INTEGER zero{};
    DWORD written = 0;
    if (!SetFilePointerEx(h, zero, nullptr, FILE_BEGIN) || !SetEndOfFile(h) ||
        !WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
        error_ = utf8FromPath(file_) + ": " + windowsErrorText(GetLastError());
        return false;
    }
    return true;
}

#else

bool FileLock::locked() const {
    return fd_ >= 0;
}

FileLockState FileLock::tryLock(const std::filesystem::path& file, Open open) {
    unlock();
    file_ = file;
    error_.clear();
    for (int attempt = 0; attempt < kReopenAttempts; ++attempt) {
        // Never through a symbolic link; a read-only file can still be claimed.
        const int create = open == Open::CreateIfNeeded ? O_CREAT : 0;
        int fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | create, 0644);
        if (fd < 0 && errno == EACCES && open == Open::Existing)
            fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            error_ = file.string() + ": " + std::strerror(errno);
            return FileLockState::Error;
        }
        int rc;
        while ((rc = ::flock(fd, LOCK_EX | LOCK_NB)) < 0 && errno == EINTR) {
        }
        if (rc < 0) {
            const int err = errno;
            ::close(fd);
            if (err == EWOULDBLOCK) return FileLockState::Held;
            error_ = file.string() + ": cannot lock: " + std::strerror(err);
            return FileLockState::Error;
        }
        // The holder before us may have removed the file between our open and
        // our lock: then we hold a file nobody else can find.
        struct stat held {};
        struct stat now {};
        if (::fstat(fd, &held) == 0 && ::lstat(file.c_str(), &now) == 0 &&
            held.st_dev == now.st_dev && held.st_ino == now.st_ino) {
            fd_ = fd;
            return FileLockState::Acquired;
        }
        ::close(fd);
    }
    error_ = file.string() + ": replaced again and again while being locked";
    return FileLockState::Error;
}

void FileLock::unlock() {
    if (fd_ < 0) return;
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

bool FileLock::writeContent(std::string_view text) {
    if (fd_ < 0) return false;
    if (::ftruncate(fd_, 0) != 0 ||
        ::pwrite(fd_, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
        error_ = file_.string() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

#endif

} // namespace kesto
