#pragma once
// Raw delivery straight to a network plotter's AppSocket port, no spooler between.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

#include "delivery/Spooler.h"

namespace kesto {

struct SocketTimeouts {
    // How long the plotter may take to accept the connection.
    std::chrono::milliseconds connect{10'000};
    // How long the plotter may take no data at all (a pen plotter drawing a dense
    // area reads nothing until its buffer drains).
    std::chrono::milliseconds stall{300'000};
    // How long to wait, after the last byte, for the plotter to close its side.
    std::chrono::milliseconds drain{10'000};
};

// Sends the file's bytes over one TCP connection to host:port.  Delivered when
// every byte was written and the plotter neither reset the connection nor
// failed to take the data in time.  A raised `cancel` ends every wait within
// kCancelSlice: the connection is reset (the plotter drops the partial job)
// and the result is a failure that says the delivery was stopped.
Status sendOverSocket(const std::filesystem::path& glfFile, const std::string& host, int port,
                      const SocketTimeouts& timeouts = {},
                      const std::atomic<bool>* cancel = nullptr);

} // namespace kesto
