#include "render/GlfInput.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kesto::render {

long MemoryInput::read(char* into, std::size_t size) {
    const std::size_t n = std::min(size, bytes_.size() - at_);
    std::memcpy(into, bytes_.data() + at_, n);
    at_ += n;
    return static_cast<long>(n);
}

FileInput::~FileInput() {
    if (file_) std::fclose(file_);
}

bool FileInput::open(const std::string& path) {
    if (file_) std::fclose(file_);
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) error_ = std::strerror(errno);
    return file_ != nullptr;
}

long FileInput::read(char* into, std::size_t size) {
    if (!file_) return -1;
    const std::size_t n = std::fread(into, 1, size, file_);
    if (n == 0 && std::ferror(file_)) {
        error_ = std::strerror(errno ? errno : EIO);
        return -1;
    }
    return static_cast<long>(n);
}

bool FileInput::rewind() {
    if (!file_) return false;
    if (std::fseek(file_, 0, SEEK_SET) != 0) {
        error_ = std::strerror(errno);
        return false;
    }
    std::clearerr(file_);
    return true;
}

} // namespace kesto::render
