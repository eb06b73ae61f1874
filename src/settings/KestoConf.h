#pragma once
// Kesto.conf: the spooler's own options, beside Kesto.sys in the program
// folder, in UTF-8 (Kesto.sys keeps only what the window shows).  Lines are
// "key = value"; "#" starts a comment; a missing file or key takes its
// default:
//
//   archive = on              on | off: finished OFI files are kept in archive/
//   archive_days = 90         days an archived drawing is kept (0: no limit)
//   archive_max_mb = 2048     total size of the archive in MB (0: no limit)
//   failure_command =         a program run after each failed or damaged drawing,
//                             its arguments split at spaces ("..." keeps spaces)
//   failure_timeout = 30      seconds the failure command may take

#include "io/Status.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kesto {

inline constexpr const char* kConfFileName = "Kesto.conf";

struct KestoConf {
    bool archive = true;
    int archiveDays = 90;
    std::uint64_t archiveMaxBytes = std::uint64_t{2048} << 20;
    std::vector<std::string> failureCommand; // empty: none
    int failureTimeoutSeconds = 30;
};

// Reads the text of Kesto.conf.  Lines that cannot be used are skipped, each
// with a note in *problems ("Kesto.conf 3行目: ...").
KestoConf parseKestoConf(std::string_view text, std::vector<std::string>* problems);

// Reads Kesto.conf in `programFolder`; no file gives the defaults.
KestoConf loadKestoConf(const std::filesystem::path& programFolder,
                        std::vector<std::string>* problems);

// A command line split into its program and arguments, without a shell:
// words are separated by spaces, "..." holds spaces.
std::vector<std::string> splitCommandLine(std::string_view line);

} // namespace kesto
