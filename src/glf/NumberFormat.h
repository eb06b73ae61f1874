#pragma once
// Fixed number masks of the HP-GL output.
//
// A value is first taken to 15 significant decimal digits, then rounded at the
// mask's last shown digit with a half going away from zero.  The decimal
// separator is always "." and a result that shows as zero carries no sign.
//
// The 15-digit step can only change the result where the value lies next to
// a half of the last shown digit.  Everywhere else the value is rounded
// directly in binary, and whole plotter units, the bulk of every drawing, are
// written here inline, straight into the caller's buffer.

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

namespace kesto {

enum class Mask {
    Integer,         // "#######0"
    Fixed1To5,       // "##0.0####", "#0.0####", "######0.0####", "#####0.0####"
    NoLeadFixed1To5, // "###.0####": no integer digit when the value is below 1
    Fixed1To3,       // "#0.0##"
    Scratch,         // "00000000.000": eight integer digits, three decimals
};

// Appends the masked text of value to out; returns the number of bytes written.
// out must have room for kMaxFormattedLength bytes.
constexpr int kMaxFormattedLength = 352; // sign, 309 integer digits, point, decimals

int formatNumber(double value, Mask mask, char* out);
std::string formatNumber(double value, Mask mask);

// The same text, always through the 15 significant digits: the reference
// the direct ways are checked against, and their way near a half.
int formatNumberExact(double value, Mask mask, char* out);

namespace number_detail {

// Above this a value is not rounded directly: beyond 15 digits the integer
// arithmetic is not exact enough.
constexpr double kDirectLimit = 1e14;

// True when the value x + rest (x whole, 0 <= rest < 1) is rounded to the
// nearest whole number the same way with and without the 15-digit step: the
// step moves a value by at most 5e-15 of itself, so only a rest within that
// of a half can turn out differently.  The margin here is wide.
inline bool farFromHalf(double value, double rest) {
    return std::fabs(rest - 0.5) > value * 1e-13 + 1e-9;
}

// The eight decimal digits of n < 100,000,000 (leading zeros included) as
// the values 0 to 9 in the eight bytes of the result, the first digit in
// the lowest byte: n is split in halves of four digits, then two, then one,
// all lanes at once.
inline std::uint64_t digitBytes(std::uint32_t n) {
    std::uint64_t x = (n / 10000) | (static_cast<std::uint64_t>(n % 10000) << 32);
    std::uint64_t high = ((x * 10486) >> 20) & 0x0000007F0000007FULL; // x / 100
    x = high | ((x - 100 * high) << 16);
    high = ((x * 103) >> 10) & 0x000F000F000F000FULL; // x / 10
    return high | ((x - 10 * high) << 8);
}

constexpr std::uint64_t kZeroBytes = 0x3030303030303030ULL; // "00000000"

// Stores the eight bytes of x at out, the lowest byte first.
inline void storeBytes(std::uint64_t x, char* out) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &x, 8);
    } else {
        for (int i = 0; i < 8; ++i)
            out[i] = static_cast<char>(x >> (8 * i));
    }
}

// The same for n < 10,000 in the four bytes of the result.
constexpr std::uint32_t digitBytes4(std::uint32_t n) {
    const std::uint32_t hundreds = (n * 5243) >> 19; // n / 100
    const std::uint32_t x = hundreds | ((n - 100 * hundreds) << 16);
    const std::uint32_t tens = ((x * 103) >> 10) & 0x000F000Fu; // x / 10
    return tens | ((x - 10 * tens) << 8);
}

// The text of every n < 10,000, looked up rather than worked out: the four
// digits with leading zeros in the low four bytes (the first digit in the
// lowest), the number of leading zeros to drop in the highest byte (all but
// the last digit of 0).
extern const std::array<std::uint64_t, 10000> kFourDigits;

// Writes n < 100,000,000 in decimal at out, without leading zeros, and
// returns the end.  Stores up to 12 bytes at out whatever the length.
inline char* writeBelow1e8(std::uint32_t n, char* out) {
    const std::uint32_t high = n / 10000;
    const std::uint64_t first = kFourDigits[n < 10000 ? n : high];
    const auto zeros = static_cast<unsigned>(first >> 56);
    storeBytes(static_cast<std::uint32_t>(first) >> (8 * zeros), out);
    out += 4 - zeros;
    if (n < 10000) return out; // most numbers of a drawing
    storeBytes(static_cast<std::uint32_t>(kFourDigits[n - high * 10000]), out);
    return out + 4;
}

// The "#######0" text of the values the inline way leaves: next to a half,
// 2^26 and above, not finite.
char* writeIntegerSlow(double value, char* out);

} // namespace number_detail

namespace number_detail {

// Rounds a >= 0 to whole units, a half going up, when the 15-digit step
// cannot change the result: below 2^26, away from a half.  False otherwise,
// also for not-a-number.
inline bool roundDirect(double a, std::uint32_t& units) {
    if (!(a < 0x1p26)) return false;
    // a in units of 2^-32: a whole 64-bit number, exact but for the bits
    // beyond those units.
    const auto fixed = static_cast<std::uint64_t>(static_cast<std::int64_t>(a * 0x1p32));
    // A half's neighbourhood in 2^-32 units, wider than farFromHalf's for
    // every value here (a * 1e-13 + 1e-9 < 2^15 / 2^32).
    constexpr std::uint32_t kNearHalf = 1u << 15;
    const auto rest = static_cast<std::uint32_t>(fixed);
    if (rest - (0x80000000u - kNearHalf) <= 2 * kNearHalf) return false;
    units = static_cast<std::uint32_t>((fixed + 0x80000000u) >> 32); // floor(a + 0.5)
    return true;
}

constexpr std::uint32_t kPow10u[] = {1, 10, 100, 1000, 10000, 100000};

// The decimal masks of values outside the inline way; out of line.
int formatDecimalSlow(double value, Mask mask, char* out);

// A decimal mask: at least MinInt integer digits (leading zeros fill up),
// MinDec to MaxDec decimals (trailing zeros dropped down to MinDec).
template <int MinInt, int MinDec, int MaxDec> char* writeFixed(double value, char* out, Mask mask) {
    static_assert(MinInt <= 8 && 1 <= MinDec && MinDec <= MaxDec && MaxDec <= 5);
    constexpr std::uint32_t kUnit = kPow10u[MaxDec];
    std::uint32_t units;
    if (!roundDirect(std::fabs(value) * kUnit, units))
        return out + formatDecimalSlow(value, mask, out);
    const std::uint32_t whole = units / kUnit;
    const std::uint32_t fraction = units - whole * kUnit;
    *out = '-';
    out += units != 0 && std::signbit(value) ? 1 : 0;
    if constexpr (MinInt > 1) {
        const std::uint64_t x = digitBytes(whole);
        const int zeros = std::min(std::countr_zero(x | (std::uint64_t{1} << 56)) >> 3, 8 - MinInt);
        storeBytes((x + kZeroBytes) >> (8 * zeros), out);
        out += 8 - zeros;
    } else if (MinInt == 1 || whole != 0) {
        out = writeBelow1e8(whole, out);
    }
    *out++ = '.';
    // The decimals, the first in the lowest byte; trailing zeros are the
    // high zero bytes.  Digit values, not yet characters: the looked-up text less "0000".
    constexpr std::uint32_t kZeroBytes4 = 0x30303030u;
    std::uint64_t y;
    if constexpr (MaxDec <= 4) {
        y = (static_cast<std::uint32_t>(kFourDigits[fraction]) - kZeroBytes4) >> (8 * (4 - MaxDec));
    } else {
        // The first decimal, then four more.
        const std::uint32_t first = fraction / 10000;
        const std::uint32_t rest = fraction - first * 10000;
        y = first |
            (std::uint64_t{static_cast<std::uint32_t>(kFourDigits[rest]) - kZeroBytes4} << 8);
    }
    const int significant = y == 0 ? 0 : 8 - (std::countl_zero(y) >> 3);
    storeBytes(y + kZeroBytes, out);
    return out + std::max(significant, MinDec);
}

} // namespace number_detail

// The "#######0" mask: appends the text of value at out and returns its end.
// Needs room for kMaxFormattedLength bytes.
inline char* writeInteger(double value, char* out) {
    std::uint32_t units;
    if (number_detail::roundDirect(std::fabs(value), units)) {
        // Far from a half, a negative value shows as zero above -0.5 only,
        // and zero is written without a sign.
        *out = '-';
        out += value < -0.5 ? 1 : 0;
        return number_detail::writeBelow1e8(units, out);
    }
    return number_detail::writeIntegerSlow(value, out);
}

// Any mask, inline: appends the text of value at out and returns its end.
// Needs room for kMaxFormattedLength bytes.
inline char* writeNumber(double value, Mask mask, char* out) {
    using number_detail::writeFixed;
    switch (mask) {
    case Mask::Integer: return writeInteger(value, out);
    case Mask::Fixed1To5: return writeFixed<1, 1, 5>(value, out, mask);
    case Mask::NoLeadFixed1To5: return writeFixed<0, 1, 5>(value, out, mask);
    case Mask::Fixed1To3: return writeFixed<1, 1, 3>(value, out, mask);
    case Mask::Scratch: return writeFixed<8, 3, 3>(value, out, mask);
    }
    return out + number_detail::formatDecimalSlow(value, mask, out);
}

// The value rounded to `decimals` places the way the masks round (0 to 5).
double roundLikeMaskSlow(double value, int decimals);
inline double roundLikeMask(double value, int decimals) {
    constexpr double kUnits[] = {1, 10, 100, 1000, 10000, 100000};
    if (decimals >= 0 && decimals <= 5) {
        const double unit = kUnits[decimals];
        const double scaled = std::fabs(value) * unit;
        if (scaled < number_detail::kDirectLimit) {
            // Not negative and below 2^63: truncation is the floor.
            const auto whole = static_cast<double>(static_cast<std::int64_t>(scaled));
            const double rest = scaled - whole;
            if (number_detail::farFromHalf(scaled, rest)) {
                // Whole units over an exact power of ten: the division is
                // correctly rounded, so this is the double nearest the text.
                const double r = (whole + (rest > 0.5 ? 1 : 0)) / unit;
                return std::signbit(value) ? -r : r;
            }
        }
    }
    return roundLikeMaskSlow(value, decimals);
}

} // namespace kesto
