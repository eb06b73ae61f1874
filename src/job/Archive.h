#pragma once
// The archive: finished OFI files kept below the program folder instead of
// lost, in "archive/YYYY-MM-DD/" by the day they were plotted.  A copy is
// written whole (a temporary, flushed, then given its name) before the OFI
// file may be deleted, and never overwrites another: a second drawing of the
// same name that day becomes "PLAN.OFI.2", "PLAN.OFI.3", ...

#include "io/FileBytes.h"
#include "io/Status.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

namespace kesto {

inline constexpr const char* kArchiveFolderName = "archive";

class Archive {
public:
    explicit Archive(std::filesystem::path root) : root_(std::move(root)) {}

    // Copies the OFI file at `ofi`, which must still be the file `expected`
    // (else nothing is kept and the failure says so); *kept is the copy's path.
    Status keep(const std::filesystem::path& ofi, const FileIdentity& expected,
                std::filesystem::path* kept);

    struct Pruned {
        int files = 0;
        std::uint64_t bytes = 0;
    };
    // Removes the oldest copies: those older than `maxAge` (zero: no limit),
    // then more until the archive holds at most `maxBytes` (0: no limit).
    Pruned prune(std::chrono::hours maxAge, std::uint64_t maxBytes);

    const std::filesystem::path& root() const { return root_; }

private:
    std::filesystem::path root_;
};

} // namespace kesto
