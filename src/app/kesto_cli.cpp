// kesto-cli: converts OFI drawings without a window, and runs the spooler
// headless.

#include "app/Commands.h"
#include "io/NativeText.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

void printUsage(std::FILE* to) {
    std::fputs(
        "usage: kesto-cli convert [--set KEY=VALUE]... [--settings PATH] [--out-dir DIR] "
        "FILE...\n"
        "       kesto-cli auto|AUTO|AUTO<seconds>\n"
        "       kesto-cli render [--format png|svg|pdf] [--dpi N] [--out-dir DIR] FILE...\n"
        "       kesto-cli history [--since DATE] [--until DATE] [--outcome WORD] [--title TEXT]\n"
        "                         [--limit N] [--json | --csv]\n"
        "       kesto-cli reprint ID... [--printer NAME | --out-dir DIR]\n"
        "       kesto-cli service install --folder DIR [--interval SECONDS] [--name NAME]\n"
        "       kesto-cli service uninstall [--name NAME]\n"
        "       kesto-cli --help | --version\n"
        "Run 'kesto-cli convert --help' for the converter's options"
        ", 'kesto-cli AUTO --help'\nfor the headless spooler's and 'kesto-cli service --help'"
        " for the Windows service's.\n",
        to);
}

} // namespace

int main(int argc, char** rawArgv) {
    // UTF-8 from here on, whatever the system's code page.
    std::vector<std::string> arguments = kesto::utf8Arguments(argc, rawArgv);
    std::vector<char*> pointers;
    for (std::string& a : arguments)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);
    char** argv = pointers.data();
    if (argc < 2) {
        printUsage(stderr);
        return 2;
    }
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        printUsage(stdout);
        return 0;
    }
    if (command == "--version" || command == "-V") {
        std::fputs("kesto-cli " KESTO_VERSION "\n", stdout);
        return 0;
    }
    if (command == "convert") return kesto::runConvertCommand(argc - 2, argv + 2);
    if (command == "history") return kesto::runHistoryCommand(argc - 2, argv + 2);
    if (command == "reprint") return kesto::runReprintCommand(argc - 2, argv + 2);
    if (command == "render") {
#ifdef KESTO_HAVE_RENDER_COMMAND
        return kesto::runRenderCommand(argc - 2, argv + 2);
#else
        std::fputs("kesto-cli: render is not available in this build (built without Qt 6 Gui)\n",
                   stderr);
        return 2;
#endif
    }
    if (command == "service") return kesto::runServiceCommand(argc - 2, argv + 2);
    if (command == "auto" || command.substr(0, 4) == "AUTO") {
        return kesto::runSpoolerCommand(argv[1], argc - 2, argv + 2);
    }
    kesto::writeText(stderr, std::string("kesto-cli: unknown command '") + argv[1] + "'\n");
    printUsage(stderr);
    return 2;
}
