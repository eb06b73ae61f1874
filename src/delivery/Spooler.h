#pragma once
// Delivery of a finished GLF file to a plotter: one raw print job holding the
// file's bytes, unchanged, in one document named "Test".

#include "io/Status.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace kesto {

// How long delivery waits for the other side before it gives up.  Every wait
// is also cut short by the cancel flag, which is looked at in slices of at
// most kCancelSlice.
struct DeliveryTimeouts {
    // A print server or a plotter to accept the connection.
    std::chrono::milliseconds connect{10'000};
    // A print server to answer a request or to take more of the document.
    std::chrono::milliseconds answer{60'000};
    // A socket plotter to take more data (a pen plotter drawing a dense area
    // reads nothing until its buffer drains).
    std::chrono::milliseconds stall{300'000};
    // A socket plotter to close its side after the last byte.
    std::chrono::milliseconds drain{10'000};
    // The default printer and the list of printers: a question, not a job.
    std::chrono::milliseconds lookup{5'000};
};

// The longest time between two looks at the cancel flag during a wait.
inline constexpr std::chrono::milliseconds kCancelSlice{250};

class Spooler {
public:
    virtual ~Spooler() = default;
    // Sends the file as one raw job; fine once the whole document was
    // accepted by the spooler (or the plotter), else the reason.  Printer names:
    //   "queue"                  a queue of the local spooler
    //   "queue@host"             a queue on another print server
    //   "socket://host[:port]"   straight to a network plotter (AppSocket, 9100)
    // When the cancel flag is raised during the send, the job is withdrawn
    // (cancelled at the server) and the result is a failure that says so.
    // `jobId`, when given, receives the number the spooler gave the job (0
    // where it gives none: straight to a socket plotter, or no job made).
    virtual Status sendFile(const std::filesystem::path& glfFile, const std::string& printerName,
                            int* jobId = nullptr) = 0;
    // The system's default printer, "" when there is none (or the look-up
    // timed out or was cancelled).
    virtual std::string defaultPrinter() = 0;
    // The installed queues, by name.
    virtual std::vector<std::string> printers() = 0;

    // The flag that cuts every wait short (the run's stop button); nullptr
    // for none.  It must outlive its use.
    void watchCancel(const std::atomic<bool>* cancel) { cancel_ = cancel; }
    bool cancelRequested() const { return cancel_ && cancel_->load(); }

protected:
    const std::atomic<bool>* watchedCancel() const { return cancel_; }

private:
    const std::atomic<bool>* cancel_ = nullptr;
};

// Watches a cancel flag for the length of a scope.
class SpoolerCancelScope {
public:
    SpoolerCancelScope(Spooler& spooler, const std::atomic<bool>* cancel) : spooler_(spooler) {
        spooler_.watchCancel(cancel);
    }
    ~SpoolerCancelScope() { spooler_.watchCancel(nullptr); }
    SpoolerCancelScope(const SpoolerCancelScope&) = delete;
    SpoolerCancelScope& operator=(const SpoolerCancelScope&) = delete;

private:
    Spooler& spooler_;
};

// libcups on Linux and macOS, the Windows spooler on Windows.
std::unique_ptr<Spooler> makeSystemSpooler(const DeliveryTimeouts& timeouts = {});

} // namespace kesto
