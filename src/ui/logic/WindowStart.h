#pragma once
// How the window starts for its command-line argument: the mode and polling
// interval (read as the headless spooler reads them) and the create button's
// caption in that mode.

#include "job/StartMode.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

namespace kesto {

// The delay of the one-shot run after start-up, in milliseconds.
constexpr int kOneShotDelayMs = 1000;

struct WindowStart {
    StartMode mode = StartMode::Interactive;
    // Milliseconds between the end of one polling run and the start of the
    // next; 0 when not polling (also for "AUTO0" and "AUTO" + letters, which
    // still switch the fields to automatic selection and deletion).
    std::uint16_t pollingMs = 0;
    // The create button's caption in this mode; empty for interactive use.
    std::string buttonCaption;
};

// "auto"/"AUTO": one-shot, caption "自動".  "AUTO" + seconds: polling,
// caption "自動", a line break and the whole seconds with one leading space
// and "秒" (" 30秒").  Anything else: interactive.
WindowStart windowStartFor(std::string_view argument);

} // namespace kesto
