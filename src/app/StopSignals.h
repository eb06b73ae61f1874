#pragma once
// The one home of the stop requests kesto-cli takes from outside: SIGINT,
// SIGTERM and SIGHUP, and on Windows the console's Ctrl+C, Ctrl+Break and
// its window closing.  A request sets two flags: the stop (the command
// should end) and the cancel flag that the work in progress watches.

#include <atomic>
#include <string>

namespace kesto {

// Turns the signals and console events into stop requests.  Installing them
// again does no harm.
void installStopHandlers();

// A stop request as `signal` would make it (a service manager's stop).
void requestStop(int signal);

bool stopRequested();

// Set by every stop request; a run may clear it for its next drawing.
std::atomic<bool>& stopCancelFlag();

// What asked for the stop: "SIGINT", "SIGTERM", "SIGHUP", "Ctrl+C",
// "Ctrl+Break" or "the console window closing"; "" while none did.
std::string stopCause();

// The exit status of a command ended by the stop request: 128 plus the
// signal's number, as a shell reports a program that signal ended (Ctrl+C
// is SIGINT, Ctrl+Break SIGBREAK, a closing console SIGHUP).
int stopExitStatus();

} // namespace kesto
