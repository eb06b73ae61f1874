#pragma once
// What the interpreter met that it could not draw.

#include <cstdint>
#include <string>

namespace kesto::render {

struct RenderStats {
    std::uint64_t commands = 0;
    std::uint64_t unknownCommands = 0;    // mnemonics the plotter does not know (skipped)
    std::uint64_t badParameters = 0;      // values out of range, odd coordinate lists
    std::uint64_t skippedBytes = 0;       // bytes that start no command
    std::uint64_t characters = 0;         // label characters drawn
    std::uint64_t undecodable = 0;        // label characters with no glyph in their set
    std::uint64_t overflowedPolygons = 0; // polygons beyond the buffer's corners, not drawn
    std::uint64_t polygonModeOutside = 0; // PM1/PM2 outside polygon mode, ignored
    std::uint64_t afterPageEnd = 0;       // marks after the sheet was ended (AF/PG), not drawn
    std::string firstUnknown;             // the first unknown mnemonic, for the message
    bool endsInLabel = false;             // the input ends before a label's terminator
    bool sheetEnded = false;              // AF or PG seen
    bool readError = false;
    std::string readErrorText;
};

} // namespace kesto::render
