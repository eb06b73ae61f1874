#include "io/FileBytes.h"

#include "io/SystemError.h"

#include <cerrno>
#include <fstream>
#include <system_error>

#ifndef _WIN32
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

Status fileIdentity(const fs::path& path, FileIdentity& identity) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errnoFailure(path.string(), errno);
    if (!S_ISREG(st.st_mode)) return notRegular(st).about(path.string());
    identity = identityOf(st);
    return {};
}

Status FileBytes::read(const fs::path& path) {
    data_.reset();
    size_ = 0;
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return errnoFailure(path.string(), errno);
    struct stat before {};
    if (::fstat(fd, &before) != 0) {
        const int err = errno;
        ::close(fd);
        return errnoFailure(path.string(), err);
    }
    if (!S_ISREG(before.st_mode)) {
        ::close(fd);
        return notRegular(before).about(path.string());
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
            return errnoFailure(path.string(), err);
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    struct stat after {};
    const bool same = ::fstat(fd, &after) == 0 && identityOf(after) == identityOf(before);
    ::close(fd);
    if (got != size || !same)
        return Status::failure(path.string() + ": the file changed while it was read");
    data_ = std::move(data);
    size_ = size;
    identity_ = identityOf(before);
    return {};
}

#else

Status fileIdentity(const fs::path& path, FileIdentity& identity) {
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(path, ec);
    if (ec) return Status::failure(path.string() + ": " + ec.message());
    if (!fs::is_regular_file(st)) return Status::failure(path.string() + ": is not a regular file");
    identity.device = 0;
    identity.inode = 0;
    identity.size = fs::file_size(path, ec);
    identity.modifiedNs = fs::last_write_time(path, ec).time_since_epoch().count();
    if (ec) return Status::failure(path.string() + ": " + ec.message());
    return {};
}

Status FileBytes::read(const fs::path& path) {
    data_.reset();
    size_ = 0;
    FileIdentity before;
    if (Status s = fileIdentity(path, before); !s) return s;
    std::ifstream in(path, std::ios::binary);
    if (!in) return Status::failure(path.string() + ": cannot be opened");
    const auto size = static_cast<std::size_t>(before.size);
    auto data = std::make_unique_for_overwrite<std::uint8_t[]>(size ? size : 1);
    in.read(reinterpret_cast<char*>(data.get()), static_cast<std::streamsize>(size));
    FileIdentity after;
    if (static_cast<std::size_t>(in.gcount()) != size || !fileIdentity(path, after) ||
        !(after == before))
        return Status::failure(path.string() + ": the file changed while it was read");
    data_ = std::move(data);
    size_ = size;
    identity_ = before;
    return {};
}

#endif

} // namespace kesto
