#pragma once
// Window positions are kept in twips (1/1440 inch) in the settings file and
// mapped to pixels through the screen's logical resolution.

#include <cstdint>

namespace kesto {

// Twips in one inch.
constexpr int kTwipsPerInch = 1440;

// Pixels for a position in twips (nearest pixel).
int twipsToPixels(int twips, double dotsPerInch);

// Twips for a pixel position: the nearest integer, halves to the even
// neighbour, limited to the signed 16-bit range the settings file holds.
std::int16_t pixelsToTwips(int pixels, double dotsPerInch);

// The twips to store for a window placed from `loadedTwips` that now stands
// at `pixels`: the loaded value when the window has not moved, so that a
// position does not creep by a pixel's worth of twips on every start.
std::int16_t twipsToKeep(std::int16_t loadedTwips, int pixels, double dotsPerInch);

} // namespace kesto
