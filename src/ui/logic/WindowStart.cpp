#include "ui/logic/WindowStart.h"

#include "settings/Vocabulary.h"

namespace kesto {

WindowStart windowStartFor(std::string_view argument) {
    const StartArguments args = startArgumentsFor(argument);
    WindowStart start;
    start.mode = args.mode;
    start.pollingMs = static_cast<std::uint16_t>(std::min(args.interval, kMaxPollingInterval));
    switch (args.mode) {
    case StartMode::Interactive: break;
    case StartMode::OneShot: start.buttonCaption = std::string(words::kAutomatic); break;
    case StartMode::Polling:
        start.buttonCaption = "自動\n " + std::to_string(start.pollingMs / 1000) + "秒";
        break;
    }
    return start;
}

} // namespace kesto
