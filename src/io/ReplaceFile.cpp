#include "io/ReplaceFile.h"

#include "io/AtomicFile.h"
#include "io/NativeText.h"
#include "io/SystemError.h"

#include <system_error>

namespace kesto {

namespace fs = std::filesystem;

Status followLinks(const fs::path& file, fs::path& target) {
    // As many links as the system itself follows in one path.
    constexpr int kMaxLinks = 40;
    target = file;
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        std::error_code ec;
        const fs::file_status st = fs::symlink_status(target, ec);
        if (ec || st.type() != fs::file_type::symlink) return {};
        const fs::path next = fs::read_symlink(target, ec);
        if (ec)
            return Status::failure(utf8FromPath(target) +
                                   ": the link cannot be read: " + errorCodeText(ec));
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return Status::failure(utf8FromPath(file) + ": the links lead round in a loop");
}

Status replaceFileContents(const fs::path& file, std::string_view bytes) {
    fs::path target;
    if (Status s = followLinks(file, target); !s) return s;
    AtomicFile out;
    if (Status s = out.create(target); !s) return s;
    if (Status s = out.keepAttributesOf(target); !s) return s;
    if (Status s = out.write(bytes.data(), bytes.size()); !s) return s;
    return out.commit(Durability::Durable);
}

} // namespace kesto
