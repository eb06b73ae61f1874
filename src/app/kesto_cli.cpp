// kesto-cli: converts OFI drawings without a window, and runs the spooler
// headless.

#include "app/Commands.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

void printUsage(std::FILE* to) {
    std::fputs("usage: kesto-cli convert [--set KEY=VALUE]... [--settings PATH] [--out-dir DIR] "
               "FILE...\n"
               "       kesto-cli auto|AUTO|AUTO<seconds>\n"
               "       kesto-cli --help\n"
               "Run 'kesto-cli convert --help' for the converter's options"
               " and 'kesto-cli AUTO --help'\nfor the headless spooler's.\n",
               to);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage(stderr);
        return 2;
    }
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        printUsage(stdout);
        return 0;
    }
    if (command == "convert") return kesto::runConvertCommand(argc - 2, argv + 2);
    if (command == "auto" || command.substr(0, 4) == "AUTO") {
        return kesto::runSpoolerCommand(argv[1], argc - 2, argv + 2);
    }
    std::fprintf(stderr, "kesto-cli: unknown command '%s'\n", argv[1]);
    printUsage(stderr);
    return 2;
}
