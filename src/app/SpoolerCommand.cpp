// kesto-cli auto | AUTO | AUTO<seconds>: the spooler without a window.  The
// current directory is the program folder: Kesto.sys is read from it at
// start and written back at exit, and Kesto.wok locks it while a run works.

#include "app/Commands.h"
#include "app/StopSignals.h"
#include "delivery/Spooler.h"
#include "io/FileBytes.h"
#include "io/NativeText.h"
#include "io/SystemError.h"
#include "job/JobRun.h"
#include "job/JournalRecorder.h"
#include "job/StartMode.h"
#include "settings/JobSettings.h"
#include "settings/Vocabulary.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

namespace kesto {
namespace {

// How often a pause between polling runs looks at the stop request.
constexpr std::chrono::milliseconds kPauseSlice{50};

SpoolerOutput gOutput;

void statusLine(const std::string& line) {
    if (gOutput.status) return gOutput.status(line);
    writeText(stdout, line + "\n");
    std::fflush(stdout);
}

void failureLine(const std::string& line) {
    if (gOutput.failure) return gOutput.failure(line);
    writeText(stderr, line + "\n");
    std::fflush(stderr);
}

void printHelp() {
    writeText(stdout,
              "usage: kesto-cli auto|AUTO|AUTO<seconds>\n"
              "\n"
              "Runs the spooler without a window, in the current directory as the program\n"
              "folder: Kesto.sys there gives the settings (the OFI folder, the printer, ...)\n"
              "and is written back at exit.\n"
              "\n"
              "  auto, AUTO       one run over the OFI files of the OFI folder, then exit\n"
              "  AUTO<seconds>    a run, a pause of that many seconds (fractions allowed,\n"
              "                   at most 65.535), another run, ... until SIGINT, SIGTERM\n"
              "                   or SIGHUP;\n"
              "                   finished OFI files are deleted (OfiFEnd becomes 消去).\n"
              "                   AUTO0, AUTO with letters or a negative number: one run, then\n"
              "                   exit (still with OfiFEnd 消去).\n"
              "\n"
              "File selection is always automatic (OfiFMen becomes 自動).  The folder is\n"
              "looked at twice, 2 seconds apart; a file whose size or time changed in between\n"
              "is still being written and is left for the next run.  Each drawing\n"
              "gives a status line on stdout: its title and 　出図中, then 　出図終了,\n"
              "　出図中止, 　データ異常 (damaged drawing, OFI file kept) or 　出図失敗 (not\n"
              "delivered: the GLF and OFI files are kept, the reason goes to stderr).\n"
              "SIGINT, SIGTERM or SIGHUP (on Windows Ctrl+C, Ctrl+Break or closing the\n"
              "console window) stops the drawing in progress (its OFI file is kept; a\n"
              "delivery under way is withdrawn), saves the settings and exits.\n"
              "Kesto.sys is written back only when nobody changed it while the spooler ran.\n"
              "\n"
              "Exit status: 0 every drawing finished, 1 a drawing was damaged or not\n"
              "delivered, a run could not start, or Kesto.sys could not be written,\n"
              "2 usage error.\n");
}

// The host of a run without a window: the settings record stands for the
// window's fields, status lines go to stdout, reasons to stderr.
class HeadlessHost : public JobHost {
public:
    HeadlessHost(JobSettings& settings, unsigned interval)
        : settings_(settings), interval_(interval) {}

    void appendStatus(const std::string& line) override { print(line); }
    void replaceLastStatus(const std::string& line) override { print(line); }
    void explainLastStatus(const std::string& reason) override {
        failureLine("kesto-cli: " + reason);
    }
    void letEventsRun() override {
        // A stop that came in before the run cleared its flag still counts.
        if (stopRequested()) stopCancelFlag().store(true);
    }
    std::atomic<bool>& cancelFlag() override { return stopCancelFlag(); }
    std::optional<ManualChoice> chooseFiles(const std::string&) override { return std::nullopt; }
    std::string folderField() override { return settings_.OfiFile; }
    void setFolderField(const std::string& folder) override { settings_.OfiFile = folder; }
    std::string printerField() override { return settings_.Hprn; }
    void setPrinterField(const std::string& printer) override { settings_.Hprn = printer; }
    FieldTexts fieldTexts() override {
        FieldTexts fields;
        for (std::string_view key : settingKeys())
            if (auto text = settingText(settings_, key)) fields.emplace(std::string(key), *text);
        return fields;
    }
    unsigned pollingInterval() override { return interval_; }
    void runStarted() override {}
    void runFinished(bool) override {}

private:
    static void print(const std::string& line) { statusLine(line); }

    JobSettings& settings_;
    unsigned interval_;
};

// What Kesto.sys holds on the disk now: its bytes, or nothing when there is
// no file (or it cannot be read as one).
struct SettingsOnDisk {
    bool present = false;
    std::string bytes;
    bool operator==(const SettingsOnDisk&) const = default;
};

SettingsOnDisk settingsOnDisk(const std::filesystem::path& file) {
    FileBytes read;
    if (!read.read(file)) return {};
    return {true, std::string(reinterpret_cast<const char*>(read.data()), read.size())};
}

// Sleeps `interval` unless a stop comes first.
void pause(std::chrono::milliseconds interval) {
    const auto until = std::chrono::steady_clock::now() + interval;
    while (!stopRequested()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) return;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(until - now, kPauseSlice));
    }
}

} // namespace

void setSpoolerOutput(SpoolerOutput output) {
    gOutput = std::move(output);
}

void requestSpoolerStop() {
    requestStop(SIGTERM);
}

int runSpoolerCommand(const char* mode, int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printHelp();
            return kExitDone;
        }
        writeText(stderr,
                  std::string("kesto-cli ") + mode + ": unexpected argument '" + argv[i] + "'\n");
        std::fprintf(stderr, "Try 'kesto-cli %s --help'.\n", mode);
        return kExitUsage;
    }
    // "auto" and "AUTO" run once; "AUTO" with anything after it polls.
    const StartArguments start = startArgumentsFor(mode);
    if (start.mode == StartMode::Interactive) {
        std::fprintf(stderr, "kesto-cli: '%s' is not a spooler mode\n", mode);
        return kExitUsage;
    }
    const bool polling = start.mode == StartMode::Polling;
    const unsigned interval = start.interval;

    std::error_code ec;
    const std::filesystem::path programFolder = std::filesystem::current_path(ec);
    if (ec) {
        failureLine("kesto-cli: no current directory: " + errorCodeText(ec));
        return kExitTrouble;
    }
    // What was read, so that an edit made while the spooler runs is not
    // overwritten at exit.
    const std::filesystem::path settingsFile = programFolder / kSettingsFileName;
    SettingsOnDisk atStart = settingsOnDisk(settingsFile);
    int tries = 3;
    JobSettings settings = LoadSettings(programFolder);
    for (SettingsOnDisk again = settingsOnDisk(settingsFile); !(again == atStart) && tries-- > 0;
         again = settingsOnDisk(settingsFile)) {
        // Rewritten between the two reads: read what is there now.
        atStart = std::move(again);
        settings = LoadSettings(programFolder);
    }
    settings.OfiFMen = words::kAutomatic;
    if (polling) settings.OfiFEnd = words::kDelete;

    installStopHandlers();
    std::unique_ptr<Spooler> spooler = makeSystemSpooler();
    HeadlessHost host(settings, interval);
    JobRunOptions options;
    options.programFolder = programFolder;
    // The journal and the archive: a problem with them is one line, never a lost plot.
    JournalRecorder recorder(programFolder, mode, [&host](const std::string& line) {
        host.appendStatus(line);
        host.explainLastStatus(line);
    });
    options.recorder = &recorder;

    bool allGood = true;
    while (!stopRequested()) {
        const RunSummary summary = MinP(host, *spooler, options);
        allGood = allGood && summary.allGood();
        if (interval == 0 || stopRequested()) break;
        // The pause runs from the end of one run to the start of the next.
        pause(std::chrono::milliseconds(interval));
    }

    if (!(settingsOnDisk(settingsFile) == atStart)) {
        failureLine("kesto-cli: " + std::string(kSettingsFileName) +
                    " was changed while the spooler ran; it is left as it is and this run's "
                    "settings are not saved");
        return allGood ? kExitDone : kExitTrouble;
    }
    std::vector<std::string> kept;
    if (Status saved = SaveSettings(programFolder, settings, &kept); !saved) {
        failureLine("kesto-cli: " + std::string(kSettingsFileName) +
                    " not written: " + saved.reason());
        return kExitTrouble;
    }
    for (const std::string& line : kept)
        failureLine("kesto-cli: " + std::string(kSettingsFileName) + ": " + line);
    return allGood ? kExitDone : kExitTrouble;
}

} // namespace kesto
