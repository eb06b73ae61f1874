#include "ofi/ConvertFile.h"

#include "ofi/MappedFile.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace kesto {

std::filesystem::path glfPathFor(const std::filesystem::path& folder, const std::string& ofiName) {
    const std::size_t dot = ofiName.find('.');
    return folder / (ofiName.substr(0, dot) + ".GLF");
}

FileResult convertOfiFile(const std::filesystem::path& ofiFile,
                          const std::filesystem::path& glfFile, ConversionState& state,
                          const ConversionSettings& settings, const ConversionControl* control) {
    FileResult result;
    MappedFile input;
    std::string error;
    if (!input.open(ofiFile.string(), &error)) {
        result.outcome = FileOutcome::Failed;
        result.message = ofiFile.string() + ": " + error;
        return result;
    }
    FileSink sink;
    if (!sink.open(glfFile.string())) {
        result.outcome = FileOutcome::Failed;
        result.message = glfFile.string() + ": " + std::strerror(errno);
        return result;
    }
    DrawingResult drawing;
    bool written;
    {
        GlfWriter out(sink);
        drawing =
            convertDrawing(OfiReader(input.data(), input.size()), out, state, settings, control);
        out.flush();
        written = out.ok();
    }
    const int writeErrno = errno;
    written = sink.close() && written;
    switch (drawing.outcome) {
    case DrawingOutcome::Finished:
        if (!written) {
            result.outcome = FileOutcome::Failed;
            result.message = glfFile.string() + ": " + std::strerror(writeErrno ? writeErrno : EIO);
        }
        break;
    case DrawingOutcome::Cancelled: result.outcome = FileOutcome::Cancelled; break;
    case DrawingOutcome::Damaged:
        result.outcome = FileOutcome::Damaged;
        result.message = drawing.reason;
        break;
    }
    if (result.outcome != FileOutcome::Finished) {
        std::error_code ignored;
        std::filesystem::remove(glfFile, ignored);
    }
    return result;
}

} // namespace kesto
