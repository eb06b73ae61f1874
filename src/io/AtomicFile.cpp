#include "io/AtomicFile.h"

#include "io/NativeText.h"
#include "io/ReplaceFile.h"

#include "io/SystemError.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kesto {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTempPrefix = ".~kesto-";
constexpr std::string_view kTempSuffix = ".tmp";
constexpr int kTempNameAttempts = 100; // names are random: a clash is rare, many are impossible

// ".~kesto-" + 16 lower-case hex digits + ".tmp".  Hex digits hold no "o" or
// "i", so no temporary name contains "OFI" or "ofi".
std::string temporaryName() {
    static thread_local std::mt19937_64 random{
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(random()));
    return std::string(kTempPrefix) + hex + std::string(kTempSuffix);
}

fs::path folderOf(const fs::path& target) {
    return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

} // namespace

bool isTemporaryName(std::string_view name) {
    if (name.size() != kTempPrefix.size() + 16 + kTempSuffix.size()) return false;
    if (name.substr(0, kTempPrefix.size()) != kTempPrefix) return false;
    if (name.substr(name.size() - kTempSuffix.size()) != kTempSuffix) return false;
    for (char c : name.substr(kTempPrefix.size(), 16))
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

AtomicFile::~AtomicFile() {
    discard();
}

Status AtomicFile::create(const fs::path& target) {
    discard();
    target_ = target;
    const fs::path folder = folderOf(target);
    Status opened;
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        temp_ = folder / temporaryName();
        bool taken = false;
        opened = openTemporary(taken);
        if (opened) return {};
        if (!taken) break;
    }
    temp_.clear();
    return opened.about(utf8FromPath(target) + ": cannot create a temporary file in " +
                        utf8FromPath(folder));
}

#ifndef _WIN32

namespace {

// Flushes the temporary to disk when asked, then closes it; the first
// failure is the one told.
Status closeTemporary(int& fd, const fs::path& target, Durability durability) {
    Status status;
    if (durability == Durability::Durable && ::fsync(fd) != 0)
        status = errnoFailure(utf8FromPath(target), errno);
    if (::close(fd) != 0 && status) status = errnoFailure(utf8FromPath(target), errno);
    fd = -1;
    return status;
}

// The folder's entries to disk: a new name survives a crash only so.
Status syncFolderOf(const fs::path& target) {
    const fs::path folder = folderOf(target);
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return errnoFailure(utf8FromPath(folder), errno);
    const bool synced = ::fsync(dirFd) == 0;
    const int err = errno;
    ::close(dirFd);
    return synced ? Status{} : errnoFailure(utf8FromPath(folder), err);
}

} // namespace

Status AtomicFile::openTemporary(bool& taken) {
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        const int err = errno;
        taken = err == EEXIST;
        return Status::failure(errnoText(err));
    }
    // Held while this process lives; tells a live writer from a dead one.
    ::flock(fd_, LOCK_EX | LOCK_NB);
    return {};
}

Status AtomicFile::write(const char* data, std::size_t size) {
    if (fd_ < 0) return Status::failure(utf8FromPath(target_) + ": the file is not open");
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errnoFailure(utf8FromPath(target_), errno);
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return {};
}

Status AtomicFile::copyFrom(const fs::path& source, const FileIdentity& expected) {
    if (fd_ < 0) return Status::failure(utf8FromPath(target_) + ": the file is not open");
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (in < 0) return errnoFailure(utf8FromPath(source), errno);
    const auto same = [&] {
        struct stat st {};
        return ::fstat(in, &st) == 0 && S_ISREG(st.st_mode) &&
               FileIdentity{static_cast<std::uint64_t>(st.st_dev),
                            static_cast<std::uint64_t>(st.st_ino),
                            static_cast<std::uint64_t>(st.st_size),
                            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 +
                                st.st_mtim.tv_nsec} == expected;
    };
    Status status = same() ? Status{} : Status::failure(utf8FromPath(source) + ": 変更されました");
    std::uint64_t left = expected.size;
    bool kernelCopy = true;
    std::vector<char> slice;
    while (status && left > 0) {
        ssize_t n = -1;
        if (kernelCopy) {
            n = ::copy_file_range(in, nullptr, fd_, nullptr, left, 0);
            if (n < 0 &&
                (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                kernelCopy = false; // across file systems, or not offered: by hand
                continue;
            }
        } else {
            slice.resize(1 << 20);
            n = ::read(in, slice.data(), std::min<std::uint64_t>(left, slice.size()));
            if (n > 0) status = write(slice.data(), static_cast<std::size_t>(n));
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) status = errnoFailure(utf8FromPath(source), errno);
        if (n == 0) status = Status::failure(utf8FromPath(source) + ": 読む途中で短くなりました");
        if (n > 0) left -= static_cast<std::uint64_t>(n);
    }
    if (status && !same()) status = Status::failure(utf8FromPath(source) + ": 変更されました");
    ::close(in);
    return status;
}

Status AtomicFile::commit(Durability durability) {
    if (fd_ < 0) return Status::failure(utf8FromPath(target_) + ": the file is not open");
    Status status = closeTemporary(fd_, target_, durability);
    if (status && ::rename(temp_.c_str(), target_.c_str()) != 0)
        status = replaceFailure(target_, errno);
    if (!status) {
        ::unlink(temp_.c_str());
        temp_.clear();
        return status;
    }
    temp_.clear();
    if (durability == Durability::Durable) {
        // The new name must reach the disk too.
        return syncFolderOf(target_);
    }
    return {};
}

Status AtomicFile::commitNew(Durability durability, bool* taken) {
    if (taken) *taken = false;
    if (fd_ < 0) return Status::failure(utf8FromPath(target_) + ": the file is not open");
    Status status = closeTemporary(fd_, target_, durability);
    if (status && ::link(temp_.c_str(), target_.c_str()) != 0) {
        const int err = errno;
        struct stat st {};
        if (err == EEXIST) {
            if (taken) *taken = true;
            status = errnoFailure(utf8FromPath(target_), err);
        } else if (err != EPERM && err != ENOTSUP && err != EOPNOTSUPP && err != ENOSYS) {
            status = errnoFailure(utf8FromPath(target_), err);
        } else if (::lstat(target_.c_str(), &st) == 0) {
            // A file system without hard links: the name is looked at first.
            if (taken) *taken = true;
            status = errnoFailure(utf8FromPath(target_), EEXIST);
        } else if (::rename(temp_.c_str(), target_.c_str()) != 0) {
            status = errnoFailure(utf8FromPath(target_), errno);
        }
    }
    ::unlink(temp_.c_str());
    temp_.clear();
    if (!status || durability != Durability::Durable) return status;
    return syncFolderOf(target_);
}

void AtomicFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

Status AtomicFile::keepAttributesOf(const fs::path& existing) {
    if (fd_ < 0) return Status::failure(utf8FromPath(target_) + ": the file is not open");
    struct stat st {};
    if (::lstat(existing.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    // The owner first: a change of owner clears the set-id bits of the mode.
    if (::fchown(fd_, st.st_uid, st.st_gid) != 0)
        (void)!::fchown(fd_, static_cast<uid_t>(-1), st.st_gid);
    if (::fchmod(fd_, st.st_mode & 07777) != 0) return errnoFailure(utf8FromPath(temp_), errno);
    return {};
}

void removeLeftoverTemporaries(const fs::path& folder) {
    // A writer that just created its temporary may not hold the lock yet:
    // only temporaries untouched for a moment are candidates.
    constexpr auto kQuietTime = std::chrono::seconds(2);
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = utf8FromPath(it->path().filename());
        if (!isTemporaryName(name)) continue;
        const int fd = ::open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) continue;
        struct stat st {};
        const bool quiet = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                           std::chrono::system_clock::now() -
                                   std::chrono::system_clock::from_time_t(st.st_mtim.tv_sec) >
                               kQuietTime;
        if (quiet && ::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(it->path().c_str());
        ::close(fd);
    }
}

#else

namespace {

// Flushes the temporary to disk when asked, then closes it; the first
// failure is the one told.
Status closeTemporary(void*& handle, const fs::path& target, Durability durability) {
    Status status;
    if (durability == Durability::Durable && !FlushFileBuffers(static_cast<HANDLE>(handle)))
        status = systemFailure(utf8FromPath(target));
    CloseHandle(static_cast<HANDLE>(handle));
    handle = nullptr;
    return status;
}

} // namespace

Status AtomicFile::openTemporary(bool& taken) {
    // No sharing: nobody else can open or remove it while it is written.
    HANDLE h = CreateFileW(temp_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        taken = GetLastError() == ERROR_FILE_EXISTS;
        return Status::failure(lastSystemErrorText());
    }
    handle_ = h;
    return {};
}

Status AtomicFile::write(const char* data, std::size_t size) {
    if (!handle_) return Status::failure(utf8FromPath(target_) + ": the file is not open");
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(static_cast<HANDLE>(handle_), data, chunk, &written, nullptr))
            return systemFailure(utf8FromPath(target_));
        data += written;
        size -= written;
    }
    return {};
}

Status AtomicFile::copyFrom(const fs::path& source, const FileIdentity& expected) {
    if (!handle_) return Status::failure(utf8FromPath(target_) + ": the file is not open");
    FileBytes bytes;
    if (Status s = bytes.read(source); !s) return s;
    if (!(bytes.identity() == expected))
        return Status::failure(utf8FromPath(source) + ": 変更されました");
    return write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

Status AtomicFile::commit(Durability durability) {
    if (!handle_) return Status::failure(utf8FromPath(target_) + ": the file is not open");
    Status status = closeTemporary(handle_, target_, durability);
    const DWORD flags = MOVEFILE_REPLACE_EXISTING |
                        (durability == Durability::Durable ? MOVEFILE_WRITE_THROUGH : 0);
    if (status && !MoveFileExW(temp_.c_str(), target_.c_str(), flags))
        status = systemFailure(utf8FromPath(target_));
    if (!status) DeleteFileW(temp_.c_str());
    temp_.clear();
    return status;
}

Status AtomicFile::commitNew(Durability durability, bool* taken) {
    if (taken) *taken = false;
    if (!handle_) return Status::failure(utf8FromPath(target_) + ": the file is not open");
    Status status = closeTemporary(handle_, target_, durability);
    // Without MOVEFILE_REPLACE_EXISTING an existing target is left alone.
    const DWORD flags = durability == Durability::Durable ? MOVEFILE_WRITE_THROUGH : 0;
    if (status && !MoveFileExW(temp_.c_str(), target_.c_str(), flags)) {
        const DWORD err = GetLastError();
        if (taken) *taken = err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS;
        status = systemFailure(utf8FromPath(target_));
    }
    if (!status) DeleteFileW(temp_.c_str());
    temp_.clear();
    return status;
}

void AtomicFile::discard() {
    if (handle_) {
        CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
    if (!temp_.empty()) {
        DeleteFileW(temp_.c_str());
        temp_.clear();
    }
}

Status AtomicFile::keepAttributesOf(const fs::path&) {
    // The new file takes its folder's permissions, as a file saved there would.
    return {};
}

void removeLeftoverTemporaries(const fs::path& folder) {
    // A live writer's temporary is open without sharing: it cannot be removed.
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (isTemporaryName(utf8FromPath(it->path().filename()))) DeleteFileW(it->path().c_str());
}

#endif

} // namespace kesto
