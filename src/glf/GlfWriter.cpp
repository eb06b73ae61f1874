#include "glf/GlfWriter.h"

#include <cerrno>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kesto {

FileSink::~FileSink() {
    if (file_) std::fclose(file_);
}

bool FileSink::open(const std::string& path) {
    if (file_) close();
    failed_ = false;
    file_ = std::fopen(path.c_str(), "wb");
    if (file_) std::setvbuf(file_, nullptr, _IONBF, 0); // GlfWriter buffers already
    return file_ != nullptr;
}

bool FileSink::put(const char* data, std::size_t size) {
    if (!file_ || failed_) return false;
    if (std::fwrite(data, 1, size, file_) != size) failed_ = true;
    return !failed_;
}

bool FileSink::close() {
    if (!file_) return !failed_;
    bool ok = !failed_ && std::fflush(file_) == 0;
#ifndef _WIN32
    // The OFI file may be deleted next: the GLF bytes must be on the disk first.
    if (ok && ::fsync(::fileno(file_)) != 0 && errno != EINVAL && errno != EROFS) ok = false;
#endif
    if (std::fclose(file_) != 0) ok = false;
    file_ = nullptr;
    return ok;
}

void GlfWriter::resetSlots() {
    for (auto& s : slots_) {
        s.pending.clear();
        s.last.clear();
    }
}

void GlfWriter::writeIfChanged(Slot slot) {
    SlotText& s = slots_[idx(slot)];
    if (s.pending != s.last) {
        put(s.pending);
        s.last = s.pending;
    }
}

void GlfWriter::flushStyleSlot() {
    SlotText& s = slots_[idx(Slot::Style)];
    if (s.pending == s.last) return;
    put(s.pending);
    s.last = std::move(s.pending);
    s.pending.clear();
    flushPendingText();
}

void GlfWriter::flushPendingText() {
    for (Slot slot : {Slot::Direction, Slot::Spacing, Slot::Slant}) {
        SlotText& s = slots_[idx(slot)];
        if (!s.pending.empty() && s.pending != s.last) {
            put(s.pending);
            s.last = std::move(s.pending);
            s.pending.clear();
        }
    }
}

void GlfWriter::flush() {
    if (used_ == 0) return;
    if (!sink_->put(buffer_.data(), used_)) ok_ = false;
    flushed_ += used_;
    used_ = 0;
}

GlfWriter& GlfWriter::putSlow(std::string_view text) {
    while (!text.empty()) {
        if (used_ == kBufferSize) flush();
        const std::size_t n = std::min(text.size(), kBufferSize - used_);
        std::memcpy(buffer_.data() + used_, text.data(), n);
        used_ += n;
        text.remove_prefix(n);
    }
    return *this;
}

} // namespace kesto
