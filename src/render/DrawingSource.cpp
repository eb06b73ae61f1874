#include "render/DrawingSource.h"

#include "convert/Conversion.h"
#include "glf/GlfWriter.h"
#include "io/FileBytes.h"

#include <cctype>

namespace kesto::render {

bool isOfiName(const std::string& path) {
    if (path.size() < 4) return false;
    const std::string tail = path.substr(path.size() - 4);
    return tail[0] == '.' && std::toupper(static_cast<unsigned char>(tail[1])) == 'O' &&
           std::toupper(static_cast<unsigned char>(tail[2])) == 'F' &&
           std::toupper(static_cast<unsigned char>(tail[3])) == 'I';
}

// The one call of the converter's boundary from the renderer.
InMemoryDrawing convertInMemory(const std::string& ofiPath, ConversionState& state,
                                const ConversionSettings& settings,
                                const std::atomic<bool>* cancel) {
    InMemoryDrawing result;
    FileBytes input;
    if (const Status read = input.read(ofiPath); !read) {
        result.error = read.reason();
        return result;
    }
    result.readable = true;
    StringSink sink;
    DrawingResult drawing;
    {
        GlfWriter out(sink);
        ConversionControl control;
        control.cancel = cancel;
        drawing = convertDrawing(OfiReader(input.data(), input.size()), out, state, settings,
                                 cancel ? &control : nullptr);
        out.flush();
    }
    result.glf = std::move(sink.text);
    if (drawing.outcome == DrawingOutcome::Damaged) {
        result.damaged = true;
        result.error = drawing.reason;
    } else if (drawing.outcome == DrawingOutcome::Cancelled) {
        result.damaged = true;
        result.error = "stopped";
    }
    return result;
}

} // namespace kesto::render
