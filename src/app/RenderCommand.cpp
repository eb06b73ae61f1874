// kesto-cli render: draws GLF files (or OFI files, converted in memory) as
// pictures of their sheets.

#include "app/CliFiles.h"
#include "app/Commands.h"
#include "app/StopSignals.h"
#include "convert/ConvertFile.h"
#include "job/Snapshot.h"
#include "ofi/OfiName.h"
#include "render/Render.h"
#include "settings/JobSettings.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kesto {
namespace {

namespace fs = std::filesystem;

void printHelp() {
    std::fputs(
        "usage: kesto-cli render [--format png|svg|pdf] [--dpi N] [--out-dir DIR] [--no-frame]\n"
        "                        [--set KEY=VALUE]... [--settings PATH] FILE...\n"
        "\n"
        "Draws GLF files as the plotter would, as pictures of their sheets: PNG at N dots\n"
        "per inch (default 150), or SVG or PDF at the sheet's real size with the labels as\n"
        "text.  OFI files are converted in memory first, in the given order as one run,\n"
        "with the same settings options as 'convert'; only the pictures are written.\n"
        "\n"
        "  --format F        png (default), svg or pdf\n"
        "  --dpi N           resolution of a PNG, 1 to 2400\n"
        "  --out-dir DIR     write the pictures into DIR (default: beside each file)\n"
        "  --no-frame        leave out the sheet's outline and the clip window\n"
        "  --settings PATH   conversion settings from this Kesto.sys (OFI files)\n"
        "  --set KEY=VALUE   override one setting (OFI files)\n"
        "\n"
        "Each picture is named after its file up to the first \".\" plus .png, .svg or .pdf.\n"
        "\n"
        "SIGINT, SIGTERM or SIGHUP stops the drawing in progress within a second; its\n"
        "picture is not written (nor any part of it) and no further file is drawn.\n"
        "\n"
        "Exit status: 0 every picture written, 1 a picture written from a damaged or\n"
        "partly unreadable drawing, 2 usage error or a picture that could not be made,\n"
        "128 + the signal's number when stopped (130 SIGINT, 143 SIGTERM, 129 SIGHUP).\n",
        stdout);
}

// Qt's notes go to stderr, except the one about a missing runtime folder
// that every run without a desktop session gets (nothing here needs it).
void qtMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
    if (message.contains(QStringLiteral("XDG_RUNTIME_DIR"))) return;
    std::fprintf(stderr, "kesto-cli render: %s\n", message.toLocal8Bit().constData());
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "kesto-cli render: %s\n", message.c_str());
    std::fputs("Try 'kesto-cli render --help'.\n", stderr);
    return kExitUsage;
}

struct Options {
    render::PictureFormat format = render::PictureFormat::Png;
    std::string extension = ".png";
    render::RenderOptions picture;
    std::string outDir;
    std::string settingsPath;
    std::vector<std::pair<std::string, std::string>> overrides;
    std::vector<std::string> files;
};

// 0 when the arguments were read, else the exit status.
int parse(int argc, char** argv, Options& o, bool& help) {
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto is = [&](std::string_view option) {
            return arg == option || (arg.size() > option.size() &&
                                     arg.substr(0, option.size() + 1) == std::string(option) + "=");
        };
        auto value = [&](std::string_view option) -> const char* {
            if (arg.size() > option.size() && arg[option.size()] == '=') {
                return argv[i] + option.size() + 1;
            }
            if (i + 1 < argc) return argv[++i];
            return nullptr;
        };
        if (arg == "--help" || arg == "-h") {
            help = true;
            return 0;
        }
        if (arg == "--") {
            for (++i; i < argc; ++i)
                o.files.emplace_back(argv[i]);
            break;
        }
        if (is("--format")) {
            const char* v = value("--format");
            const std::string f = v ? v : "";
            if (f == "png") {
                o.format = render::PictureFormat::Png;
            } else if (f == "svg") {
                o.format = render::PictureFormat::Svg;
            } else if (f == "pdf") {
                o.format = render::PictureFormat::Pdf;
            } else {
                return usageError("--format takes png, svg or pdf");
            }
            o.extension = "." + f;
        } else if (is("--dpi")) {
            const char* v = value("--dpi");
            char* end = nullptr;
            const double dpi = v ? std::strtod(v, &end) : 0;
            if (!v || end == v || *end != '\0' || !(dpi >= 1 && dpi <= 2400)) {
                return usageError("--dpi takes a number from 1 to 2400");
            }
            o.picture.dpi = dpi;
        } else if (is("--out-dir")) {
            const char* v = value("--out-dir");
            if (!v) return usageError("--out-dir needs a folder");
            o.outDir = v;
        } else if (arg == "--no-frame") {
            o.picture.showFrame = false;
        } else if (is("--settings")) {
            const char* v = value("--settings");
            if (!v) return usageError("--settings needs a path");
            o.settingsPath = v;
        } else if (is("--set")) {
            const char* kv = value("--set");
            const std::string_view text = kv ? kv : "";
            const std::size_t eq = text.find('=');
            if (eq == std::string_view::npos || eq == 0) return usageError("--set needs KEY=VALUE");
            o.overrides.emplace_back(std::string(text.substr(0, eq)),
                                     std::string(text.substr(eq + 1)));
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option '" + std::string(arg) + "'");
        } else {
            o.files.emplace_back(arg);
        }
    }
    if (o.files.empty()) return usageError("no file given");
    return 0;
}

// A file that could not be drawn or its picture not written.
int fileFailed(const std::string& file, const std::string& why) {
    std::fprintf(stderr, "kesto-cli render: %s: %s\n", file.c_str(), why.c_str());
    return kExitUsage;
}

// The drawing in progress was given up at a stop request.
int stoppedDrawing(const std::string& file) {
    std::fprintf(stderr, "kesto-cli render: %s: stopped, no picture written\n", file.c_str());
    return kExitDone; // the stop's own status follows
}

// Draws one file into its picture; the exit status it calls for.
int renderFile(ConversionRun& run, const std::string& file, const Options& o) {
    const fs::path in(file);
    const std::string name = in.filename().string();
    const fs::path folder = o.outDir.empty() ? in.parent_path() : fs::path(o.outDir);
    const fs::path out = folder / (name.substr(0, name.find('.')) + o.extension);
    if (const std::string wrong = notARegularFile(in); !wrong.empty()) {
        std::fprintf(stderr, "kesto-cli render: cannot read '%s': %s\n", file.c_str(),
                     wrong.c_str());
        return kExitUsage;
    }
    int status = kExitDone;
    render::RenderResult result;
    if (isOfiFileName(name)) {
        const FileResult drawing = run.toMemory(in);
        if (drawing.outcome == FileOutcome::Cancelled) return stoppedDrawing(file);
        if (drawing.outcome == FileOutcome::Failed) return fileFailed(file, drawing.message);
        if (drawing.outcome == FileOutcome::Damaged) {
            std::fprintf(stderr,
                         "kesto-cli render: %s: damaged drawing, drawn as far as read: %s\n",
                         file.c_str(), drawing.message.c_str());
            status = kExitTrouble;
        }
        render::MemoryInput input(drawing.glf);
        result = render::renderToFile(input, out.string(), o.format, o.picture);
    } else {
        render::FileInput input;
        if (!input.open(file)) return fileFailed(file, input.error());
        result = render::renderToFile(input, out.string(), o.format, o.picture);
    }
    if (!result.status && stopRequested()) return stoppedDrawing(file);
    if (!result.status) return fileFailed(file, result.status.reason());
    const std::string problems = render::describeProblems(result.stats);
    if (!problems.empty()) {
        std::fprintf(stderr, "kesto-cli render: %s: %s\n", file.c_str(), problems.c_str());
        status = kExitTrouble;
    }
    std::printf("%s -> %s\n", file.c_str(), out.string().c_str());
    std::fflush(stdout);
    return status;
}

} // namespace

int runRenderCommand(int argc, char** argv) {
    Options o;
    bool help = false;
    if (const int status = parse(argc, argv, o, help)) return status;
    if (help) {
        printHelp();
        return kExitDone;
    }
    // SIGINT, SIGTERM and SIGHUP stop the drawing in progress; its picture
    // is not written.
    installStopHandlers();

    std::error_code ec;
    const fs::path programFolder = fs::current_path(ec);
    JobSettings settings = defaultSettings(programFolder);
    if (!o.settingsPath.empty()) {
        if (!fs::is_regular_file(o.settingsPath, ec)) {
            return usageError("cannot read settings file '" + o.settingsPath + "'");
        }
        settings = LoadSettingsFile(o.settingsPath, programFolder);
    }
    for (const auto& [key, text] : o.overrides) {
        if (Status set = setSettingByKey(settings, key, text); !set)
            return usageError(set.reason());
    }
    if (!o.outDir.empty()) {
        if (const std::string wrong = notAFolder(o.outDir); !wrong.empty())
            return usageError("output folder '" + o.outDir + "' " + wrong);
    }

    // Fonts and painters need a GUI application; no screen is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(qtMessage);
    static int qtArgc = 1;
    static char qtName[] = "kesto-cli";
    static char* qtArgv[] = {qtName, nullptr};
    QGuiApplication app(qtArgc, qtArgv);

    o.picture.cancel = &stopCancelFlag();
    ConversionControl control;
    control.cancel = &stopCancelFlag();
    ConversionRun run(conversionSettingsFrom(settings), &control);
    int status = kExitDone;
    for (const std::string& file : o.files) {
        if (stopRequested()) break;
        status = std::max(status, renderFile(run, file, o));
    }
    if (stopRequested()) {
        std::fprintf(stderr, "kesto-cli render: stopped by %s\n", stopCause().c_str());
        return stopExitStatus();
    }
    return status;
}

} // namespace kesto
