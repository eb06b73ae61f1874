#pragma once
// The commands of kesto-cli.  Each takes the arguments after its name.

namespace kesto {

int runConvertCommand(int argc, char** argv);
// "auto", "AUTO" and "AUTO<seconds>": the headless spooler.
int runSpoolerCommand(const char* mode, int argc, char** argv);
#ifdef KESTO_HAVE_RENDER_COMMAND
// "render": GLF or OFI files as PNG, SVG or PDF pictures.
int runRenderCommand(int argc, char** argv);
#endif

} // namespace kesto
