#pragma once
// The plotter's measures, named once for the interpreter and every surface.

namespace kesto::render {

// One plotter unit is 0.025 mm.
inline constexpr double kUnitsPerMm = 40;
inline constexpr double kUnitsPerCm = 10 * kUnitsPerMm;
inline constexpr double kUnitsPerInch = 1016;

inline constexpr double kPi = 3.14159265358979323846;

// The family the plotter's characters are drawn in (and named in PDF and SVG).
inline constexpr char kFontFamily[] = "IPAGothic";

} // namespace kesto::render
