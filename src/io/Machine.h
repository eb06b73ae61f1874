#pragma once
// Who and where: the names the journal records with every drawing.

#include "io/Status.h"

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace kesto {

std::string hostName(); // "" when the system gives none
std::string userName(); // the login name; "" when unknown
long processId();

// The calling thread works in the background: when it wakes, it does not
// take the processor from a thread that is running (Linux: a batch thread;
// Windows: below normal priority).
void workInBackground();

// Runs `argv` (argv[0] the program, looked up in PATH; no shell) with
// `environment` added to ours, its input and output left to the
// caller's, and waits for it at most `timeout` (then it is killed).  Fine
// when it exited with status 0; else why not.
Status runProgram(const std::vector<std::string>& argv,
                  const std::vector<std::pair<std::string, std::string>>& environment,
                  std::chrono::milliseconds timeout);

} // namespace kesto
