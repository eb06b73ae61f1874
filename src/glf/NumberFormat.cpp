#include "glf/NumberFormat.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kesto {

namespace number_detail {
namespace {

constexpr std::uint64_t fourDigitsOf(std::uint32_t n) {
    const std::uint32_t digits = digitBytes4(n);
    const int zeros = std::countr_zero(digits | (std::uint32_t{1} << 24)) >> 3;
    return (digits + std::uint64_t{0x30303030}) | (static_cast<std::uint64_t>(zeros) << 56);
}

constexpr std::array<std::uint64_t, 10000> makeFourDigits() {
    std::array<std::uint64_t, 10000> table{};
    for (std::uint32_t n = 0; n < 10000; ++n)
        table[n] = fourDigitsOf(n);
    return table;
}

} // namespace

constinit const std::array<std::uint64_t, 10000> kFourDigits = makeFourDigits();

} // namespace number_detail

namespace {

struct MaskShape {
    int minInt; // integer digits always shown (leading zeros fill up)
    int minDec; // decimals always shown
    int maxDec; // decimals at most; the value is rounded here
};

constexpr MaskShape shapeOf(Mask mask) {
    switch (mask) {
    case Mask::Integer: return {1, 0, 0};
    case Mask::Fixed1To5: return {1, 1, 5};
    case Mask::NoLeadFixed1To5: return {0, 1, 5};
    case Mask::Fixed1To3: return {1, 1, 3};
    case Mask::Scratch: return {8, 3, 3};
    }
    return {1, 0, 0};
}

constexpr std::uint64_t kPow10[] = {1, 10, 100, 1000, 10000, 100000};

// Writes sign, integer digits and decimals from the decimal digit strings.
int emit(bool negative, const char* intDigits, int intLen, const char* fracDigits, int fracLen,
         const MaskShape& shape, char* out) {
    // Leading zeros of the integer part go; the mask's zeros come back.
    while (intLen > 0 && *intDigits == '0') {
        ++intDigits;
        --intLen;
    }
    while (fracLen > shape.minDec && fracDigits[fracLen - 1] == '0')
        --fracLen;
    bool zero = intLen == 0;
    for (int i = 0; zero && i < fracLen; ++i)
        zero = fracDigits[i] == '0';

    char* p = out;
    if (negative && !zero) *p++ = '-';
    for (int i = intLen; i < shape.minInt; ++i)
        *p++ = '0';
    std::memcpy(p, intDigits, static_cast<std::size_t>(intLen));
    p += intLen;
    if (shape.maxDec > 0) {
        *p++ = '.';
        std::memcpy(p, fracDigits, static_cast<std::size_t>(fracLen));
        p += fracLen;
    }
    return static_cast<int>(p - out);
}

// Adds one to the last of `count` decimal digits; false when it carries out
// of the first (the nines all became zeros).
bool addOne(char* digits, int count) {
    for (int j = count - 1; j >= 0; --j) {
        if (digits[j] != '9') {
            ++digits[j];
            return true;
        }
        digits[j] = '0';
    }
    return false;
}

// Exact way: 15 significant digits first, then the mask's rounding on the
// decimal digits.
int formatSlow(double a, bool negative, const MaskShape& shape, char* out) {
    char sci[40];
    std::snprintf(sci, sizeof sci, "%.14e", a);
    char digits[15];
    digits[0] = sci[0];
    std::memcpy(digits + 1, sci + 2, 14);
    const int exponent = std::atoi(sci + 17); // value = d.ddd… × 10^exponent

    // Integer digits: positions 0..exponent of the digit string.
    char intDigits[kMaxFormattedLength];
    int intLen = 0;
    for (int pos = 0; pos <= exponent; ++pos)
        intDigits[intLen++] = pos < 15 ? digits[pos] : '0';
    char frac[8];
    for (int j = 1; j <= shape.maxDec + 1; ++j) {
        const int pos = exponent + j;
        frac[j - 1] = (pos >= 0 && pos < 15) ? digits[pos] : '0';
    }
    // A half or more goes away from zero, carried through the fraction into
    // the integer digits, and into a new leading one past them.
    if (frac[shape.maxDec] >= '5' && !addOne(frac, shape.maxDec) && !addOne(intDigits, intLen)) {
        std::memmove(intDigits + 1, intDigits, static_cast<std::size_t>(intLen));
        intDigits[0] = '1';
        ++intLen;
    }
    return emit(negative, intDigits, intLen, frac, shape.maxDec, shape, out);
}

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536"
    "37383940414243444546474849505152535455565758596061626364656667686970717273"
    "7475767778798081828384858687888990919293949596979899";

inline int digitCount(std::uint64_t n) {
    int digits = 1;
    while (n >= 10000) {
        n /= 10000;
        digits += 4;
    }
    if (n >= 1000) return digits + 3;
    if (n >= 100) return digits + 2;
    if (n >= 10) return digits + 1;
    return digits;
}

// Writes n in decimal straight into out; returns the number of digits.
inline int writeUnsigned(std::uint64_t n, char* out) {
    const int len = digitCount(n);
    char* p = out + len;
    while (n >= 100) {
        const unsigned pair = static_cast<unsigned>(n % 100) * 2;
        n /= 100;
        *--p = kDigitPairs[pair + 1];
        *--p = kDigitPairs[pair];
    }
    if (n >= 10) {
        const unsigned pair = static_cast<unsigned>(n) * 2;
        *--p = kDigitPairs[pair + 1];
        *--p = kDigitPairs[pair];
    } else {
        *--p = static_cast<char>('0' + n);
    }
    return len;
}

// The value scaled to units of the last shown digit and rounded, when that is
// safe without the exact way: false near a half, where the 15-digit step can
// decide, and for values too large for exact integer arithmetic.
inline bool roundFast(double scaled, std::uint64_t& units) {
    if (!(scaled < number_detail::kDirectLimit)) return false;
    // scaled is not negative here, so truncation is the floor.
    const std::uint64_t whole = static_cast<std::uint64_t>(scaled);
    const double rest = scaled - static_cast<double>(whole);
    if (!number_detail::farFromHalf(scaled, rest)) return false;
    units = whole + (rest > 0.5 ? 1 : 0);
    return true;
}

template <int MaxDec>
inline std::uint64_t splitUnits(std::uint64_t units, std::uint64_t& fraction) {
    constexpr std::uint64_t unit = kPow10[MaxDec];
    fraction = units % unit;
    return units / unit;
}

// The text of whole.fraction (whole below 100,000,000, fraction below
// 10^maxDec) straight from the digit bytes.
int writeDecimals(bool minus, std::uint32_t whole, std::uint32_t fraction, const MaskShape& shape,
                  char* out) {
    using number_detail::digitBytes;
    using number_detail::kZeroBytes;
    using number_detail::storeBytes;
    char* p = out;
    *p = '-';
    p += minus ? 1 : 0;
    if (whole != 0 || shape.minInt > 0) {
        const std::uint64_t x = digitBytes(whole);
        // Leading zeros are the low zero bytes; the mask keeps minInt digits.
        const int zeros =
            std::min(std::countr_zero(x | (std::uint64_t{1} << 56)) >> 3, 8 - shape.minInt);
        storeBytes((x + kZeroBytes) >> (8 * zeros), p);
        p += 8 - zeros;
    }
    *p++ = '.';
    // The decimals, the first in the lowest byte; trailing zeros are the
    // high zero bytes.
    const std::uint64_t y = digitBytes(fraction) >> (8 * (8 - shape.maxDec));
    const int significant = y == 0 ? 0 : 8 - (std::countl_zero(y) >> 3);
    storeBytes(y + kZeroBytes, p);
    p += std::max(significant, shape.minDec);
    return static_cast<int>(p - out);
}

int formatWithShape(double value, const MaskShape& shape, char* out) {
    if (!std::isfinite(value)) value = 0; // nothing sensible to plot; never garbage
    const bool negative = std::signbit(value);
    const double a = std::fabs(value);
    std::uint64_t units;
    if (!roundFast(a * static_cast<double>(kPow10[shape.maxDec]), units)) {
        return formatSlow(a, negative, shape, out);
    }
    char* p = out;
    if (shape.maxDec == 0 && shape.minInt == 1) { // "#######0"
        if (negative && units != 0) *p++ = '-';
        return static_cast<int>(p - out) + writeUnsigned(units, p);
    }
    std::uint64_t fraction = 0;
    std::uint64_t whole = 0;
    switch (shape.maxDec) {
    case 0: whole = units; break;
    case 3: whole = splitUnits<3>(units, fraction); break;
    case 5: whole = splitUnits<5>(units, fraction); break;
    default:
        whole = units / kPow10[shape.maxDec];
        fraction = units % kPow10[shape.maxDec];
        break;
    }
    if (whole < 100000000 && shape.maxDec > 0)
        return writeDecimals(negative && units != 0, static_cast<std::uint32_t>(whole),
                             static_cast<std::uint32_t>(fraction), shape, out);
    char intDigits[24];
    const int intLen = whole == 0 ? 0 : writeUnsigned(whole, intDigits);
    char frac[8];
    for (int j = shape.maxDec - 1; j >= 0; --j) {
        frac[j] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    return emit(negative, intDigits, intLen, frac, shape.maxDec, shape, out);
}

} // namespace

namespace number_detail {

char* writeIntegerSlow(double value, char* out) {
    return out + formatWithShape(value, shapeOf(Mask::Integer), out);
}

int formatDecimalSlow(double value, Mask mask, char* out) {
    return formatWithShape(value, shapeOf(mask), out);
}

} // namespace number_detail

int formatNumber(double value, Mask mask, char* out) {
    return static_cast<int>(writeNumber(value, mask, out) - out);
}

std::string formatNumber(double value, Mask mask) {
    char buf[kMaxFormattedLength];
    return std::string(buf, static_cast<std::size_t>(formatNumber(value, mask, buf)));
}

int formatNumberExact(double value, Mask mask, char* out) {
    if (!std::isfinite(value)) value = 0;
    return formatSlow(std::fabs(value), std::signbit(value), shapeOf(mask), out);
}

double roundLikeMaskSlow(double value, int decimals) {
    if (decimals < 0) decimals = 0;
    if (decimals > 5) decimals = 5;
    char buf[kMaxFormattedLength + 1];
    const int n = formatWithShape(value, MaskShape{1, decimals, decimals}, buf);
    buf[n] = '\0';
    return std::strtod(buf, nullptr);
}

} // namespace kesto
