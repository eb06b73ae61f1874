#pragma once
// One OFI file into one GLF file.  A GLF file that is not a finished
// drawing (damaged, stopped, or not fully written) never stays behind.

#include "ofi/Conversion.h"

#include <filesystem>
#include <string>

namespace kesto {

enum class FileOutcome {
    Finished,  // the GLF file is complete, flushed and closed
    Cancelled, // stopped by the cancel flag; GLF file removed
    Damaged,   // the drawing could not be read; GLF file removed
    Failed,    // the OFI file could not be read or the GLF file not written; GLF file removed
};

struct FileResult {
    FileOutcome outcome = FileOutcome::Finished;
    std::string message; // why, for Damaged and Failed
};

// The GLF file of an OFI file: its name up to the first "." plus ".GLF", in
// `folder` (PLAN.V1.OFI gives PLAN.GLF; a name without "." keeps its whole name).
std::filesystem::path glfPathFor(const std::filesystem::path& folder, const std::string& ofiName);

FileResult convertOfiFile(const std::filesystem::path& ofiFile,
                          const std::filesystem::path& glfFile, ConversionState& state,
                          const ConversionSettings& settings,
                          const ConversionControl* control = nullptr);

} // namespace kesto
