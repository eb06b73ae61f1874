#include "job/OfiScan.h"

#include "io/NativeText.h"
#include "io/SystemError.h"
#include "ofi/OfiName.h"

#include <system_error>

namespace kesto {
namespace {

namespace fs = std::filesystem;

// The status line for an OFI folder the scan cannot use.
Status folderProblem(const fs::path& folder, const std::error_code& ec) {
    std::error_code statError;
    const fs::file_status st = fs::status(folder, statError);
    if (st.type() == fs::file_type::not_found)
        return Status::failure("OFIフォルダがありません: " + utf8FromPath(folder));
    if (!statError && st.type() != fs::file_type::directory)
        return Status::failure("OFIフォルダがフォルダではありません: " + utf8FromPath(folder));
    return Status::failure("OFIフォルダを読めません: " + utf8FromPath(folder) + ": " +
                           errorCodeText(ec));
}

} // namespace

std::vector<ScannedFile> scanOfiFolder(const fs::path& folder, Status* problem) {
    std::vector<ScannedFile> files;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        // The name test first: only OFI files cost a look at their attributes.
        std::string name = utf8FromPath(entry.path().filename());
        if (!isOfiFileName(name)) continue;
        std::error_code statError;
        if (!entry.is_regular_file(statError) || statError) continue;
        const std::uintmax_t size = entry.file_size(statError);
        if (statError || size == 0) continue;
        const auto modified = entry.last_write_time(statError);
        if (statError) continue;
        files.push_back({std::move(name), size, modified});
    }
    if (ec && problem) *problem = folderProblem(folder, ec);
    return files;
}

bool unchangedSinceScan(const fs::path& folder, const ScannedFile& file) {
    std::error_code ec;
    const fs::path path = folder / pathFromUtf8(file.name);
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size != file.size) return false;
    const auto modified = fs::last_write_time(path, ec);
    return !ec && modified == file.modified;
}

} // namespace kesto
