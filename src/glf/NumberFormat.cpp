#include "glf/NumberFormat.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kesto {
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
// Above this the fast path's integer arithmetic is no longer exact enough.
constexpr double kFastLimit = 1e14;

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
    if (frac[shape.maxDec] >= '5') { // a half or more goes away from zero
        int j = shape.maxDec - 1;
        for (; j >= 0; --j) {
            if (frac[j] == '9') {
                frac[j] = '0';
            } else {
                ++frac[j];
                break;
            }
        }
        if (j < 0) {
            int k = intLen - 1;
            for (; k >= 0; --k) {
                if (intDigits[k] == '9') {
                    intDigits[k] = '0';
                } else {
                    ++intDigits[k];
                    break;
                }
            }
            if (k < 0) {
                std::memmove(intDigits + 1, intDigits, static_cast<std::size_t>(intLen));
                intDigits[0] = '1';
                ++intLen;
            }
        }
    }
    return emit(negative, intDigits, intLen, frac, shape.maxDec, shape, out);
}

int formatWithShape(double value, const MaskShape& shape, char* out) {
    if (!std::isfinite(value)) value = 0; // nothing sensible to plot; never garbage
    const bool negative = std::signbit(value);
    const double a = std::fabs(value);
    const double scaled = a * static_cast<double>(kPow10[shape.maxDec]);
    if (scaled < kFastLimit) {
        const double whole = std::floor(scaled);
        const double rest = scaled - whole;
        // Near a half the 15-digit step can decide the rounding: take the exact way.
        if (std::fabs(rest - 0.5) > scaled * 1e-13 + 1e-9) {
            std::uint64_t n = static_cast<std::uint64_t>(whole) + (rest > 0.5 ? 1 : 0);
            const std::uint64_t unit = kPow10[shape.maxDec];
            std::uint64_t ip = n / unit;
            std::uint64_t fp = n % unit;
            char intDigits[24];
            int intLen = 0;
            char tmp[24];
            int t = 0;
            do {
                tmp[t++] = static_cast<char>('0' + ip % 10);
                ip /= 10;
            } while (ip != 0);
            while (t > 0)
                intDigits[intLen++] = tmp[--t];
            char frac[8];
            for (int j = shape.maxDec - 1; j >= 0; --j) {
                frac[j] = static_cast<char>('0' + fp % 10);
                fp /= 10;
            }
            return emit(negative, intDigits, intLen, frac, shape.maxDec, shape, out);
        }
    }
    return formatSlow(a, negative, shape, out);
}

} // namespace

int formatNumber(double value, Mask mask, char* out) {
    return formatWithShape(value, shapeOf(mask), out);
}

std::string formatNumber(double value, Mask mask) {
    char buf[kMaxFormattedLength];
    return std::string(buf, static_cast<std::size_t>(formatNumber(value, mask, buf)));
}

double roundLikeMask(double value, int decimals) {
    if (decimals < 0) decimals = 0;
    if (decimals > 5) decimals = 5;
    char buf[kMaxFormattedLength + 1];
    const int n = formatWithShape(value, MaskShape{1, decimals, decimals}, buf);
    buf[n] = '\0';
    return std::strtod(buf, nullptr);
}

} // namespace kesto
