#include "glf/GlfWriter.h"

#include <cstring>

namespace kesto {

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
    s.last.swap(s.pending); // both keep their storage for the next style
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
    // With nothing new, a buffer handed over may still be in the sink's
    // hands: the sink is asked all the same, so that it finishes it.
    if (used_ == 0 && !handedOver_) return;
    if (!sink_->put(buffer_, used_)) ok_ = false;
    flushed_ += used_;
    used_ = 0;
    handedOver_ = false;
}

void GlfWriter::handOver() {
    if (used_ == 0) return;
    if (!sink_->handOver(buffer_, used_)) ok_ = false;
    handedOver_ = true;
    flushed_ += used_;
    used_ = 0;
    buffer_ = buffer_ == buffers_.get() ? buffers_.get() + kBufferSize : buffers_.get();
}

GlfWriter& GlfWriter::putSlow(std::string_view text) {
    while (!text.empty()) {
        if (used_ == kBufferSize) handOver();
        const std::size_t n = std::min(text.size(), kBufferSize - used_);
        std::memcpy(buffer_ + used_, text.data(), n);
        used_ += n;
        text.remove_prefix(n);
    }
    return *this;
}

} // namespace kesto
