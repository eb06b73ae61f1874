#pragma once
// π as the plotter's angles are worked out with: to 15 significant digits,
// which is not the double nearest π (std::numbers::pi).  Arc points and label
// directions in the GLF text, and the drawings composed for the tests, are
// made with this value; the nearer one would change their last digits.

namespace kesto {

inline constexpr double kPlotterPi = 3.14159265358979;

} // namespace kesto
