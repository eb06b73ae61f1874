// kesto-cli service install | uninstall | run: the headless spooler as a
// Windows service.  The options are read here on every system; the service
// itself exists only in the Windows build.

#include "app/Commands.h"
#include "app/WindowsService.h"
#include "io/NativeText.h"
#include "job/StartMode.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace kesto {
namespace {

void printServiceHelp() {
    writeText(stdout,
              "usage: kesto-cli service install --folder DIR [--interval SECONDS] [--name NAME]\n"
              "       kesto-cli service uninstall [--name NAME]\n"
              "\n"
              "Windows only.  install registers the headless spooler as a Windows service\n"
              "NAME (default kesto) that starts with the system, runs as LocalSystem and\n"
              "polls with the program folder DIR (which holds Kesto.sys) every SECONDS\n"
              "seconds (default 30, fractions allowed, at most 65.535), as\n"
              "'kesto-cli AUTO<SECONDS>' does there.  DIR may be a UNC path\n"
              "(\\\\server\\share\\...); a mapped drive letter is refused, services do not see\n"
              "it.  Start and stop the service with 'net start NAME' and 'net stop NAME': a\n"
              "stop ends the drawing in progress within 2 seconds (a delivery under way is\n"
              "withdrawn and its files kept) and saves the settings.  What the service does\n"
              "goes to kesto-service.log in DIR (kept below 1 MB, with two older files\n"
              "kesto-service.log.1 and .2); failures go to the Windows event log as well\n"
              "(source NAME).  uninstall stops the service and removes it.\n"
              "\n"
              "  --folder DIR        the program folder (must exist)\n"
              "  --interval SECONDS  the pause between two polling runs\n"
              "  --name NAME         the service's name\n"
              "\n"
              "Exit status: 0 done, 1 the service control manager refused (the reason on\n"
              "stderr; installing needs an administrator), 2 usage error.\n"
              "On Linux the Debian package's systemd unit kesto@NAME.service runs the spooler.\n");
}

int usageError(const std::string& message) {
    writeText(stderr, "kesto-cli service: " + message + "\n");
    std::fputs("Try 'kesto-cli service --help'.\n", stderr);
    return kExitUsage;
}

// Digits with at most one decimal point, giving a polling interval above 0.
bool validInterval(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos ||
        text.find('.') != text.rfind('.'))
        return false;
    const StartArguments start = startArgumentsFor("AUTO" + text);
    return start.mode == StartMode::Polling && start.interval > 0;
}

bool validName(const std::string& name) {
    return !name.empty() && name.size() <= 80 && name.find_first_of("/\\\" ") == std::string::npos;
}

struct ServiceRequest {
    std::string action;
    ServiceOptions options;
    bool folderGiven = false;
    bool intervalGiven = false;
};

// The options after the action; an empty text when they are all right.
std::string readOptions(int argc, char** argv, ServiceRequest& request) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (i + 1 >= argc) return "option '" + std::string(option) + "' needs a value";
        const std::string value = argv[++i];
        if (option == "--folder") {
            request.options.folder = value;
            request.folderGiven = true;
        } else if (option == "--interval") {
            request.options.interval = value;
            request.intervalGiven = true;
        } else if (option == "--name") {
            request.options.name = value;
        } else {
            return "unknown option '" + std::string(option) + "'";
        }
    }
    if (!validName(request.options.name))
        return "'" + request.options.name +
               "' cannot name a service (1 to 80 characters, no "
               "spaces, quotes or slashes)";
    if (!validInterval(request.options.interval))
        return "'" + request.options.interval +
               "' is not an interval in seconds above 0 (for example 30 or 0.5)";
    if (request.action == "uninstall" && (request.folderGiven || request.intervalGiven))
        return "uninstall takes only --name";
    if (request.action != "uninstall" && request.options.folder.empty())
        return request.action + " needs --folder DIR";
    return {};
}

} // namespace

int runServiceCommand(int argc, char** argv) {
    if (argc < 1) return usageError("install or uninstall?");
    ServiceRequest request;
    request.action = argv[0];
    if (request.action == "--help" || request.action == "-h") {
        printServiceHelp();
        return kExitDone;
    }
    // "run" is what the service control manager starts, never typed by hand.
    if (request.action != "install" && request.action != "uninstall" && request.action != "run")
        return usageError("unknown action '" + request.action + "'");
    if (const std::string problem = readOptions(argc, argv, request); !problem.empty())
        return usageError(problem);
#ifdef KESTO_HAVE_WINDOWS_SERVICE
    if (request.action == "install") return installService(request.options);
    if (request.action == "uninstall") return uninstallService(request.options.name);
    return runService(request.options);
#else
    writeText(stderr, "kesto-cli service: Windows services exist only in the Windows build; "
                      "here the Debian package's systemd unit kesto@NAME.service runs the "
                      "spooler\n");
    return kExitUsage;
#endif
}

} // namespace kesto
