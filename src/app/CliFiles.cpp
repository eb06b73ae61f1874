#include "app/CliFiles.h"

#include "io/SystemError.h"

#include <system_error>

namespace kesto {

namespace fs = std::filesystem;

std::string notARegularFile(const fs::path& file) {
    std::error_code ec;
    const fs::file_status st = fs::status(file, ec);
    switch (st.type()) {
    case fs::file_type::regular: return {};
    case fs::file_type::not_found: return "no such file";
    case fs::file_type::directory: return "is a folder, not a file";
    case fs::file_type::fifo: return "is a pipe, not a file (a drawing is read more than once)";
    case fs::file_type::character:
    case fs::file_type::block: return "is a device, not a file";
    default: return ec ? errorCodeText(ec) : "is not a regular file";
    }
}

std::string notAFolder(const fs::path& folder) {
    std::error_code ec;
    const fs::file_status st = fs::status(folder, ec);
    if (st.type() == fs::file_type::directory) return {};
    if (st.type() == fs::file_type::not_found) return "does not exist";
    if (ec) return errorCodeText(ec);
    return "is not a folder";
}

} // namespace kesto
