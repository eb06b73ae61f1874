// kesto-cli convert: converts OFI files into GLF files as one run, never
// deleting or sending anything.

#include "app/CliFiles.h"
#include "app/Commands.h"
#include "app/StopSignals.h"
#include "convert/ConvertFile.h"
#include "io/NativeText.h"
#include "io/SystemError.h"
#include "job/Snapshot.h"
#include "ofi/OfiTitle.h"
#include "settings/JobSettings.h"
#include "settings/Vocabulary.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kesto {
namespace {

namespace fs = std::filesystem;

void printHelp() {
    writeText(
        stdout,
        "usage: kesto-cli convert [--set KEY=VALUE]... [--settings PATH] [--out-dir DIR] FILE...\n"
        "\n"
        "Converts OFI plot files into HP-GL GLF files, in the order given and as one run\n"
        "(pen, text and page state carry over from one drawing to the next, as in the\n"
        "spooler).  Nothing is deleted or sent to a plotter.\n"
        "\n"
        "  --settings PATH   read the settings from this Kesto.sys instead of the defaults\n"
        "  --set KEY=VALUE   override one setting with the text its window field would hold,\n"
        "                    e.g. --set OfiS=A3 --set Plot=A1ﾌﾟﾛｯﾀ --set MojiW=0.17 --set LineL=4\n"
        "  --out-dir DIR     write the GLF files into DIR (default: beside each OFI file)\n"
        "\n"
        "Each GLF file is named after its OFI file up to the first \".\" plus \".GLF\".\n"
        "One line per drawing: its title and 　出図終了, or 　データ異常 for a damaged drawing\n"
        "(its GLF file is then removed).  A drawing whose GLF file would replace the drawing\n"
        "itself, or a GLF file written earlier in the same run (PLAN.V1.OFI and PLAN.V2.OFI\n"
        "both give PLAN.GLF), is not converted.\n"
        "\n"
        "Exit status: 0 every drawing finished, 1 a drawing was damaged or the run was\n"
        "interrupted, 2 usage error or a file that could not be read or written.\n");
}

int usageError(const std::string& message) {
    writeText(stderr, "kesto-cli convert: " + message + "\n");
    std::fputs("Try 'kesto-cli convert --help'.\n", stderr);
    return kExitUsage;
}

} // namespace

int runConvertCommand(int argc, char** argv) {
    std::vector<std::pair<std::string, std::string>> overrides;
    std::string settingsPath;
    std::string outDir;
    std::vector<std::string> files;
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](std::string_view option) -> const char* {
            if (arg.size() > option.size() && arg.substr(0, option.size()) == option &&
                arg[option.size()] == '=') {
                return argv[i] + option.size() + 1;
            }
            if (arg == option && i + 1 < argc) return argv[++i];
            return nullptr;
        };
        if (arg == "--help" || arg == "-h") {
            printHelp();
            return kExitDone;
        }
        if (arg == "--") {
            for (++i; i < argc; ++i)
                files.emplace_back(argv[i]);
            break;
        }
        auto is = [&](std::string_view option) {
            return arg == option || (arg.size() > option.size() &&
                                     arg.substr(0, option.size() + 1) == std::string(option) + "=");
        };
        if (is("--set")) {
            const char* kv = value("--set");
            if (!kv) return usageError("--set needs KEY=VALUE");
            const std::string_view text = kv;
            const std::size_t eq = text.find('=');
            if (eq == std::string_view::npos || eq == 0) return usageError("--set needs KEY=VALUE");
            overrides.emplace_back(std::string(text.substr(0, eq)),
                                   std::string(text.substr(eq + 1)));
        } else if (is("--settings")) {
            const char* v = value("--settings");
            if (!v) return usageError("--settings needs a path");
            settingsPath = v;
        } else if (is("--out-dir")) {
            const char* v = value("--out-dir");
            if (!v) return usageError("--out-dir needs a folder");
            outDir = v;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option '" + std::string(arg) + "'");
        } else {
            files.emplace_back(arg);
        }
    }
    if (files.empty()) return usageError("no OFI file given");

    std::error_code ec;
    const fs::path programFolder = fs::current_path(ec);
    JobSettings settings = defaultSettings(programFolder);
    if (!settingsPath.empty()) {
        if (!fs::is_regular_file(pathFromUtf8(settingsPath), ec)) {
            return usageError("cannot read settings file '" + settingsPath + "'");
        }
        settings = LoadSettingsFile(pathFromUtf8(settingsPath), programFolder);
    }
    for (const auto& [key, text] : overrides) {
        if (Status set = setSettingByKey(settings, key, text); !set)
            return usageError(set.reason());
    }
    if (!outDir.empty()) {
        if (const std::string wrong = notAFolder(pathFromUtf8(outDir)); !wrong.empty())
            return usageError("output folder '" + outDir + "' " + wrong);
    }

    installStopHandlers();
    ConversionControl control;
    control.cancel = &stopCancelFlag();

    ConversionRun run(conversionSettingsFrom(settings), &control);
    int status = kExitDone;
    for (const std::string& file : files) {
        if (stopRequested()) break;
        const fs::path ofi = pathFromUtf8(file);
        // A regular file first: a FIFO or a device would keep the title read
        // waiting for ever.
        if (const std::string wrong = notARegularFile(ofi); !wrong.empty()) {
            writeText(stderr, "kesto-cli convert: cannot read '" + file + "': " + wrong + "\n");
            status = kExitUsage;
            continue;
        }
        const std::optional<std::string> title = readTitleLine(ofi);
        if (!title) {
            writeText(stderr, "kesto-cli convert: cannot read '" + file + "'\n");
            status = kExitUsage;
            continue;
        }
        const fs::path folder = outDir.empty() ? ofi.parent_path() : pathFromUtf8(outDir);
        const fs::path glf = glfPathFor(folder, utf8FromPath(ofi.filename()));
        const FileResult result = run.toFile(ofi, glf, Durability::Replace);
        switch (result.outcome) {
        case FileOutcome::Finished:
            writeText(stdout, *title + std::string(status::kFinished) + "\n");
            break;
        case FileOutcome::Damaged:
            writeText(stdout, *title + std::string(status::kDamaged) + "\n");
            writeText(stderr, "kesto-cli convert: " + file + ": " + result.message + "\n");
            if (status == kExitDone) status = kExitTrouble;
            break;
        case FileOutcome::Cancelled:
            writeText(stdout, *title + std::string(status::kStopped) + "\n");
            if (status == kExitDone) status = kExitTrouble;
            break;
        case FileOutcome::Refused:
            // Never over the drawing itself, nor over a GLF file written
            // earlier in this run from another drawing of the same base name.
            writeText(stderr,
                      "kesto-cli convert: " + file + ": not converted: " + result.message + "\n");
            status = kExitUsage;
            break;
        case FileOutcome::Failed:
            writeText(stderr, "kesto-cli convert: " + result.message + "\n");
            status = kExitUsage;
            break;
        }
        std::fflush(stdout);
    }
    return status;
}

} // namespace kesto
