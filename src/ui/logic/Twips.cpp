#include "ui/logic/Twips.h"

#include <cmath>
#include <limits>

namespace kesto {

namespace {

// A resolution that makes no sense is taken as the usual 96 dots per inch.
constexpr double kFallbackDotsPerInch = 96.0;

double usableDpi(double dotsPerInch) {
    return std::isfinite(dotsPerInch) && dotsPerInch > 0 ? dotsPerInch : kFallbackDotsPerInch;
}

} // namespace

int twipsToPixels(int twips, double dotsPerInch) {
    return static_cast<int>(std::lround(twips * usableDpi(dotsPerInch) / kTwipsPerInch));
}

std::int16_t pixelsToTwips(int pixels, double dotsPerInch) {
    const double twips = std::nearbyint(pixels * kTwipsPerInch / usableDpi(dotsPerInch));
    constexpr double lo = std::numeric_limits<std::int16_t>::min();
    constexpr double hi = std::numeric_limits<std::int16_t>::max();
    return static_cast<std::int16_t>(twips < lo ? lo : twips > hi ? hi : twips);
}

std::int16_t twipsToKeep(std::int16_t loadedTwips, int pixels, double dotsPerInch) {
    if (twipsToPixels(loadedTwips, dotsPerInch) == pixels) return loadedTwips;
    return pixelsToTwips(pixels, dotsPerInch);
}

} // namespace kesto
