#pragma once
// A file written whole or not at all.  The bytes go to a new temporary file
// in the target's folder, created exclusively (an existing file or a link is
// never opened); the temporary takes the target's name only when commit() is
// called, so a crash, a kill or a full disk never leaves a partial file under
// the target's name.  A temporary that is neither committed nor discarded is
// removed by the destructor.
//
// Temporary names are ".~kesto-" + hex digits + ".tmp": no scan or chooser
// takes them for drawings.  While a writer holds one, the system holds a lock
// on it, so the temporaries of a killed run can be told from those of a
// live one and removed (removeLeftoverTemporaries).

#include "io/FileBytes.h"
#include "io/Status.h"

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace kesto {

enum class Durability {
    Replace, // rename only: the data reaches the disk when the system writes it back
    Durable, // file and folder flushed to the disk before commit() returns
};

class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file for `target`.
    Status create(const std::filesystem::path& target);
    Status write(const char* data, std::size_t size);
    // Appends the whole file at `source`, which must be the file `expected`
    // before and after (else the failure says it changed); the system copies
    // it without the bytes passing through this process where it can.
    Status copyFrom(const std::filesystem::path& source, const FileIdentity& expected);
    // Gives the temporary the target's name (replacing a file of that name).
    Status commit(Durability durability);
    // Gives the temporary the target's name only if no file has it; when one
    // has, *taken is set, the temporary is removed and the target stays.
    Status commitNew(Durability durability, bool* taken);
    // Removes the temporary; the target stays as it was.
    void discard();
    // Gives the temporary the mode, owner and group of `existing` (when it
    // exists), so that the file keeps them through the rename.  An owner
    // this process may not give away is left as it is.
    Status keepAttributesOf(const std::filesystem::path& existing);

private:
    // Creates temp_ exclusively, never through a link; *taken when the
    // failure is only that the name is in use.
    Status openTemporary(bool& taken);

    std::filesystem::path target_;
    std::filesystem::path temp_;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

// Whether `name` is one of the temporaries an AtomicFile makes.
bool isTemporaryName(std::string_view name);

// Removes the temporaries in `folder` that no live writer holds (left by a
// killed run).  Failures are ignored: a temporary left is only clutter.
void removeLeftoverTemporaries(const std::filesystem::path& folder);

} // namespace kesto
