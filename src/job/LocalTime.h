#pragma once
// A moment as the machine's local time, in a strftime format: the archive's
// day folders, the names of journals moved aside, the history's times.

#include <ctime>
#include <optional>
#include <string>

namespace kesto {

// "" for a moment the system cannot show.
std::string localTime(std::time_t when, const char* format);
// The moment broken down as the machine's local time; none where the system
// cannot (Windows stops at the year 3000).
std::optional<std::tm> localTm(std::time_t when);

} // namespace kesto
