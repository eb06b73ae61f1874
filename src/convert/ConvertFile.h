#pragma once
// The conversion driver: one OFI file at a time into its GLF file, or into
// memory, as one drawing of a run.  The drawing is converted from a stable
// copy of the OFI file's bytes; a GLF file goes to a temporary file that
// takes its name only when the drawing is finished: a GLF file that is not a
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
    Finished,  // the GLF file is complete and in place (or the GLF text complete)
    Cancelled, // stopped by the cancel flag; no GLF file written
    Damaged,   // the drawing could not be read; no GLF file written
    Failed,    // the OFI file could not be read or the GLF file not written
    Refused,   // not converted: the GLF file would replace the drawing itself, or
               // a GLF file that this run wrote from another drawing
};

struct FileResult {
    FileOutcome outcome = FileOutcome::Finished;
    std::string message; // why, for Damaged, Failed and Refused
    FileIdentity input;  // the OFI file as it was read (when it could be)
    std::string glf;     // into memory: what the plotter would get, as far as converted
    // With fingerprints asked for (toFile, finished): the SHA-256 of the OFI
    // bytes converted and of the GLF file written, and the GLF file's size.
    std::string inputSha256, glfSha256;
    std::uint64_t glfSize = 0;
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

// The drawings of one run: pen, text and page state carry over from one to
// the next.
class ConversionRun {
public:
    // `control`, when given, is watched during every drawing.
    explicit ConversionRun(const ConversionSettings& settings,
                           const ConversionControl* control = nullptr);

    // One OFI file into `glfFile`.  `durability`: Durable where the OFI file
    // is deleted on the strength of the GLF file surviving (output to file,
    // then delete); Replace otherwise.
    FileResult toFile(const std::filesystem::path& ofiFile, const std::filesystem::path& glfFile,
                      Durability durability);
    // One OFI file into memory (FileResult::glf); nothing is written to the disk.
    FileResult toMemory(const std::filesystem::path& ofiFile);
    // The state the last drawing left (its sheet, rotation, reduction).
    const ConversionState& state() const { return state_; }
    // toFile fingerprints what it read and wrote (FileResult), from the bytes
    // it holds anyway: the files are not read again for it.
    void fingerprint() { fingerprint_ = true; }

private:
    ConversionSettings settings_;
    ConversionControl control_;
    bool watched_ = false;
    bool fingerprint_ = false;
    ConversionState state_;
    RunOutputs outputs_;
};

} // namespace kesto
