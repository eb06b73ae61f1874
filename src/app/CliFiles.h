#pragma once
// What kesto-cli's commands check of the files and folders they are given,
// before any work: each says what is wrong in words the user can act on.

#include <filesystem>
#include <string>

namespace kesto {

// Why `file` cannot be taken as a drawing ("" when it is a regular file).  A
// drawing is read more than once (its title first); a pipe or a device would
// give its bytes once or keep the reader waiting, so it is refused at once.
std::string notARegularFile(const std::filesystem::path& file);

// Why `folder` cannot take the output files ("" when it is a folder): it is
// missing, it is a file, or it cannot be looked at.
std::string notAFolder(const std::filesystem::path& folder);

} // namespace kesto
