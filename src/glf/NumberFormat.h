#pragma once
// Fixed number masks of the HP-GL output.
//
// A value is first taken to 15 significant decimal digits, then rounded at the
// mask's last shown digit with a half going away from zero.  The decimal
// separator is always "." and a result that shows as zero carries no sign.

#include <string>
#include <string_view>

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
// The "#######0" mask alone: the coordinates, the bulk of every drawing.
int formatInteger(double value, char* out);
std::string formatNumber(double value, Mask mask);

// The value rounded to `decimals` places the way the masks round (0 to 5).
double roundLikeMask(double value, int decimals);

} // namespace kesto
