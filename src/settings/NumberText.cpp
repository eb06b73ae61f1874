#include "settings/NumberText.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace kesto {
namespace {

// Significant digits of a factor in the file and in the window.
constexpr int kFactorDigits = 7;

// The digits of |value| rounded to kFactorDigits significant digits (no
// trailing zeros) and the decimal exponent of the first one.
struct Digits {
    bool negative = false;
    std::string digits; // empty for zero
    int exponent = 0;
};

Digits factorDigits(float value) {
    Digits d;
    if (!std::isfinite(value) || value == 0.0f) return d;
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value),
                                 std::chars_format::scientific, kFactorDigits - 1);
    std::string_view s(buf, static_cast<std::size_t>(r.ptr - buf));
    if (s.front() == '-') {
        d.negative = true;
        s.remove_prefix(1);
    }
    const auto e = s.find('e');
    for (char c : s.substr(0, e))
        if (c != '.') d.digits += c;
    std::string_view exp = s.substr(e + 1);
    if (exp.front() == '+') exp.remove_prefix(1);
    std::from_chars(exp.data(), exp.data() + exp.size(), d.exponent);
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    return d;
}

// Plain decimal text of the digits, never with an exponent (the reader of the
// file knows no exponents).
std::string plainDecimal(float value, bool leadingZero) {
    const Digits d = factorDigits(value);
    if (d.digits.empty()) return "0";
    std::string out = d.negative ? "-" : "";
    const int n = static_cast<int>(d.digits.size());
    if (d.exponent < 0) {
        if (leadingZero) out += '0';
        out += '.';
        out.append(static_cast<std::size_t>(-d.exponent - 1), '0');
        out += d.digits;
    } else if (d.exponent + 1 >= n) {
        out += d.digits;
        out.append(static_cast<std::size_t>(d.exponent + 1 - n), '0');
    } else {
        out += d.digits.substr(0, static_cast<std::size_t>(d.exponent + 1));
        out += '.';
        out += d.digits.substr(static_cast<std::size_t>(d.exponent + 1));
    }
    return out;
}

} // namespace

// Nearest integer, a value exactly halfway going to the even neighbour.
double roundHalfEven(double x) {
    const double lower = std::floor(x);
    const double diff = x - lower;
    if (diff < 0.5) return lower;
    if (diff > 0.5) return lower + 1;
    return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

double leadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    std::string number;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') number += '-';
        ++i;
    }
    bool point = false;
    bool digits = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits = true;
            number += c;
        } else if (c == '.' && !point) {
            point = true;
            number += c;
        } else {
            break;
        }
    }
    if (!digits) return 0;
    if (number.back() == '.') number.pop_back();
    double value = 0;
    const auto r = std::from_chars(number.data(), number.data() + number.size(), value);
    if (r.ec == std::errc::result_out_of_range) {
        // Too many digits before the point is an overflow, else an underflow.
        const auto firstSignificant = number.find_first_of("123456789");
        const auto pointAt = number.find('.');
        if (pointAt != std::string::npos && firstSignificant > pointAt) return 0;
        return number.front() == '-' ? -std::numeric_limits<double>::infinity()
                                     : std::numeric_limits<double>::infinity();
    }
    return value;
}

std::string shortDecimal(float value) {
    return plainDecimal(value, false);
}

std::string fieldDecimal(float value) {
    return plainDecimal(value, true);
}

} // namespace kesto
