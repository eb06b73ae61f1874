#pragma once
// The automatic file selection: the OFI files of a folder, in the order the
// file system lists them.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kesto {

// What the scan saw of a file; compared again just before the file is taken.
struct ScannedFile {
    std::string name; // without folder
    std::uintmax_t size = 0;
    std::filesystem::file_time_type modified;
};

// Whether a name is an OFI file's: it holds ".OFI" or ".ofi" anywhere
// (case-sensitive, so "X.Ofi" is not one and "X.OFI.bak" is).
bool isOfiName(const std::string& name);

// Every regular file of `folder` with an OFI name and a size other than 0,
// leaving out files modified within `settleTime` of now (still being
// written).  Subfolders are skipped.  An unreadable folder gives no files.
std::vector<ScannedFile> scanOfiFolder(const std::filesystem::path& folder,
                                       std::chrono::milliseconds settleTime);

// Whether the file is still as the scan saw it (same size and time).
bool unchangedSinceScan(const std::filesystem::path& folder, const ScannedFile& file);

} // namespace kesto
