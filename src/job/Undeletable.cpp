#include "job/Undeletable.h"

#include "io/NativeText.h"

#include <algorithm>
#include <utility>

namespace kesto {
namespace {

namespace fs = std::filesystem;

// Whether `ofi` is still the file of `identity`, unchanged.
bool unchangedSince(const fs::path& ofi, const FileIdentity& identity) {
    FileIdentity now;
    return fileIdentity(ofi, now, Links::Followed).ok() && now == identity;
}

} // namespace

bool InMemoryUndeletables::contains(const fs::path& ofi) {
    std::lock_guard guard(mutex_);
    const auto it = entries_.find(utf8FromPath(ofi));
    if (it == entries_.end()) return false;
    if (unchangedSince(ofi, it->second.identity)) return true;
    entries_.erase(it);
    return false;
}

void InMemoryUndeletables::remember(const fs::path& ofi, const FileIdentity& identity,
                                    std::unique_ptr<FileLock> claim) {
    std::lock_guard guard(mutex_);
    Entry& entry = entries_[utf8FromPath(ofi)];
    entry.identity = identity;
    entry.claim = std::move(claim);
    if (entry.claim && entry.claim->locked() && ++held_ > kHeldClaims) entry.claim->unlock();
}

void InMemoryUndeletables::forgetChanged() {
    std::lock_guard guard(mutex_);
    std::erase_if(entries_, [](const auto& e) {
        return !unchangedSince(pathFromUtf8(e.first), e.second.identity);
    });
    held_ =
        static_cast<std::size_t>(std::count_if(entries_.begin(), entries_.end(), [](const auto& e) {
            return e.second.claim && e.second.claim->locked();
        }));
}

UndeletableRegistry& processUndeletables() {
    static InMemoryUndeletables registry;
    return registry;
}

} // namespace kesto
