#pragma once
// Delivery of a finished GLF file to a plotter: one raw print job holding the
// file's bytes, unchanged, in one document named "Test".

#include "io/Status.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace kesto {

class Spooler {
public:
    virtual ~Spooler() = default;
    // Sends the file as one raw job; fine once the whole document was
    // accepted by the spooler (or the plotter), else the reason.  Printer names:
    //   "queue"                  a queue of the local spooler
    //   "queue@host"             a queue on another print server
    //   "socket://host[:port]"   straight to a network plotter (AppSocket, 9100)
    virtual Status sendFile(const std::filesystem::path& glfFile,
                            const std::string& printerName) = 0;
    // The system's default printer, "" when there is none.
    virtual std::string defaultPrinter() = 0;
    // The installed queues, by name.
    virtual std::vector<std::string> printers() = 0;
};

// libcups on Linux and macOS, the Windows spooler on Windows.
std::unique_ptr<Spooler> makeSystemSpooler();

} // namespace kesto
