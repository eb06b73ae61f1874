#pragma once
// HP-GL as the plotter reads it: two-letter mnemonics, numbers between
// separators, raw bytes for labels.  Reads its input in blocks.

#include "render/GlfInput.h"
#include "render/RenderStats.h"

#include <atomic>
#include <cstddef>
#include <vector>

namespace kesto::render {

// Two upper-case letters as one number, for a switch over commands.
constexpr int mnemonic(char a, char b) {
    return (a << 8) | b;
}

class GlfTokenizer {
public:
    // Bad numbers and read errors are counted in `stats`.
    explicit GlfTokenizer(RenderStats& stats) : stats_(stats) {}

    void start(GlfInput& input);
    void finish() { in_ = nullptr; }
    // Once `*flag` is true the input ends at the next block: every loop
    // that reads, however long one command is, comes to its end.
    void setCancel(const std::atomic<bool>* flag) { cancel_ = flag; }

    // The next command's mnemonic (upper case), bytes that start none
    // skipped and counted; -1 at the end of the input.
    int nextCommand();

    // The next raw byte, or -1 at the end.
    int get() {
        if (at_ < end_) return static_cast<unsigned char>(buffer_[at_++]);
        return refill();
    }
    int peek() {
        if (at_ < end_) return static_cast<unsigned char>(buffer_[at_]);
        const int c = refill();
        if (c >= 0) --at_;
        return c;
    }

    // One number after its separators; leaves a letter or ';' unread.
    bool readNumber(double& value);
    // Up to `maxCount` numbers (more are counted as bad).
    const std::vector<double>& readParameters(int maxCount);
    // Everything up to the command's ';' or the next command's letters.
    void skipParameters();

private:
    int refill();
    void skipDeviceControl();

    RenderStats& stats_;
    GlfInput* in_ = nullptr;
    std::vector<char> buffer_;
    std::size_t at_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    const std::atomic<bool>* cancel_ = nullptr;
    std::vector<double> params_;
};

} // namespace kesto::render
