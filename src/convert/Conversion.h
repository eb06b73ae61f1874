#pragma once
// The converter's public boundary: one drawing's words in, its GLF text out.
// Every low-level read error is caught here and reported as a damaged
// drawing; nothing escapes.

#include "convert/ConversionState.h"
#include "glf/GlfWriter.h"
#include "ofi/OfiReader.h"

#include <atomic>
#include <functional>
#include <string>

namespace kesto {

enum class DrawingOutcome {
    Finished,  // the end record (or the end of the file) was reached
    Cancelled, // the cancel flag was seen before a record
    Damaged,   // a record could not be read or drawn; the GLF file is worthless
};

struct DrawingResult {
    DrawingOutcome outcome = DrawingOutcome::Finished;
    std::string reason; // for Damaged
};

// How a host watches a conversion.
struct ConversionControl {
    const std::atomic<bool>* cancel = nullptr; // tested before every record
    std::function<void()> letEventsRun;        // called now and then (the host throttles)
};

// Records between two calls of letEventsRun.
constexpr unsigned kRecordsPerEventPump = 4096;

// Converts one drawing: resets the per-drawing state, writes "IN;", runs the
// record loop and closes with "PU;SP0;AF;" CR LF.  `state` carries over
// between the drawings of one run.
DrawingResult convertDrawing(const OfiReader& reader, GlfWriter& out, ConversionState& state,
                             const ConversionSettings& settings,
                             const ConversionControl* control = nullptr);

} // namespace kesto
