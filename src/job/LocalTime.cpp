#include "job/LocalTime.h"

namespace kesto {

std::optional<std::tm> localTm(std::time_t when) {
    std::tm local{};
#ifdef _WIN32
    if (localtime_s(&local, &when) != 0) return std::nullopt;
#else
    if (!localtime_r(&when, &local)) return std::nullopt;
#endif
    return local;
}

std::string localTime(std::time_t when, const char* format) {
    const std::optional<std::tm> local = localTm(when);
    if (!local) return "";
    char text[64];
    const std::size_t n = std::strftime(text, sizeof text, format, &*local);
    return std::string(text, n);
}

} // namespace kesto
