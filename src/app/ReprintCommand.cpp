// kesto-cli reprint: drawings of the journal plotted again, byte for byte as
// the first time.

#include "app/JournalArgs.h"
#include "delivery/Spooler.h"
#include "job/Reprint.h"

#include <filesystem>
#include <vector>

namespace kesto {
namespace {

void printHelp() {
    writeText(stdout,
              "usage: kesto-cli reprint ID... [--printer NAME | --out-dir DIR]\n"
              "\n"
              "Plots the jobs ID... of this program folder's journal (kesto-cli history shows\n"
              "their numbers) again: the OFI file kept in archive/ (or the original, while it\n"
              "is unchanged) is converted with the settings recorded for the job, and the\n"
              "GLF file must equal the first plot's byte for byte (SHA-256) before it goes out.\n"
              "\n"
              "  --printer NAME   send it to NAME (default: the printer of the first plot)\n"
              "  --out-dir DIR    write the GLF file into DIR instead of sending it\n"
              "\n"
              "Each reprint is a job of the journal of its own that names the original.\n"
              "Exit status: 0 every job reprinted, 1 one was refused or failed, 2 usage error.\n");
}

int usageError(const std::string& message) {
    return usageErrorOf("reprint", message);
}

} // namespace

int runReprintCommand(int argc, char** argv) {
    std::vector<std::int64_t> ids;
    ReprintTarget target;
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            printHelp();
            return kExitDone;
        } else if (arg == "--printer" && hasValue) {
            target.printer = argv[++i];
        } else if (arg == "--out-dir" && hasValue) {
            target.outDir = pathFromUtf8(argv[++i]);
        } else {
            std::int64_t id = 0;
            if (!wholeNumber(arg, id) || id <= 0)
                return usageError(std::string("unexpected argument '") + argv[i] + "'");
            ids.push_back(id);
        }
    }
    if (ids.empty()) return usageError("no job given");
    if (!target.printer.empty() && !target.outDir.empty())
        return usageError("--printer and --out-dir exclude each other");
    std::error_code ec;
    const std::filesystem::path programFolder = std::filesystem::current_path(ec);
    if (ec) {
        writeText(stderr, "kesto-cli reprint: no current directory: " + ec.message() + "\n");
        return kExitTrouble;
    }
    std::unique_ptr<Spooler> spooler = makeSystemSpooler();
    bool allGood = true;
    for (std::int64_t id : ids) {
        const ReprintResult r =
            reprintJob(programFolder, id, target, *spooler, [](const std::string& line) {
                writeText(stderr, "kesto-cli: " + line + "\n");
            });
        const std::string head = std::to_string(id) + " " + r.title;
        if (r.status) {
            writeText(stdout, head + "　再出図終了（履歴 " + std::to_string(r.newId) + "）\n");
        } else {
            writeText(stdout, head + "　再出図失敗\n");
            writeText(stderr, "kesto-cli: " + r.status.reason() + "\n");
            allGood = false;
        }
    }
    return allGood ? kExitDone : kExitTrouble;
}

} // namespace kesto
