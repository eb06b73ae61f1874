#pragma once
// A GLF file read in large blocks for the spooler.

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace kesto {

// Bytes handed to the spooler per write call.
inline constexpr std::size_t kDeliveryBlockSize = 64 * 1024;

class GlfSource {
public:
    GlfSource() = default;
    ~GlfSource();
    GlfSource(const GlfSource&) = delete;
    GlfSource& operator=(const GlfSource&) = delete;

    // Opens the file; false with error() set when it is missing or unreadable.
    bool open(const std::filesystem::path& file);
    // The next block, empty at the end of the file or after a read error
    // (then failed() is true and error() says why).
    std::span<const char> next();
    bool failed() const { return failed_; }
    const std::string& error() const { return error_; }

private:
    std::FILE* file_ = nullptr;
    std::vector<char> buffer_;
    bool failed_ = false;
    std::string error_;
    std::string name_;
};

} // namespace kesto
