#include "io/FileBytes.h"

#include "io/NativeText.h"
#include "io/SystemError.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kesto {
namespace fs = std::filesystem;

#ifndef _WIN32

namespace {

FileIdentity identityOf(const struct stat& st) {
    FileIdentity id;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.size = static_cast<std::uint64_t>(st.st_size);
    id.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 +
                    static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    return id;
}

Status notRegular(const struct stat& st) {
    if (S_ISDIR(st.st_mode)) return Status::failure("is a folder, not a file");
    return Status::failure("is not a regular file");
}

} // namespace

Status fileIdentity(const fs::path& path, FileIdentity& identity, Links links) {
    struct stat st {};
    const int r = links == Links::Followed ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
    if (r != 0) return errnoFailure(utf8FromPath(path), errno);
    if (!S_ISREG(st.st_mode)) return notRegular(st).about(utf8FromPath(path));
    identity = identityOf(st);
    return {};
}

Status FileBytes::read(const fs::path& path) {
    data_.reset();
    size_ = 0;
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return errnoFailure(utf8FromPath(path), errno);
    struct stat before {};
    if (::fstat(fd, &before) != 0) {
        const int err = errno;
        ::close(fd);
        return errnoFailure(utf8FromPath(path), err);
    }
    if (!S_ISREG(before.st_mode)) {
        ::close(fd);
        return notRegular(before).about(utf8FromPath(path));
    }
    const auto size = static_cast<std::size_t>(before.st_size);
    auto data = std::make_unique_for_overwrite<std::uint8_t[]>(size ? size : 1);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, data.get() + got, size - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            return errnoFailure(utf8FromPath(path), err);
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    struct stat after {};
    const bool same = ::fstat(fd, &after) == 0 && identityOf(after) == identityOf(before);
    ::close(fd);
    if (got != size || !same)
        return Status::failure(utf8FromPath(path) + ": the file changed while it was read");
    data_ = std::move(data);
    size_ = size;
    identity_ = identityOf(before);
    return {};
}

#else

namespace {

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

// Opens without following a link, sharing everything: the CAD system may go
// on writing, renaming or deleting the file.
HANDLE openForReading(const fs::path& path, Links links = Links::NotFollowed) {
    return CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING,
        links == Links::Followed ? FILE_ATTRIBUTE_NORMAL : FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

Status identityOf(HANDLE h, const fs::path& path, FileIdentity& identity) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) return systemFailure(utf8FromPath(path));
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return Status::failure(utf8FromPath(path) + ": is a folder, not a file");
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || GetFileType(h) != FILE_TYPE_DISK)
        return Status::failure(utf8FromPath(path) + ": is not a regular file");
    identity.device = info.dwVolumeSerialNumber;
    identity.inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    identity.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    identity.modifiedNs =
        static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                  info.ftLastWriteTime.dwLowDateTime) *
        100;
    return {};
}

} // namespace

Status fileIdentity(const fs::path& path, FileIdentity& identity, Links links) {
    Handle h(openForReading(path, links));
    if (h.get() == INVALID_HANDLE_VALUE) return systemFailure(utf8FromPath(path));
    return identityOf(h.get(), path, identity);
}

Status FileBytes::read(const fs::path& path) {
    data_.reset();
    size_ = 0;
    Handle h(openForReading(path));
    if (h.get() == INVALID_HANDLE_VALUE) return systemFailure(utf8FromPath(path));
    FileIdentity before;
    if (Status s = identityOf(h.get(), path, before); !s) return s;
    const auto size = static_cast<std::size_t>(before.size);
    auto data = std::make_unique_for_overwrite<std::uint8_t[]>(size ? size : 1);
    std::size_t got = 0;
    while (got < size) {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - got, 1u << 30));
        DWORD n = 0;
        if (!ReadFile(h.get(), data.get() + got, want, &n, nullptr))
            return systemFailure(utf8FromPath(path));
        if (n == 0) break;
        got += n;
    }
    FileIdentity after;
    if (got != size || !identityOf(h.get(), path, after) || !(after == before))
        return Status::failure(utf8FromPath(path) + ": the file changed while it was read");
    data_ = std::move(data);
    size_ = size;
    identity_ = before;
    return {};
}

#endif

} // namespace kesto
