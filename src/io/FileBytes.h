#pragma once
// A file we do not own, read whole into memory: a drawing is converted from
// this stable copy, so a CAD system that rewrites or truncates the file
// meanwhile cannot change or crash the conversion.  Memory is the file's size.

#include "io/Status.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

namespace kesto {

// What makes a file the same file: where it lives, its size and when it was
// last written.  A file replaced, appended or rewritten has another identity.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;

    bool operator==(const FileIdentity&) const = default;
};

enum class Links {
    NotFollowed, // a link is not a regular file
    Followed,    // a link stands for the file it leads to
};

// The identity of the regular file at `path`.
Status fileIdentity(const std::filesystem::path& path, FileIdentity& identity,
                    Links links = Links::NotFollowed);

class FileBytes {
public:
    // Reads the regular file at `path` (a folder, a FIFO or a device is
    // refused without waiting on it).  A file that changes while it is read
    // is refused too.  `identity` is the file's identity as read.
    Status read(const std::filesystem::path& path);

    const std::uint8_t* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    const FileIdentity& identity() const { return identity_; }

private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t size_ = 0;
    FileIdentity identity_;
};

} // namespace kesto
