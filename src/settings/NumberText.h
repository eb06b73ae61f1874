#pragma once
// Numbers as the settings file and the window write and read them: factors
// in plain decimals (the file's reader knows no exponents), and the lenient
// leading-number reading the file's values get.

#include <string>
#include <string_view>

namespace kesto {

// Leading-number value: skip leading spaces, take the longest prefix that is
// a decimal number (sign, digits, at most one point); 0 when there is none.
double leadingNumber(std::string_view text);
// A factor in the file's short form: ".17", "-.2", "1.5", "0".
std::string shortDecimal(float value);
// A factor as a window field shows it: "0.17", "-0.2".
std::string fieldDecimal(float value);

// Nearest integer, a value exactly halfway going to the even neighbour.
double roundHalfEven(double x);

} // namespace kesto
