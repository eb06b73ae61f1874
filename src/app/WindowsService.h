#pragma once
// The headless spooler as a native Windows service: installed and removed
// through the service control manager, started by it, stopped by it.

#include <string>

namespace kesto {

struct ServiceOptions {
    std::string name = "kesto";  // the service's name for sc, net and the event log
    std::string folder;          // the program folder (Kesto.sys), UTF-8
    std::string interval = "30"; // seconds between polling runs, as given
};

// The file the service writes what it does to, in the program folder.
inline constexpr const char* kServiceLogName = "kesto-service.log";

#ifdef _WIN32
int installService(const ServiceOptions& options);
int uninstallService(const std::string& name);
// Hands the process to the service control manager, which calls the
// service's main; returns when the service has stopped.
int runService(const ServiceOptions& options);
#endif

} // namespace kesto
