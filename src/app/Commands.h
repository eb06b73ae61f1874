#pragma once
// The commands of kesto-cli.  Each takes the arguments after its name.

namespace kesto {

int runConvertCommand(int argc, char** argv);
#ifdef KESTO_HAVE_SPOOLER_COMMAND
// "auto", "AUTO" and "AUTO<seconds>": the headless spooler.
int runSpoolerCommand(const char* mode, int argc, char** argv);
#endif

} // namespace kesto
