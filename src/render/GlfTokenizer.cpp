#include "render/GlfTokenizer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace kesto::render {

namespace {

constexpr std::size_t kReadBlock = 256 * 1024;
constexpr double kMaxValue = 1e9; // beyond any plotter's range

bool isLetter(int c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
int upper(int c) {
    return (c >= 'a' && c <= 'z') ? c - 32 : c;
}

} // namespace

void GlfTokenizer::start(GlfInput& input) {
    in_ = &input;
    buffer_.resize(kReadBlock);
    at_ = end_ = 0;
    eof_ = false;
}

int GlfTokenizer::refill() {
    if (cancel_ && cancel_->load(std::memory_order_relaxed)) eof_ = true;
    if (eof_) return -1;
    const long n = in_->read(buffer_.data(), buffer_.size());
    if (n <= 0) {
        eof_ = true;
        if (n < 0) {
            stats_.readError = true;
            stats_.readErrorText = in_->error();
        }
        return -1;
    }
    at_ = 0;
    end_ = static_cast<std::size_t>(n);
    return static_cast<unsigned char>(buffer_[at_++]);
}

int GlfTokenizer::nextCommand() {
    for (;;) {
        const int c = get();
        if (c < 0) return -1;
        if (isLetter(c)) {
            const int d = peek();
            if (isLetter(d)) {
                get();
                return mnemonic(static_cast<char>(upper(c)), static_cast<char>(upper(d)));
            }
            ++stats_.skippedBytes;
        } else if (c == ';' || c == ' ' || c == ',' || c == '\r' || c == '\n' || c == '\t' ||
                   c == 0) {
            continue;
        } else if (c == 0x1B) {
            ++stats_.skippedBytes;
            skipDeviceControl();
        } else {
            ++stats_.skippedBytes;
        }
    }
}

// A device-control sequence of a serial plotter: ESC . letter, parameters
// up to ':'.  Not drawing; passed over.
void GlfTokenizer::skipDeviceControl() {
    if (peek() != '.') return;
    get();
    get();
    for (int n = 0, e = peek(); n < 64 && e >= 0 && ((e >= '0' && e <= '9') || e == ';');
         ++n, e = peek())
        get();
    if (peek() == ':') get();
}

// An HP-GL number: separators (spaces, commas) before it, an optional sign,
// digits with an optional decimal point.
bool GlfTokenizer::readNumber(double& value) {
    int c = peek();
    while (c == ' ' || c == ',' || c == '\t' || c == '\r' || c == '\n') {
        get();
        c = peek();
    }
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+')) return false;
    bool negative = false;
    if (c == '-' || c == '+') {
        negative = c == '-';
        get();
        c = peek();
    }
    bool digits = false;
    int significant = 0;
    int dropped = 0;
    // The first digits in an integer, which is quicker: up to 15 of them a
    // double holds exactly, so it is the same number either way.
    std::uint64_t whole = 0;
    while (c >= '0' && c <= '9' && significant < 15) {
        get();
        whole = whole * 10 + static_cast<unsigned>(c - '0');
        if (whole > 0) ++significant;
        digits = true;
        c = peek();
    }
    double v = static_cast<double>(whole);
    while (c >= '0' && c <= '9') {
        get();
        if (significant < 18) {
            v = v * 10 + (c - '0');
            if (v > 0) ++significant;
        } else {
            ++dropped;
        }
        digits = true;
        c = peek();
    }
    if (c == '.') {
        get();
        double scale = 0.1;
        c = peek();
        while (c >= '0' && c <= '9') {
            get();
            if (scale > 1e-12) v += (c - '0') * scale;
            scale /= 10;
            digits = true;
            c = peek();
        }
    }
    if (!digits) {
        ++stats_.badParameters;
        return false;
    }
    if (dropped > 0) v *= std::pow(10.0, std::min(dropped, 300));
    if (v > kMaxValue) {
        v = kMaxValue;
        ++stats_.badParameters;
    }
    value = negative ? -v : v;
    return true;
}

const std::vector<double>& GlfTokenizer::readParameters(int maxCount) {
    params_.clear();
    double v;
    while (readNumber(v)) {
        if (static_cast<int>(params_.size()) < maxCount) {
            params_.push_back(v);
        } else {
            ++stats_.badParameters;
        }
    }
    return params_;
}

void GlfTokenizer::skipParameters() {
    for (int c = peek(); c >= 0 && c != ';' && !isLetter(c); c = peek())
        get();
}

} // namespace kesto::render
