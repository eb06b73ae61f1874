#pragma once
// The pens of the picture: a colour and a nib width for each plotter pen, so
// that the pens the settings give to thick, medium and thin lines, text and
// patterns can be told apart.

#include <cstdint>

namespace kesto::render {

struct PenLook {
    std::uint32_t rgb; // 0xRRGGBB
    double widthMm;    // nib width on paper
};

// Pens 1 to 8 have their own look; higher numbers repeat them.
PenLook penLook(int pen);

} // namespace kesto::render
