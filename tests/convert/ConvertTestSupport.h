#pragma once
// Converts drawings made with the composer and hands back the GLF text.

#include "composer/OfiComposer.h"
#include "convert/Conversion.h"

#include <string>

namespace kesto::test {

// One run: the state carries over between the drawings converted with it.
struct DrawingRun {
    ConversionSettings settings;
    ConversionState state;
    DrawingResult last;

    std::string convert(const OfiComposer& drawing) {
        StringSink sink;
        {
            GlfWriter out(sink);
            const auto bytes = drawing.view();
            last = convertDrawing(OfiReader(bytes.data(), bytes.size()), out, state, settings);
        }
        return sink.text;
    }
    // Coordinates come out as drawing units: scale 25, origin 0, no rotation.
    DrawingRun& unitMapping() {
        state.page.drawingScale = 25;
        state.page.firstBoundX = 0;
        return *this;
    }
};

// The GLF text between "IN;" and the closing "PU;SP0;AF;" CR LF.
inline std::string body(const std::string& glf) {
    const std::string head = "IN;";
    const std::string tail = "PU;SP0;AF;\r\n";
    if (glf.size() < head.size() + tail.size() || glf.compare(0, head.size(), head) != 0 ||
        glf.compare(glf.size() - tail.size(), tail.size(), tail) != 0) {
        return "<not a finished drawing: " + glf + ">";
    }
    return glf.substr(head.size(), glf.size() - head.size() - tail.size());
}

} // namespace kesto::test
