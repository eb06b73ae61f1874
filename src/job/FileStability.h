#pragma once
// A drawing still being written, told without trusting anybody's clock but
// our own monotonic one.  The modification time a file server or a CAD
// workstation stamps on a file may lag or lead ours by any amount, so it is
// only ever compared with itself: a file is finished when its size and time
// stay the same between two looks some time apart.

#include "io/Status.h"
#include "job/OfiScan.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <vector>

namespace kesto {

// The files of `later` that `earlier` saw with the same name, size and time.
std::vector<ScannedFile> unchangedBetween(const std::vector<ScannedFile>& earlier,
                                          const std::vector<ScannedFile>& later);

// Waits `time` by the monotonic clock in short steps, calling `tick` after
// each one.  Returns false, at once, when `stop` is set.
bool waitUnlessStopped(std::chrono::milliseconds time, const std::atomic<bool>& stop,
                       const std::function<void()>& tick);

// The OFI files of `folder` that stayed unchanged for `settleTime`: the folder
// is scanned, and when it holds drawings, scanned again after that time;
// whatever changed or appeared meanwhile is left for a later run.  A stop
// during the wait gives no files.  With a settle time of 0 one look is enough.
// *problem as for scanOfiFolder.
std::vector<ScannedFile> scanSettledOfiFiles(const std::filesystem::path& folder,
                                             std::chrono::milliseconds settleTime,
                                             const std::atomic<bool>& stop,
                                             const std::function<void()>& tick,
                                             Status* problem = nullptr);

} // namespace kesto
