#pragma once
// OfiReader: the 16-bit little-endian words of an OFI file, addressed by a
// 1-based index.  Every access is bounds-checked: a read past the end of the
// file throws OfiReadPastEnd, which the conversion boundary turns into a
// damaged drawing.

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>

namespace kesto {

// A record's operands run past the end of the file.
class OfiReadPastEnd : public std::exception {
public:
    const char* what() const noexcept override { return "record runs past the end of the file"; }
};

class OfiReader {
public:
    OfiReader(const std::uint8_t* data, std::size_t size) : data_(data), words_(size / 2) {}

    bool has(std::size_t k) const { return k >= 1 && k <= words_; }

    std::uint16_t word(std::size_t k) const {
        if (!has(k)) throw OfiReadPastEnd{};
        return wordAt(k);
    }
    // Word k into w when it is in the file; false otherwise.
    bool tryWord(std::size_t k, std::uint16_t& w) const {
        if (!has(k)) return false;
        w = wordAt(k);
        return true;
    }
    // Words k to k + n - 1, all checked at once: throws unless all are in
    // the file.
    void words(std::size_t k, std::size_t n, std::uint16_t* to) const {
        if (k < 1 || k > words_ || n > words_ - k + 1) throw OfiReadPastEnd{};
        for (std::size_t j = 0; j < n; ++j)
            to[j] = wordAt(k + j);
    }
    std::int16_t signedWord(std::size_t k) const { return static_cast<std::int16_t>(word(k)); }
    std::uint8_t low(std::size_t k) const { return static_cast<std::uint8_t>(word(k) & 0xFF); }
    std::uint8_t high(std::size_t k) const { return static_cast<std::uint8_t>(word(k) >> 8); }

private:
    // Word k, known to be in the file.
    std::uint16_t wordAt(std::size_t k) const {
        const std::uint8_t* p = data_ + 2 * (k - 1);
        return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    }

    const std::uint8_t* data_;
    std::size_t words_;
};

// The record loop's position.  Converters read their operands by advancing
// it one word per read and leave it on the last word they consumed.
class OfiCursor {
public:
    explicit OfiCursor(const OfiReader& reader, std::size_t index = 1)
        : reader_(&reader), index_(index) {}

    std::size_t index() const { return index_; }
    void setIndex(std::size_t i) { index_ = i; }
    const OfiReader& reader() const { return *reader_; }

    std::uint16_t next() { return reader_->word(++index_); }
    // The next N words, checked once; a record that runs past the end of the
    // file throws before any of them is read.
    template <std::size_t N> std::array<std::uint16_t, N> nextWords() {
        std::array<std::uint16_t, N> w;
        reader_->words(index_ + 1, N, w.data());
        index_ += N;
        return w;
    }
    std::int16_t nextSigned() { return static_cast<std::int16_t>(next()); }
    // Two words, low word first.
    double nextULong() {
        const double lo = next();
        const double hi = next();
        return lo + 65536.0 * hi;
    }
    std::int32_t nextSLong() {
        const std::uint32_t lo = next();
        const std::uint32_t hi = next();
        return static_cast<std::int32_t>(lo | (hi << 16));
    }

private:
    const OfiReader* reader_;
    std::size_t index_;
};

} // namespace kesto
