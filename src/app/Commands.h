#pragma once
// The commands of kesto-cli.  Each takes the arguments after its name.

namespace kesto {

int runConvertCommand(int argc, char** argv);
// "auto", "AUTO" and "AUTO<seconds>": the headless spooler.
int runSpoolerCommand(const char* mode, int argc, char** argv);

} // namespace kesto
