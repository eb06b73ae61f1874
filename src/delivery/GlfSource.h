#pragma once
// A GLF file read in large blocks for the spooler.

#include "io/Status.h"

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

    // Opens the file; fails when it is missing, unreadable or not a file.
    Status open(const std::filesystem::path& file);
    // The next block, empty at the end of the file or after a read error
    // (then status() says why).
    std::span<const char> next();
    const Status& status() const { return status_; }

private:
    std::FILE* file_ = nullptr;
    std::vector<char> buffer_;
    Status status_;
    std::string name_;
};

} // namespace kesto
