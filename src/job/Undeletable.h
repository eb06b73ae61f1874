#pragma once
// Drawings that were delivered but whose OFI file could not be deleted (a
// shared folder where the CAD user owns the files): while such a file stays
// unchanged it is not sent again.  The run asks a registry; the one every
// run of a process shares keeps them in memory, for the life of the process.

#include "io/FileBytes.h"
#include "io/FileLock.h"

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace kesto {

class UndeletableRegistry {
public:
    virtual ~UndeletableRegistry() = default;

    // Whether `ofi` is remembered and unchanged since; a changed one is
    // forgotten (and plotted again, as a new drawing).
    virtual bool contains(const std::filesystem::path& ofi) = 0;
    // Remembers `ofi` as it is now.  `claim`, the run's lock on it, is kept
    // where the registry can, so that another spooler on the folder leaves
    // the file too.
    virtual void remember(const std::filesystem::path& ofi, const FileIdentity& identity,
                          std::unique_ptr<FileLock> claim) = 0;
    // Forgets the files that changed or went since they were remembered.
    virtual void forgetChanged() = 0;
};

// The registry in memory.  Each file keeps its claim, up to a number of open
// files; the rest are remembered without one.
class InMemoryUndeletables final : public UndeletableRegistry {
public:
    bool contains(const std::filesystem::path& ofi) override;
    void remember(const std::filesystem::path& ofi, const FileIdentity& identity,
                  std::unique_ptr<FileLock> claim) override;
    void forgetChanged() override;

private:
    // Open files kept for claims.
    static constexpr std::size_t kHeldClaims = 256;

    struct Entry {
        FileIdentity identity;
        std::unique_ptr<FileLock> claim;
    };

    std::mutex mutex_;
    std::map<std::string, Entry> entries_; // by the OFI file's path in UTF-8
    std::size_t held_ = 0;
};

// The registry every run of this process shares.
UndeletableRegistry& processUndeletables();

} // namespace kesto
