#pragma once
// GlfWriter appends the HP-GL text of one drawing.  The whole drawing is one
// line: pieces follow each other with no separator, and the only line end is
// the CR LF after the closing "PU;SP0;AF;".  Output goes through a fixed-size
// buffer to a sink, so memory does not grow with the drawing.  There are two
// buffers: while the sink stores one, the converter fills the other.

#include "glf/NumberFormat.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace kesto {

// Room for "a,b" of two whole numbers.
constexpr std::size_t kPairRoom = 2 * kMaxFormattedLength + 1;

// Writes "a,b" at out (room for kPairRoom bytes) and returns the end.
inline char* writePair(double a, double b, char* out) {
    out = writeInteger(a, out);
    *out++ = ',';
    return writeInteger(b, out);
}

// Writes a literal at out and returns the end.
template <std::size_t N> inline char* writeLiteral(const char (&text)[N], char* out) {
    std::memcpy(out, text, N - 1);
    return out + (N - 1);
}

// Where the bytes of a GLF file end up.
class GlfSink {
public:
    virtual ~GlfSink() = default;
    // Stores the bytes before it returns; false when they could not be stored.
    virtual bool put(const char* data, std::size_t size) = 0;
    // A full buffer in the middle of a drawing.  The sink may store it later:
    // the writer leaves the bytes untouched until its next call to the sink,
    // which finishes this one first.  False when these or earlier bytes
    // could not be stored.
    virtual bool handOver(const char* data, std::size_t size) { return put(data, size); }
};

class StringSink final : public GlfSink {
public:
    bool put(const char* data, std::size_t size) override {
        text.append(data, size);
        return true;
    }
    std::string text;
};

// The four deferred command slots.
enum class Slot { Style = 0, Direction = 1, Spacing = 2, Slant = 3 };

class GlfWriter {
public:
    static constexpr std::size_t kBufferSize = 256 * 1024; // bytes held before the sink sees them

    explicit GlfWriter(GlfSink& sink)
        : sink_(&sink), buffers_(std::make_unique_for_overwrite<char[]>(2 * kBufferSize)),
          buffer_(buffers_.get()) {}
    ~GlfWriter() { flush(); }
    GlfWriter(const GlfWriter&) = delete;
    GlfWriter& operator=(const GlfWriter&) = delete;

    // Literal text.
    GlfWriter& put(std::string_view text) {
        if (text.size() > kBufferSize - used_) return putSlow(text);
        std::memcpy(buffer_ + used_, text.data(), text.size());
        used_ += text.size();
        return *this;
    }
    // A literal: its length is known, so the copy is a few moves.
    template <std::size_t N> GlfWriter& put(const char (&text)[N]) {
        constexpr std::size_t len = N - 1;
        if (kBufferSize - used_ < len) handOver();
        std::memcpy(buffer_ + used_, text, len);
        used_ += len;
        return *this;
    }
    GlfWriter& put(const std::string& text) { return put(std::string_view(text)); }
    GlfWriter& put(char c) {
        if (used_ == kBufferSize) handOver();
        buffer_[used_++] = c;
        return *this;
    }
    // A number through a mask.
    GlfWriter& num(double value, Mask mask = Mask::Integer) {
        commit(writeNumber(value, mask, reserve(kMaxFormattedLength)));
        return *this;
    }
    // Direct writing for hot paths: reserve() gives the place of the next
    // `bytes` bytes (a few kilobytes at most), commit() takes the end of what
    // was written there.
    char* reserve(std::size_t bytes) {
        if (kBufferSize - used_ < bytes) handOver();
        return buffer_ + used_;
    }
    void commit(char* end) { used_ = static_cast<std::size_t>(end - buffer_); }
    // Text followed by CR LF; used once per drawing for the closing commands.
    void writeLine(std::string_view text) { put(text).put("\r\n"); }

    // Deferred slots.
    void resetSlots();
    void setPending(Slot slot, std::string_view text) { slots_[idx(slot)].pending.assign(text); }
    const std::string& pending(Slot slot) const { return slots_[idx(slot)].pending; }
    const std::string& lastWritten(Slot slot) const { return slots_[idx(slot)].last; }
    // Writes the pending text when it differs from the last written one; the
    // pending text is kept.
    void writeIfChanged(Slot slot);
    // Makes `text` the last written text of the slot (used by converters that
    // write a slot's command themselves).
    void setLastWritten(Slot slot, std::string text) { slots_[idx(slot)].last = std::move(text); }

    // Pen entry of every drawing record: the style slot, and only when it
    // wrote something, the text slots.
    void flushPendingStyle() {
        if (!slots_[idx(Slot::Style)].pending.empty()) flushStyleSlot();
    }
    // Text entry: the direction, spacing and slant slots.
    void flushPendingText();

    // Hands the buffered bytes to the sink and lets it store them all.
    void flush();
    // True when every byte so far reached the sink.
    bool ok() const { return ok_; }
    // Bytes written so far (buffered included).
    std::size_t size() const { return flushed_ + used_; }

private:
    struct SlotText {
        std::string pending;
        std::string last;
    };
    static std::size_t idx(Slot s) { return static_cast<std::size_t>(s); }
    GlfWriter& putSlow(std::string_view text);
    void flushStyleSlot();
    // Hands the full buffer to the sink and goes on in the other one.
    void handOver();

    GlfSink* sink_;
    std::unique_ptr<char[]> buffers_; // the two buffers, one after the other
    char* buffer_;                    // the one being filled
    std::size_t used_ = 0;
    std::size_t flushed_ = 0;
    bool handedOver_ = false; // a buffer went to the sink since the last flush
    bool ok_ = true;
    std::array<SlotText, 4> slots_;
};

} // namespace kesto
