#include "app/RotatingLog.h"

#include "job/LocalTime.h"

#include <ctime>
#include <system_error>

namespace kesto {
namespace {

std::filesystem::path numbered(const std::filesystem::path& file, int n) {
    std::filesystem::path p = file;
    p += "." + std::to_string(n);
    return p;
}

std::FILE* openForAppend(const std::filesystem::path& file) {
#ifdef _WIN32
    return _wfopen(file.c_str(), L"ab");
#else
    return std::fopen(file.c_str(), "ab");
#endif
}

} // namespace

std::string logLine(std::int64_t when, std::string_view text) {
    // CR LF: the file is read with Windows' own editors as well.
    return localTime(static_cast<std::time_t>(when), "%Y-%m-%d %H:%M:%S ") + std::string(text) +
           "\r\n";
}

RotatingLog::RotatingLog(std::filesystem::path file, std::uintmax_t limitBytes, int oldFiles)
    : file_(std::move(file)), limit_(limitBytes), oldFiles_(oldFiles) {}

RotatingLog::~RotatingLog() {
    if (out_) std::fclose(out_);
}

bool RotatingLog::open() {
    if (out_) return true;
    out_ = openForAppend(file_);
    if (!out_) return false;
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(file_, ec);
    size_ = ec ? 0 : size;
    return true;
}

void RotatingLog::rotate() {
    if (out_) std::fclose(out_);
    out_ = nullptr;
    std::error_code ec;
    if (oldFiles_ <= 0) {
        std::filesystem::remove(file_, ec);
        return;
    }
    std::filesystem::remove(numbered(file_, oldFiles_), ec);
    for (int n = oldFiles_ - 1; n >= 1; --n)
        std::filesystem::rename(numbered(file_, n), numbered(file_, n + 1), ec);
    std::filesystem::rename(file_, numbered(file_, 1), ec);
}

bool RotatingLog::write(std::string_view text) {
    const std::string line = logLine(static_cast<std::int64_t>(std::time(nullptr)), text);
    if (!open()) return false;
    // A line longer than the limit still goes whole into a file of its own.
    if (size_ > 0 && size_ + line.size() > limit_) {
        rotate();
        if (!open()) return false;
    }
    const bool written =
        std::fwrite(line.data(), 1, line.size(), out_) == line.size() && std::fflush(out_) == 0;
    size_ += line.size();
    return written;
}

} // namespace kesto
