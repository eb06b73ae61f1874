#pragma once
// The start modes of the spooler, chosen by the command-line argument; the
// window and the headless spooler read it the same way.

#include <string_view>

namespace kesto {

enum class StartMode {
    Interactive, // no argument or any other one
    OneShot,     // "auto" or "AUTO": one run, then the program ends
    Polling,     // "AUTO" + seconds: a run, a pause, a run, ...
};

struct StartArguments {
    StartMode mode = StartMode::Interactive;
    unsigned interval = 0; // milliseconds between polling runs; 0 = not polling
};

// The polling interval is a 16-bit count of milliseconds.
constexpr unsigned kMaxPollingInterval = 65535;

// "AUTO30" polls every 30000 ms, "AUTO0.5" every 500 ms, "AUTO100" every
// 65535 ms; "AUTO" followed by letters, 0 or a negative number gives the
// interval 0.  The comparisons are case-sensitive and on the whole argument
// ("auto5" and "Auto" are interactive).
StartArguments startArgumentsFor(std::string_view argument);

} // namespace kesto
