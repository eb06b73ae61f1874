#pragma once
// Read-only view of a whole file: mapped on POSIX systems, read into memory
// elsewhere.  Peak memory does not grow beyond the file itself.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kesto {

class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // False with a reason in *error when the file cannot be read.
    bool open(const std::string& path, std::string* error = nullptr);
    void close();

    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    bool mapped_ = false;
    std::vector<std::uint8_t> copy_;
};

} // namespace kesto
