#pragma once
// A recording layer under the file code: this test program defines write,
// read, fsync and rename itself, so the io library's calls come here first
// and then go on to the system.  While recording, each call is logged with the
// path it concerns ("fsync /tmp/x/.~kesto-….tmp"), and a test can make a call
// fail, make writes short, or run something in the middle of a read: the
// order of the calls is checked, not their timing.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace kesto::test {

class FileCalls {
public:
    FileCalls();  // starts recording, with no failures planned
    ~FileCalls(); // stops recording and forgets the plans
    FileCalls(const FileCalls&) = delete;
    FileCalls& operator=(const FileCalls&) = delete;

    // "write PATH", "read PATH", "fsync PATH", "rename FROM TO", in order.
    std::vector<std::string> log() const;
    // The next call of that name ("fsync", "rename", "write") fails with `err`.
    void failNext(const std::string& call, int err);
    // Every write takes at most `bytes` (0: no limit).
    void limitWrites(std::size_t bytes);
    // Runs once, before the first read goes to the system.
    void beforeFirstRead(std::function<void()> action);
};

} // namespace kesto::test
