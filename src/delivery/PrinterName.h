#pragma once
// How a printer name says where a GLF file goes.

#include <optional>
#include <string>

namespace kesto {

// The plotter's raw port when a socket:// name gives none.
inline constexpr int kAppSocketDefaultPort = 9100;
// The print server's port when a queue@host name gives none.
inline constexpr int kPrintServerDefaultPort = 631;

struct PrinterTarget {
    enum class Kind {
        LocalQueue,  // "queue": the local spooler
        RemoteQueue, // "queue@host[:port]": a queue on another print server
        Socket,      // "socket://host[:port]": the plotter itself
    };
    Kind kind = Kind::LocalQueue;
    std::string queue; // LocalQueue, RemoteQueue
    std::string host;  // RemoteQueue, Socket (without brackets for IPv6)
    int port = 0;      // RemoteQueue, Socket
};

// Splits a printer name; nothing when it is empty or malformed (a socket:// or
// queue@host name with no host, a port that is not 1..65535).
std::optional<PrinterTarget> parsePrinterName(const std::string& name);

} // namespace kesto
