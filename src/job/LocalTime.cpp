#include "job/LocalTime.h"

namespace kesto {

std::tm localTm(std::time_t when) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &when);
#else
    localtime_r(&when, &local);
#endif
    return local;
}

std::string localTime(std::time_t when, const char* format) {
    const std::tm local = localTm(when);
    char text[64];
    const std::size_t n = std::strftime(text, sizeof text, format, &local);
    return std::string(text, n);
}

} // namespace kesto
