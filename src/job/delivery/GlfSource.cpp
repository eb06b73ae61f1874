#include "job/delivery/GlfSource.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace kesto {

GlfSource::~GlfSource() {
    if (file_) std::fclose(file_);
}

bool GlfSource::open(const std::filesystem::path& file) {
    name_ = file.string();
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec)) {
        failed_ = true;
        error_ = "cannot read GLF file " + name_ + ": it is a folder";
        return false;
    }
#ifdef _WIN32
    file_ = _wfopen(file.c_str(), L"rb");
#else
    file_ = std::fopen(file.c_str(), "rb");
#endif
    if (!file_) {
        failed_ = true;
        error_ = "cannot open GLF file " + name_ + ": " + std::strerror(errno);
        return false;
    }
    buffer_.resize(kDeliveryBlockSize);
    return true;
}

std::span<const char> GlfSource::next() {
    if (!file_ || failed_) return {};
    std::size_t got = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    if (got == 0 && std::ferror(file_)) {
        failed_ = true;
        error_ = "cannot read GLF file " + name_ + ": " + std::strerror(errno);
        return {};
    }
    return {buffer_.data(), got};
}

} // namespace kesto
