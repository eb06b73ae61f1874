#pragma once
// printf-style text appended to a string, whole however long it is: the
// vector writers build their output with it.

#include <cstdarg>
#include <cstdio>
#include <string>

namespace kesto::render {

inline void appendFormatted(std::string& to, const char* format, std::va_list args) {
    char buffer[512];
    std::va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    if (n > 0 && static_cast<std::size_t>(n) < sizeof buffer) {
        to.append(buffer, static_cast<std::size_t>(n));
    } else if (n > 0) {
        const std::size_t at = to.size();
        to.resize(at + static_cast<std::size_t>(n) + 1);
        std::vsnprintf(to.data() + at, static_cast<std::size_t>(n) + 1, format, again);
        to.resize(at + static_cast<std::size_t>(n));
    }
    va_end(again);
}

} // namespace kesto::render
