#include "job/FileStability.h"

#include <algorithm>
#include <map>
#include <string>
#include <thread>
#include <utility>

namespace kesto {

std::vector<ScannedFile> unchangedBetween(const std::vector<ScannedFile>& earlier,
                                          const std::vector<ScannedFile>& later) {
    std::map<std::string, const ScannedFile*> seen;
    for (const ScannedFile& file : earlier)
        seen.emplace(file.name, &file);
    std::vector<ScannedFile> settled;
    for (const ScannedFile& file : later) {
        const auto it = seen.find(file.name);
        if (it != seen.end() && it->second->size == file.size &&
            it->second->modified == file.modified)
            settled.push_back(file);
    }
    return settled;
}

bool waitUnlessStopped(std::chrono::milliseconds time, const std::atomic<bool>& stop,
                       const std::function<void()>& tick) {
    // Short steps: the stop button and signals are answered well within a second.
    constexpr std::chrono::milliseconds kStep{50};
    const auto end = std::chrono::steady_clock::now() + time;
    while (!stop.load()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) return true;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(kStep, end - now));
        if (tick) tick();
    }
    return false;
}

std::vector<ScannedFile> scanSettledOfiFiles(const std::filesystem::path& folder,
                                             std::chrono::milliseconds settleTime,
                                             const std::atomic<bool>& stop,
                                             const std::function<void()>& tick, Status* problem) {
    std::vector<ScannedFile> first = scanOfiFolder(folder, problem);
    if (first.empty() || settleTime <= std::chrono::milliseconds::zero()) return first;
    if (!waitUnlessStopped(settleTime, stop, tick)) return {};
    return unchangedBetween(first, scanOfiFolder(folder, problem));
}

} // namespace kesto
