#include "job/Archive.h"

#include "io/AtomicFile.h"
#include "io/NativeText.h"
#include "job/LocalTime.h"

#include <algorithm>
#include <ctime>
#include <system_error>
#include <vector>

namespace kesto {
namespace fs = std::filesystem;
namespace {

std::string today() {
    return localTime(std::time(nullptr), "%Y-%m-%d");
}

// How many names are tried before the archive gives up on a drawing.
constexpr int kNameAttempts = 10000;

} // namespace

Status Archive::keep(const fs::path& ofi, const FileIdentity& expected, fs::path* kept) {
    const fs::path day = root_ / today();
    std::error_code ec;
    fs::create_directories(day, ec);
    if (ec) return Status::failure(utf8FromPath(day) + ": " + ec.message());
    const std::string name = utf8FromPath(ofi.filename());
    for (int n = 1; n <= kNameAttempts; ++n) {
        const fs::path target = day / pathFromUtf8(n == 1 ? name : name + "." + std::to_string(n));
        if (fs::exists(fs::symlink_status(target, ec))) continue;
        AtomicFile file;
        if (Status s = file.create(target); !s) return s;
        if (Status s = file.copyFrom(ofi, expected); !s) return s;
        bool taken = false;
        if (Status s = file.commitNew(Durability::Durable, &taken); !s) {
            if (taken) continue; // another copy got the name meanwhile
            return s;
        }
        if (kept) *kept = target;
        return {};
    }
    return Status::failure(utf8FromPath(day) + ": " + name + " の名前が尽きました");
}

Archive::Pruned Archive::prune(std::chrono::hours maxAge, std::uint64_t maxBytes) {
    struct Copy {
        fs::path path;
        fs::file_time_type time;
        std::uint64_t size;
    };
    std::vector<Copy> copies;
    std::uint64_t total = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root_, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec) || it->is_symlink(ec)) continue;
        if (isTemporaryName(utf8FromPath(it->path().filename()))) continue; // being written
        const std::uint64_t size = it->file_size(ec);
        copies.push_back({it->path(), it->last_write_time(ec), size});
        total += size;
    }
    std::sort(copies.begin(), copies.end(),
              [](const Copy& a, const Copy& b) { return a.time < b.time; });
    const auto oldest = fs::file_time_type::clock::now() - maxAge;
    Pruned pruned;
    for (const Copy& c : copies) {
        const bool tooOld = maxAge.count() > 0 && c.time < oldest;
        const bool tooMuch = maxBytes > 0 && total > maxBytes;
        if (!tooOld && !tooMuch) break;
        if (!fs::remove(c.path, ec)) continue;
        total -= c.size;
        ++pruned.files;
        pruned.bytes += c.size;
        fs::remove(c.path.parent_path(), ec); // only when empty
    }
    return pruned;
}

} // namespace kesto
