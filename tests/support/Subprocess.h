#pragma once
// Runs a helper program from its argument list (never through a shell).

#include <chrono>
#include <string>
#include <vector>

namespace kesto::test {

struct ProgramResult {
    bool started = false; // the program could be executed
    int exitCode = -1;    // its exit status; -1 when it was killed or timed out
    std::string output;   // what it wrote to stdout and stderr, interleaved
};

// Runs argv[0] (looked up in PATH) with the given arguments and waits at most
// `timeout` for it to end; a program that overruns is killed.
ProgramResult runProgram(const std::vector<std::string>& argv,
                         std::chrono::milliseconds timeout = std::chrono::seconds(30));

// The full path of a program in PATH or in the usual system folders, "" if none.
std::string findProgram(const std::string& name);

} // namespace kesto::test
