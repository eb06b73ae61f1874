#pragma once
// Where the renderer gets GLF text for a drawing it is given as an OFI file:
// the converter run in memory, nothing written to the disk.

#include "convert/ConversionState.h"

#include <atomic>
#include <string>

namespace kesto::render {

struct InMemoryDrawing {
    bool readable = false; // false: the OFI file could not be read (error says why)
    bool damaged = false;  // the converter stopped on a damaged record (error says which)
    std::string glf;       // what the plotter would get, as far as it was converted
    std::string error;
};

// True for a name ending in ".OFI" in any case.
bool isOfiName(const std::string& path);

// Converts one OFI file as one drawing of the run `state` with `settings`.
// `cancel`, when given, stops the conversion early (the drawing is then
// marked damaged with the reason "stopped").
InMemoryDrawing convertInMemory(const std::string& ofiPath, ConversionState& state,
                                const ConversionSettings& settings,
                                const std::atomic<bool>* cancel = nullptr);

} // namespace kesto::render
