#include "ofi/MappedFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kesto {

MappedFile::~MappedFile() {
    close();
}

void MappedFile::close() {
#ifndef _WIN32
    if (mapped_ && data_) ::munmap(const_cast<std::uint8_t*>(data_), size_);
#endif
    mapped_ = false;
    data_ = nullptr;
    size_ = 0;
    copy_.clear();
    copy_.shrink_to_fit();
}

bool MappedFile::open(const std::string& path, std::string* error) {
    close();
#ifndef _WIN32
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (error) *error = S_ISDIR(st.st_mode) ? "is a folder" : std::strerror(errno);
        ::close(fd);
        return false;
    }
    size_ = static_cast<std::size_t>(st.st_size);
    if (size_ == 0) {
        ::close(fd);
        return true;
    }
    void* p = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED) {
        if (error) *error = std::strerror(errno);
        size_ = 0;
        return false;
    }
    ::madvise(p, size_, MADV_SEQUENTIAL);
    data_ = static_cast<const std::uint8_t*>(p);
    mapped_ = true;
    return true;
#else
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = "cannot be opened";
        return false;
    }
    copy_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    data_ = copy_.data();
    size_ = copy_.size();
    return true;
#endif
}

} // namespace kesto
