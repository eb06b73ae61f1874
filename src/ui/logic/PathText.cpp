#include "ui/logic/PathText.h"

#include "io/Cp932.h"
#include "settings/LegacyFolder.h"

namespace kesto {

std::string readablePath(std::string_view bytes) {
    // "/" is never the second byte of a Shift-JIS character, so the parts
    // can be told apart before they are decoded.
    std::string shown;
    shown.reserve(bytes.size());
    while (true) {
        const std::size_t slash = bytes.find('/');
        const std::string_view part = bytes.substr(0, slash);
        shown += isUtf8Text(part) ? std::string(part) : cp932ToUtf8Lenient(part);
        if (slash == std::string_view::npos) return shown;
        shown += '/';
        bytes.remove_prefix(slash + 1);
    }
}

std::string pathFromShownText(const std::string& shown, const std::string& held) {
    return !held.empty() && readablePath(held) == shown ? held : shown;
}

} // namespace kesto
