#include "job/OfiScan.h"

#include "io/NativeText.h"

#include <system_error>

namespace kesto {

bool isOfiName(const std::string& name) {
    return name.find(".OFI") != std::string::npos || name.find(".ofi") != std::string::npos;
}

std::vector<ScannedFile> scanOfiFolder(const std::filesystem::path& folder,
                                       std::chrono::milliseconds settleTime) {
    namespace fs = std::filesystem;
    std::vector<ScannedFile> files;
    const auto now = fs::file_time_type::clock::now();
    std::error_code ec;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        // The name test first: only OFI files cost a look at their attributes.
        std::string name = utf8FromPath(entry.path().filename());
        if (!isOfiName(name)) continue;
        std::error_code statError;
        if (!entry.is_regular_file(statError) || statError) continue;
        const std::uintmax_t size = entry.file_size(statError);
        if (statError || size == 0) continue;
        const auto modified = entry.last_write_time(statError);
        if (statError) continue;
        // Written to within the settle time (or up to that much in the future,
        // for a server whose clock runs slightly ahead): the CAD system may
        // still be writing it.
        const auto age = now - modified;
        if (age < settleTime && age > -settleTime) continue;
        files.push_back({std::move(name), size, modified});
    }
    return files;
}

bool unchangedSinceScan(const std::filesystem::path& folder, const ScannedFile& file) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path path = folder / pathFromUtf8(file.name);
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size != file.size) return false;
    const auto modified = fs::last_write_time(path, ec);
    return !ec && modified == file.modified;
}

} // namespace kesto
