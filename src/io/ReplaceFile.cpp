#include "io/ReplaceFile.h"

#include "io/AtomicFile.h"
#include "io/NativeText.h"
#include "io/SystemError.h"

#include <optional>
#include <string>
#include <system_error>

#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>
#endif

namespace kesto {

namespace fs = std::filesystem;

namespace {

// The owner of `file` ("name (uid N)" or "uid N") when it is another user's
// file in a folder with the sticky bit that this process does not own.
std::optional<std::string> othersFileInStickyFolder(const fs::path& file) {
#ifdef _WIN32
    (void)file;
    return std::nullopt;
#else
    struct stat st {
    }, folder{};
    const fs::path parent = file.has_parent_path() ? file.parent_path() : fs::path(".");
    if (::lstat(file.c_str(), &st) != 0 || ::stat(parent.c_str(), &folder) != 0)
        return std::nullopt;
    const uid_t me = ::geteuid();
    if (st.st_uid == me || folder.st_uid == me || (folder.st_mode & S_ISVTX) == 0)
        return std::nullopt;
    std::string owner = "uid " + std::to_string(st.st_uid);
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(st.st_uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        owner = std::string(found->pw_name) + " (" + owner + ")";
    return owner;
#endif
}

} // namespace

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

Status replaceFailure(const fs::path& target, int err) {
    if (const auto owner = othersFileInStickyFolder(target))
        return errnoFailure(utf8FromPath(target) + ": cannot be replaced: it belongs to " +
                                "another user, " + *owner + ", and its folder is shared with " +
                                "the sticky bit, where only a file's owner may replace it",
                            err);
    return errnoFailure(utf8FromPath(target), err);
}

} // namespace kesto
