#include "app/StopSignals.h"

#include <csignal>

#ifdef _WIN32
#include <windows.h>
#endif

namespace kesto {
namespace {

// Signal numbers that only one of the systems names: the hang-up of a
// closed terminal (POSIX), and Ctrl+Break (the Windows C runtime's SIGBREAK).
constexpr int kHangupSignal = 1;
constexpr int kBreakSignal = 21;
#ifdef SIGHUP
static_assert(SIGHUP == kHangupSignal);
#endif
#ifdef SIGBREAK
static_assert(SIGBREAK == kBreakSignal);
#endif

// The number of the signal that asked first, 0 while none did; whether it
// came as a console event.
std::atomic<int> gStopSignal{0};
std::atomic<bool> gFromConsole{false};
std::atomic<bool> gCancel{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the flags are set from a signal handler");

extern "C" void onStopSignal(int signal) {
    int none = 0;
    gStopSignal.compare_exchange_strong(none, signal);
    gCancel.store(true);
}

#ifdef _WIN32
// How long a closing console lets the command finish: the process ends when
// the handler returns, and the system ends it anyway after a few seconds.
constexpr DWORD kCloseGraceMs = 10000;

BOOL WINAPI onConsoleEvent(DWORD event) {
    int signal = 0;
    switch (event) {
    case CTRL_C_EVENT: signal = SIGINT; break;
    case CTRL_BREAK_EVENT: signal = kBreakSignal; break;
    case CTRL_CLOSE_EVENT: signal = kHangupSignal; break;
    default: return FALSE; // log-off and shut-down: the system's own handling
    }
    int none = 0;
    if (gStopSignal.compare_exchange_strong(none, signal)) gFromConsole.store(true);
    gCancel.store(true);
    // The command's exit ends this thread too.
    if (event == CTRL_CLOSE_EVENT) Sleep(kCloseGraceMs);
    return TRUE;
}
#endif

void install() {
#ifdef _WIN32
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    std::signal(SIGTERM, onStopSignal);
#else
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a blocking call returns early
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed terminal or a service manager's reload stops cleanly too.
    sigaction(SIGHUP, &action, nullptr);
#endif
}

std::string consoleEventText(int signal) {
    switch (signal) {
    case SIGINT: return "Ctrl+C";
    case kBreakSignal: return "Ctrl+Break";
    case kHangupSignal: return "the console window closing";
    default: return "console event " + std::to_string(signal);
    }
}

std::string signalText(int signal) {
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case kHangupSignal: return "SIGHUP";
    default: return "signal " + std::to_string(signal);
    }
}

} // namespace

void installStopHandlers() {
    static const bool installed = (install(), true);
    (void)installed;
}

void requestStop(int signal) {
    onStopSignal(signal);
}

bool stopRequested() {
    return gStopSignal.load() != 0;
}

std::atomic<bool>& stopCancelFlag() {
    return gCancel;
}

std::string stopCause() {
    const int signal = gStopSignal.load();
    if (signal == 0) return {};
    return gFromConsole.load() ? consoleEventText(signal) : signalText(signal);
}

int stopExitStatus() {
    return 128 + gStopSignal.load();
}

} // namespace kesto
