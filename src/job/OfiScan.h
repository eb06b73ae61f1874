#pragma once
// The automatic file selection: the OFI files of a folder, in the order the
// file system lists them.

#include "io/Status.h"

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

// Every regular file of `folder` with an OFI name (isOfiFileName) and a size
// other than 0 (whether one is still being written is for FileStability to
// tell).  Subfolders are skipped.  A folder that is missing, is not
// a folder or cannot be read gives the files found so far and, in *problem,
// the status line that says what is wrong with it (the reason included).
std::vector<ScannedFile> scanOfiFolder(const std::filesystem::path& folder,
                                       Status* problem = nullptr);

// Whether the file is still as the scan saw it (same size and time).
bool unchangedSinceScan(const std::filesystem::path& folder, const ScannedFile& file);

} // namespace kesto
