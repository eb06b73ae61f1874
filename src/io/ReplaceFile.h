#pragma once
// Replacing a file the user keeps (the settings file): the new contents go
// where the user meant them to go, and the file stays the user's.

#include "io/Status.h"

#include <filesystem>
#include <string_view>

namespace kesto {

// The file that `file` leads to through symbolic links (relative links are
// taken from the link's own folder); `file` itself when it is no link.  The
// file found need not exist.  Fails on a loop of links or an unreadable link.
Status followLinks(const std::filesystem::path& file, std::filesystem::path& target);

// Writes `bytes` over `file` atomically and durably.  Where `file` is a
// symbolic link (to a shared settings file, say), the file it leads to is
// written, through a temporary in that file's folder, and the link stays a
// link.  An existing file keeps its mode, owner and group.
Status replaceFileContents(const std::filesystem::path& file, std::string_view bytes);

// The failure of giving a finished temporary the name `target` (system error
// `err`).  Where `target` belongs to another user and its folder is shared
// with the sticky bit, where only a file's owner may replace it, the reason
// says exactly that and names the owner.
Status replaceFailure(const std::filesystem::path& target, int err);

} // namespace kesto
