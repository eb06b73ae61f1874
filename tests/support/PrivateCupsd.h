#pragma once
// A print server of the test's own: a cupsd with its configuration, spool and
// logs in a temporary folder, listening on 127.0.0.1 on a free port, so that
// tests can create and break queues without touching the machine's printers.

#include <filesystem>
#include <string>
#include <vector>

#include <sys/types.h>

#include "CaptureListener.h"
#include "Subprocess.h"

namespace kesto::test {

class PrivateCupsd {
public:
    PrivateCupsd() = default;
    ~PrivateCupsd();
    PrivateCupsd(const PrivateCupsd&) = delete;
    PrivateCupsd& operator=(const PrivateCupsd&) = delete;

    // Whether cupsd and lpadmin are installed at all.
    static bool installed();

    // Writes the configuration, starts `cupsd -f` and waits until it answers.
    // False with error() set (and the server's log attached) when it does not.
    bool start();
    // SIGTERM, wait, remove the temporary folder.  Idempotent.
    void stop();
    bool running() const { return pid_ > 0; }

    const std::string& error() const { return error_; }
    int port() const { return port_; }
    // "127.0.0.1:PORT", for CUPS_SERVER and the -h option of the CUPS tools.
    std::string server() const { return "127.0.0.1:" + std::to_string(port_); }
    const std::filesystem::path& root() const { return root_; }
    std::string errorLog() const;

    // Points libcups of this process at the server (CUPS_SERVER and
    // cupsSetServer), and keeps the user's default printer settings out.
    void useAsDefaultServer() const;

    // Runs a CUPS tool (lpadmin, cupsreject, lp, ...) against this server:
    // argv[0] is the tool, "-h server" is put after it.
    ProgramResult tool(std::vector<std::string> argv) const;
    // A raw queue whose device is `deviceUri`, enabled and accepting jobs.
    bool addRawQueue(const std::string& name, const std::string& deviceUri);

private:
    bool writeConfiguration();

    std::filesystem::path root_;
    int port_ = 0;
    pid_t pid_ = -1;
    std::string error_;
};

} // namespace kesto::test
