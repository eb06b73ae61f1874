#include "delivery/GlfSource.h"

#include "io/NativeText.h"
#include "io/SystemError.h"

#include <cerrno>
#include <system_error>

namespace kesto {

GlfSource::~GlfSource() {
    if (file_) std::fclose(file_);
}

Status GlfSource::open(const std::filesystem::path& file) {
    name_ = utf8FromPath(file);
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec)) {
        status_ = Status::failure("cannot read GLF file " + name_ + ": it is a folder");
        return status_;
    }
#ifdef _WIN32
    file_ = _wfopen(file.c_str(), L"rb");
#else
    file_ = std::fopen(file.c_str(), "rb");
#endif
    if (!file_) {
        status_ = errnoFailure("cannot open GLF file " + name_, errno);
        return status_;
    }
    buffer_.resize(kDeliveryBlockSize);
    return status_;
}

std::span<const char> GlfSource::next() {
    if (!file_ || !status_) return {};
    std::size_t got = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    if (got == 0 && std::ferror(file_)) {
        status_ = errnoFailure("cannot read GLF file " + name_, errno);
        return {};
    }
    return {buffer_.data(), got};
}

} // namespace kesto
