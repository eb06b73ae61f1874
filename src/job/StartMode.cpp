#include "job/StartMode.h"

#include "settings/NumberText.h"

#include <algorithm>
#include <cmath>

namespace kesto {

StartArguments startArgumentsFor(std::string_view argument) {
    if (argument == "auto" || argument == "AUTO") return {StartMode::OneShot, 0};
    if (argument.size() <= 4 || argument.substr(0, 4) != "AUTO") return {};
    // Seconds × 1000 to the nearest integer, halves to the even neighbour.
    const double ms = std::nearbyint(leadingNumber(argument.substr(4)) * 1000);
    if (!(ms > 0)) return {StartMode::Polling, 0};
    return {StartMode::Polling,
            static_cast<unsigned>(std::min(ms, static_cast<double>(kMaxPollingInterval)))};
}

} // namespace kesto
