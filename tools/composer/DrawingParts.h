#pragma once
// What the sample and benchmark drawings are made of: line styles, text
// angles, points, rectangles, centre crosses, hatched blocks and a
// deterministic random source.

#include "composer/OfiComposer.h"

#include <cstdint>

namespace kesto::parts {

// Line style bytes: low nibble weight, high nibble pattern.
inline constexpr std::uint8_t Medium = 0x00;
inline constexpr std::uint8_t Thin = 0x01;
inline constexpr std::uint8_t Thick = 0x02;
inline constexpr std::uint8_t ThinDashed = 0x11;  // hidden lines
inline constexpr std::uint8_t ThinChain = 0x21;   // centre lines
inline constexpr std::uint8_t ThinPhantom = 0x31; // adjoining parts
inline constexpr std::uint8_t BreakLine = 0x41;
inline constexpr std::uint8_t MediumChain = 0x20;

// Text angles in 1/100 degree.
inline constexpr int Horizontal = 0;
inline constexpr int Vertical = 9000;
inline constexpr int Diagonal = 4500;

// Dash elements of wide dashed lines are stored × 1000 (lengths) or
// × 1 000 000 (angles in radians).
inline constexpr std::uint32_t LengthRaw = 1000;
inline constexpr std::uint32_t AngleRaw = 1000000;

using P = OfiPoint;

inline P pt(int x, int y) {
    return P{static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y)};
}

inline void rect(OfiComposer& c, int x0, int y0, int x1, int y1) {
    c.polyline({pt(x0, y0), pt(x1, y0), pt(x1, y1), pt(x0, y1), pt(x0, y0)});
}

// Cross of centre lines over a hole.
inline void centreCross(OfiComposer& c, int x, int y, int half) {
    c.line(x - half, y, x + half, y);
    c.line(x, y - half, x, y + half);
}

// A hatched rectangle as a pattern block.
inline void hatchedRect(OfiComposer& c, int x0, int y0, int x1, int y1) {
    c.patternBlock(true);
    c.patternFill(x0, y0,
                  {OfiPatternElement::line(pt(x1, y0)), OfiPatternElement::line(pt(x1, y1)),
                   OfiPatternElement::line(pt(x0, y1)), OfiPatternElement::line(pt(x0, y0))});
    c.patternBlock(false);
}

// Deterministic pseudo-random numbers (xorshift).
struct Random {
    std::uint32_t state = 0x2545F491u;
    std::uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    int range(int lo, int hi) { return lo + static_cast<int>(next() % (hi - lo + 1)); }
};

} // namespace kesto::parts
