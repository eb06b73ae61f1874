#pragma once
// The commands of kesto-cli.  Each takes the arguments after its name.

#include <functional>
#include <string>

namespace kesto {

// Exit status of every command: all done; a drawing damaged, not delivered or
// a run that could not start; a usage error or a file that could not be used.
constexpr int kExitDone = 0;
constexpr int kExitTrouble = 1;
constexpr int kExitUsage = 2;

int runConvertCommand(int argc, char** argv);
// "auto", "AUTO" and "AUTO<seconds>": the headless spooler.
int runSpoolerCommand(const char* mode, int argc, char** argv);
// What SIGTERM does to the headless spooler: the drawing in progress stops
// (a delivery under way is withdrawn), the settings are saved, it returns.
void requestSpoolerStop();
// Where the headless spooler's status lines and failure reasons go instead of
// stdout and stderr (a service has neither); lines come without their end.
struct SpoolerOutput {
    std::function<void(const std::string&)> status;
    std::function<void(const std::string&)> failure;
};
void setSpoolerOutput(SpoolerOutput output);
// "service": installs, removes or runs the headless spooler as a Windows
// service (elsewhere it says where the system's service manager comes in).
int runServiceCommand(int argc, char** argv);
// "history": the journal as a table, JSON or CSV.
int runHistoryCommand(int argc, char** argv);
// "reprint": journalled drawings plotted again.
int runReprintCommand(int argc, char** argv);
#ifdef KESTO_HAVE_RENDER_COMMAND
// "render": GLF or OFI files as PNG, SVG or PDF pictures.
int runRenderCommand(int argc, char** argv);
#endif

} // namespace kesto
