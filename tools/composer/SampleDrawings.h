#pragma once
// The bundled sample drawings and the large drawings used as benchmark input.

#include "composer/OfiComposer.h"

#include <cstddef>
#include <filesystem>

namespace kesto {

// Machine part on A3: outline, holes, centre and hidden lines, hatching,
// dimensions at several angles and a Japanese title block.
OfiComposer samplePartA3();
// Plant layout on A1: column grid, rooms, doors, tanks, piping; a few
// thousand records.
OfiComposer sampleLayoutA1();
// Portrait A4 bracket with arcs and text.
OfiComposer sampleRotatedA4();
// Parts list on A4: mostly kanji, kana, alphanumerics and symbols.
OfiComposer sampleTextA4();

// Writes PART-A3.OFI, LAYOUT-A1.OFI, ROTATED-A4.OFI and TEXT-A4.OFI into
// `dir` (which must exist).  False when a file could not be written.
bool writeSampleDrawings(const std::filesystem::path& dir);

enum class LargeDrawingKind {
    Mixed,     // lines, polylines, arcs, dashed and wide dashed lines, text, hatching
    TextHeavy, // mostly text records
    Geometry   // lines, long polylines, circles and arcs; no text, no pattern fills
};

// An A1 drawing of about `targetBytes` bytes (never less), ending with the
// end record.  Deterministic: the same size gives the same bytes.
OfiComposer composeLargeDrawing(std::size_t targetBytes,
                                LargeDrawingKind kind = LargeDrawingKind::Mixed);

} // namespace kesto
