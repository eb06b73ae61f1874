#pragma once
// A log file that never grows without bound: when the next line would take
// it past its size limit, it is renamed to NAME.1 (NAME.1 to NAME.2, ...; the
// oldest goes) and a new one is begun.  Each line carries the local time.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace kesto {

class RotatingLog {
public:
    RotatingLog(std::filesystem::path file, std::uintmax_t limitBytes, int oldFiles);
    ~RotatingLog();
    RotatingLog(const RotatingLog&) = delete;
    RotatingLog& operator=(const RotatingLog&) = delete;

    // Appends "YYYY-MM-DD hh:mm:ss text" and a line end, flushed.  False when
    // the file cannot be written (the line is then lost, nothing else).
    bool write(std::string_view text);

private:
    void rotate();
    bool open();

    std::filesystem::path file_;
    std::uintmax_t limit_;
    int oldFiles_;
    std::FILE* out_ = nullptr;
    std::uintmax_t size_ = 0;
};

// The log's line for `text` at `when` (seconds since the epoch, local time).
std::string logLine(std::int64_t when, std::string_view text);

} // namespace kesto
