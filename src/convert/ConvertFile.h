#pragma once
// One OFI file into one GLF file.  The drawing is converted from a stable
// copy of the OFI file's bytes into a temporary file that takes the GLF
// file's name only when the drawing is finished: a GLF file that is not a
// finished drawing (damaged, stopped, killed, not fully written) never
// appears under its name.

#include "convert/Conversion.h"
#include "io/AtomicFile.h"
#include "io/FileBytes.h"

#include <filesystem>
#include <string>
#include <vector>

namespace kesto {

enum class FileOutcome {
    Finished,  // the GLF file is complete and in place
    Cancelled, // stopped by the cancel flag; no GLF file written
    Damaged,   // the drawing could not be read; no GLF file written
    Failed,    // the OFI file could not be read or the GLF file not written
};

struct FileResult {
    FileOutcome outcome = FileOutcome::Finished;
    std::string message; // why, for Damaged and Failed
    FileIdentity input;  // the OFI file as it was read (when it could be)
};

// The GLF file of an OFI file: its name up to the first "." plus ".GLF", in
// `folder` (PLAN.V1.OFI gives PLAN.GLF; a name without "." keeps its whole name).
std::filesystem::path glfPathFor(const std::filesystem::path& folder, const std::string& ofiName);

// The GLF files one run has written.  Two drawings of a run may give the same
// GLF name (PLAN.V1.OFI and PLAN.V2.OFI both give PLAN.GLF; SEC.OFI and
// SEC.ofi too where names ignore case): the later one must not overwrite the
// earlier one's drawing.  Files are told apart by identity, not by name.
class RunOutputs {
public:
    // Fine when `glf` may be written for `ofi`; a failure saying why not when
    // it is the OFI file itself (under any name) or a GLF file that this run
    // wrote from another drawing.
    Status checkTarget(const std::filesystem::path& ofi, const std::filesystem::path& glf) const;
    // Notes the GLF file just written for the drawing `ofiName`.
    void written(const std::filesystem::path& glf, const std::string& ofiName);

private:
    struct Output {
        FileIdentity identity;
        std::string source;
    };
    std::vector<Output> outputs_;
};

// `durability`: Durable where the OFI file is deleted on the strength of the
// GLF file surviving (output to file, then delete); Replace otherwise.
FileResult convertOfiFile(const std::filesystem::path& ofiFile,
                          const std::filesystem::path& glfFile, Durability durability,
                          ConversionState& state, const ConversionSettings& settings,
                          const ConversionControl* control = nullptr);

} // namespace kesto
