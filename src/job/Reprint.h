#pragma once
// A drawing of the journal plotted again: its OFI file (the archived copy,
// or the original where it is still the same) converted again with the
// settings recorded for it, the result checked byte for byte against the
// recorded GLF file, then delivered like a run: to a printer or into a
// folder.  The reprint is a job of the journal of its own that names the
// original.

#include "delivery/Spooler.h"
#include "io/Status.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace kesto {

struct ReprintTarget {
    std::string printer;          // a printer name; empty: the recorded printer
    std::filesystem::path outDir; // non-empty: the GLF file goes here instead
};

struct ReprintResult {
    Status status;
    std::int64_t newId = 0; // the reprint's own job (0 when it was not journalled)
    std::string title;
    std::filesystem::path glf; // where the GLF file went (output to a folder)
};

// Reprints job `id` of the journal in `programFolder`.  Holds the program
// folder's work lock meanwhile, as a run does.  `report` takes the journal's
// own problems (never a reason to fail).
ReprintResult reprintJob(const std::filesystem::path& programFolder, std::int64_t id,
                         const ReprintTarget& target, Spooler& spooler,
                         const std::function<void(const std::string&)>& report);

} // namespace kesto
