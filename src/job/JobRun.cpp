#include "job/JobRun.h"

#include "convert/ConversionState.h"
#include "convert/ConvertFile.h"
#include "io/AtomicFile.h"
#include "job/OfiScan.h"
#include "job/Snapshot.h"
#include "job/WorkLock.h"
#include "ofi/OfiTitle.h"

#include <array>
#include <exception>
#include <optional>
#include <system_error>
#include <utility>

namespace kesto {
namespace {

std::filesystem::path folderPath(const std::string& folder, const std::filesystem::path& base) {
    std::filesystem::path path(folder);
    if (folder.empty()) return base;
    return path.is_absolute() ? path : base / path;
}

// Ends the run on the host whatever way MinP leaves: the create button comes
// back, with "終了" when the host is not polling.
class RunScope {
public:
    explicit RunScope(JobHost& host) : host_(host) { host_.runStarted(); }
    ~RunScope() { host_.runFinished(host_.pollingInterval() == 0); }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

private:
    JobHost& host_;
};

class Run {
public:
    Run(JobHost& host, Spooler& spooler, const JobRunOptions& options)
        : host_(host), spooler_(spooler), options_(options) {}

    RunSummary go();

private:
    std::vector<ScannedFile> selectFiles(const JobSettings& settings, std::string& folder,
                                         bool& automatic);
    // Returns false when the loop is to stop.
    bool processFile(const std::filesystem::path& folder, const std::string& name,
                     const JobSettings& settings);
    void markFailed(const std::string& title, const std::string& reason, bool damaged);
    bool cancelled() const { return host_.cancelFlag().load(); }

    JobHost& host_;
    Spooler& spooler_;
    const JobRunOptions& options_;
    RunSummary summary_;
    ConversionState state_;
    ConversionSettings conversion_;
    ConversionControl control_;
};

RunSummary Run::go() {
    // A fresh run: no stop requested, the create button off.
    host_.cancelFlag().store(false);
    RunScope scope(host_);
    // Every wait of the spooler gives way to the stop button.
    SpoolerCancelScope spoolerCancel(spooler_, &host_.cancelFlag());

    // The settings snapshot.  A kanji factor that is not a number, or a
    // choice field that holds none of its words, stops the run before any
    // file is touched.
    FieldTexts fields = host_.fieldTexts();
    fields["OfiFile"] = host_.folderField();
    fields["Hprn"] = host_.printerField();
    JobSettings settings;
    std::string problem;
    if (!snapshotFromFields(fields, settings, &problem)) {
        host_.appendStatus(problem);
        host_.explainLastStatus(problem);
        host_.letEventsRun();
        summary_.start = RunStart::BadField;
        return summary_;
    }
    conversion_ = conversionSettingsFrom(settings);

    // An empty printer field takes the default printer's name; looked up only
    // when something is to be sent, so that a print server that does not
    // answer cannot hold up a run whose output stays in files.
    if (settings.OfiOut == words::kToPlotter && host_.printerField().empty()) {
        host_.setPrinterField(spooler_.defaultPrinter());
    }

    // The work file is the run's lock.
    WorkLock lock;
    switch (lock.acquire(options_.programFolder / kWorkFileName)) {
    case LockState::Acquired: break;
    case LockState::Held: {
        std::string line = std::string(status::kAnotherRun) + "（" + std::string(kWorkFileName);
        if (lock.holder() != 0) line += "、プロセス " + std::to_string(lock.holder());
        line += "）";
        host_.appendStatus(line);
        host_.explainLastStatus(line);
        host_.letEventsRun();
        summary_.start = RunStart::Locked;
        return summary_;
    }
    case LockState::Error: {
        host_.appendStatus(std::string(kWorkFileName) + " を作成できません");
        host_.explainLastStatus(lock.error());
        host_.letEventsRun();
        summary_.start = RunStart::NoWorkFile;
        return summary_;
    }
    }

    // File selection.
    std::string folderText = settings.OfiFile;
    bool automatic = true;
    std::vector<ScannedFile> files = selectFiles(settings, folderText, automatic);
    if (files.empty()) host_.appendStatus(std::string(status::kNoDrawings));
    host_.letEventsRun();

    // The folder field shows the folder of this run.
    host_.setFolderField(folderText);
    const std::filesystem::path folder = folderPath(folderText, options_.programFolder);
    // GLF files half written by a run that was killed.
    removeLeftoverTemporaries(folder);

    control_.cancel = &host_.cancelFlag();
    control_.letEventsRun = [this] { host_.letEventsRun(); };

    // Every file in turn.
    for (const ScannedFile& file : files) {
        // A file that changed since the scan is being written again: a
        // later run takes it.
        if (automatic && !unchangedSinceScan(folder, file)) continue;
        if (!processFile(folder, file.name, settings)) break;
    }
    // The work file goes with the lock.
    lock.release();
    return summary_;
}

std::vector<ScannedFile> Run::selectFiles(const JobSettings& settings, std::string& folder,
                                          bool& automatic) {
    if (settings.OfiFMen == words::kManual) {
        automatic = false;
        std::vector<ScannedFile> files;
        std::optional<ManualChoice> choice = host_.chooseFiles(folder);
        if (!choice) return files;
        folder = choice->folder;
        for (std::string& name : choice->names)
            files.push_back({std::move(name), 0, {}});
        return files;
    }
    automatic = true;
    return scanOfiFolder(folderPath(folder, options_.programFolder), options_.settleTime);
}

void Run::markFailed(const std::string& title, const std::string& reason, bool damaged) {
    host_.replaceLastStatus(title + std::string(damaged ? status::kDamaged : status::kFailed));
    host_.explainLastStatus(reason);
    ++(damaged ? summary_.damaged : summary_.failed);
}

bool Run::processFile(const std::filesystem::path& folder, const std::string& name,
                      const JobSettings& settings) {
    namespace fs = std::filesystem;
    const fs::path ofi = folder / name;
    const fs::path glf = glfPathFor(folder, name);

    // The title line, marked as plotting.  A file whose title cannot be
    // read is shown by its name.
    std::optional<std::string> titleLine = readTitleLine(ofi.string());
    const std::string title = titleLine ? *titleLine : name;
    host_.appendStatus(title + std::string(status::kPlotting));
    host_.letEventsRun();

    // A stop before the file: it stays as it is, its line unchanged.
    if (cancelled()) {
        summary_.cancelled = true;
        return false;
    }

    // Conversion.  No GLF file appears unless the drawing is finished.  Where
    // the OFI file is deleted on the strength of the GLF file alone, the GLF
    // file must be on the disk first.
    const bool glfReplacesOfi =
        settings.OfiOut != words::kToPlotter && settings.OfiFEnd != words::kKeep;
    const FileResult result =
        convertOfiFile(ofi, glf, glfReplacesOfi ? Durability::Durable : Durability::Replace, state_,
                       conversion_, &control_);
    switch (result.outcome) {
    case FileOutcome::Finished: break;
    case FileOutcome::Cancelled:
        host_.replaceLastStatus(title + std::string(status::kStopped));
        ++summary_.stopped;
        summary_.cancelled = true;
        host_.letEventsRun();
        return false;
    case FileOutcome::Damaged:
    case FileOutcome::Failed:
        // The OFI file stays, whatever OfiFEnd says.
        markFailed(title, ofi.string() + ": " + result.message,
                   result.outcome == FileOutcome::Damaged);
        host_.letEventsRun();
        if (cancelled()) {
            summary_.cancelled = true;
            return false;
        }
        return true;
    }

    // A stop that came while the last records were written: the drawing is
    // closed as stopped, nothing is sent and the OFI file stays.
    std::error_code ec;
    if (cancelled()) {
        fs::remove(glf, ec);
        host_.replaceLastStatus(title + std::string(status::kStopped));
        ++summary_.stopped;
        summary_.cancelled = true;
        host_.letEventsRun();
        return false;
    }

    // Delivery (or the GLF file stays), and only then the OFI file
    // goes: a drawing that did not reach the plotter is never lost.
    if (settings.OfiOut == words::kToPlotter) {
        const Status sent = spooler_.sendFile(glf, host_.printerField());
        if (!sent.ok() && cancelled()) {
            // A stop during delivery: the job is withdrawn, both files stay.
            host_.replaceLastStatus(title + std::string(status::kStopped));
            host_.explainLastStatus(glf.string() + ": " + sent.reason());
            ++summary_.stopped;
            summary_.cancelled = true;
            host_.letEventsRun();
            return false;
        }
        if (!sent.ok()) {
            // Both files stay; the GLF file can be sent by hand.
            markFailed(title, glf.string() + ": " + sent.reason(), false);
            host_.letEventsRun();
            if (cancelled()) {
                summary_.cancelled = true;
                return false;
            }
            return true;
        }
        fs::remove(glf, ec);
    }
    host_.replaceLastStatus(title + std::string(status::kFinished));
    ++summary_.finished;
    if (settings.OfiFEnd != words::kKeep) {
        ec.clear();
        fs::remove(ofi, ec);
        if (ec) {
            // It would be plotted again by the next run.
            host_.explainLastStatus(ofi.string() + ": 削除できません: " + ec.message());
            ++summary_.undisposed;
        }
    }
    host_.letEventsRun();

    // A stop after the file ends the loop.
    if (cancelled()) {
        summary_.cancelled = true;
        return false;
    }
    return true;
}

} // namespace

bool snapshotFromFields(const FieldTexts& fields, JobSettings& settings, std::string* problem) {
    // Text fields are taken as they are; a factor must be a number as a whole.
    for (std::string_view key : settingKeys()) {
        const auto it = fields.find(key);
        if (it == fields.end()) continue;
        if (std::string* field = textSetting(settings, key)) {
            *field = it->second;
        } else if (settingKind(key) == SettingKind::Factor &&
                   !setSettingByKey(settings, key, it->second)) {
            if (problem) *problem = std::string(settingLabel(key)) + "が数値ではありません";
            return false;
        }
    }
    // The fields that decide what happens to the files must hold one of their
    // words: a typo or a re-encoded file must not read as "delete" or "file".
    struct Choice {
        std::string_view key;
        const std::string& value;
        bool known;
        std::string_view first, second;
    };
    const Choice choices[] = {
        {"OfiFMen", settings.OfiFMen, fileSelectionOf(settings.OfiFMen).has_value(), words::kManual,
         words::kAutomatic},
        {"OfiFEnd", settings.OfiFEnd, finishedFilesOf(settings.OfiFEnd).has_value(), words::kKeep,
         words::kDelete},
        {"OfiOut", settings.OfiOut, outputOf(settings.OfiOut).has_value(), words::kToPlotter,
         words::kToFile},
    };
    for (const Choice& c : choices) {
        if (c.known) continue;
        if (problem)
            *problem = std::string(settingLabel(c.key)) + "が「" + c.value + "」です（「" +
                       std::string(c.first) + "」か「" + std::string(c.second) + "」）";
        return false;
    }
    return true;
}

RunSummary MinP(JobHost& host, Spooler& spooler, const JobRunOptions& options) {
    try {
        Run run(host, spooler, options);
        return run.go();
    } catch (const std::exception& e) {
        // Out of memory and the like: the run's files are closed by now.
        RunSummary summary;
        summary.failed = 1;
        try {
            host.explainLastStatus(e.what());
        } catch (...) {
        }
        return summary;
    }
}

} // namespace kesto
