#include "settings/LegacyFolder.h"

#include "io/Cp932.h"
#include "io/NativeText.h"

#include <system_error>

namespace kesto {
namespace {

namespace fs = std::filesystem;

bool isFolder(const std::string& name, const fs::path& programFolder) {
    const fs::path path = pathFromUtf8(name);
    std::error_code ec;
    return fs::is_directory(path.is_absolute() ? path : programFolder / path, ec);
}

} // namespace

bool isUtf8Text(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        unsigned low = 0x80, high = 0xBF; // the range of the second byte
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F; // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) return false;
        }
        i += length;
    }
    return true;
}

bool isLegacyFolderBytes(std::string_view value) {
    if (isUtf8Text(value)) return false;
    if (value.find_first_of("\r\n") != std::string_view::npos) return false;
    if (value.find("  ") != std::string_view::npos || value.ends_with(' ')) return false;
    return cp932ToUtf8(value).has_value();
}

void keepLegacyFolderBytes(JobSettings& settings, const fs::path& programFolder) {
    const auto read = settings.originalBytes.find("OfiFile");
    if (read == settings.originalBytes.end()) return;
    auto& [decoded, bytes] = read->second;
    if (settings.OfiFile != decoded || !isLegacyFolderBytes(bytes)) return;
    if (isFolder(decoded, programFolder) || !isFolder(bytes, programFolder)) return;
    settings.OfiFile = bytes;
    decoded = bytes;
}

} // namespace kesto
