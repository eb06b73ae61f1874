#include "job/JobRun.h"

#include "convert/ConversionState.h"
#include "convert/ConvertFile.h"
#include "io/AtomicFile.h"
#include "io/FileLock.h"
#include "io/NativeText.h"
#include "io/SystemError.h"
#include "job/OfiScan.h"
#include "job/Snapshot.h"
#include "job/WorkLock.h"
#include "ofi/OfiTitle.h"

#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>

namespace kesto {
namespace {

namespace fs = std::filesystem;

std::filesystem::path folderPath(const std::string& folder, const std::filesystem::path& base) {
    const std::filesystem::path path = pathFromUtf8(folder);
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

// Drawings that were delivered but whose OFI file could not be deleted (a
// shared folder where the CAD user owns the files): while such a file stays
// unchanged it is not sent again, for the life of the process.  Each one
// keeps its claim, so that another spooler on the folder leaves it too, up to
// a number of open files.
class Undeletable {
public:
    static Undeletable& instance() {
        static Undeletable undeletable;
        return undeletable;
    }

    // Whether `ofi` is one of them and unchanged; a changed one is forgotten
    // (and plotted again, as a new drawing).
    bool unchanged(const fs::path& ofi) {
        std::lock_guard guard(mutex_);
        const auto it = entries_.find(utf8FromPath(ofi));
        if (it == entries_.end()) return false;
        if (same(ofi, it->second.identity)) return true;
        entries_.erase(it);
        return false;
    }

    void remember(const fs::path& ofi, const FileIdentity& identity,
                  std::unique_ptr<FileLock> claim) {
        std::lock_guard guard(mutex_);
        Entry& entry = entries_[utf8FromPath(ofi)];
        entry.identity = identity;
        entry.claim = std::move(claim);
        if (entry.claim && entry.claim->locked() && ++held_ > kHeldClaims) entry.claim->unlock();
    }

    // Forgets the files that changed or went since.
    void prune() {
        std::lock_guard guard(mutex_);
        std::erase_if(entries_, [](const auto& e) { return !same(e.first, e.second.identity); });
        held_ = 0;
        for (const auto& e : entries_)
            held_ += e.second.claim && e.second.claim->locked() ? 1 : 0;
    }

private:
    // Open files kept for claims; the rest are remembered without one.
    static constexpr std::size_t kHeldClaims = 256;

    struct Entry {
        FileIdentity identity;
        std::unique_ptr<FileLock> claim;
    };

    static bool same(const std::string& ofi, const FileIdentity& identity) {
        return same(pathFromUtf8(ofi), identity);
    }
    static bool same(const fs::path& ofi, const FileIdentity& identity) {
        FileIdentity now;
        return fileIdentity(ofi, now, Links::Followed).ok() && now == identity;
    }

    std::mutex mutex_;
    std::map<std::string, Entry> entries_;
    std::size_t held_ = 0;
};

// Whether two identities are of the same file (whatever its content).
bool sameFile(const FileIdentity& a, const FileIdentity& b) {
    return a.device == b.device && a.inode == b.inode;
}

class Run {
public:
    Run(JobHost& host, Spooler& spooler, const JobRunOptions& options)
        : host_(host), spooler_(spooler), options_(options) {}

    RunSummary go();

private:
    std::vector<ScannedFile> selectFiles(const JobSettings& settings, std::string& folder,
                                         bool& automatic, Status& folderProblem);
    // Returns false when the loop is to stop.
    bool processFile(const fs::path& folder, const std::string& name, const JobSettings& settings,
                     bool automatic);
    // Deletes the OFI file of a delivered drawing if it is still the file
    // that was converted; returns the note for its status line.
    void dispose(const std::string& title, const fs::path& ofi, const FileIdentity& converted,
                 std::unique_ptr<FileLock>& claim);
    void markFailed(const std::string& title, const std::string& reason, bool damaged);
    void record(JobEnding outcome, const std::string& reason = {}) {
        if (options_.recorder) options_.recorder->drawingEnded(outcome, reason);
    }
    // A failed drawing's end: false when a stop came meanwhile.
    bool afterFailure();
    bool cancelled() const { return host_.cancelFlag().load(); }
    void runLine(const std::string& line) {
        host_.appendStatus(line);
        host_.explainLastStatus(line);
        host_.letEventsRun();
    }

    JobHost& host_;
    Spooler& spooler_;
    const JobRunOptions& options_;
    RunSummary summary_;
    ConversionState state_;
    ConversionSettings conversion_;
    ConversionControl control_;
    RunOutputs outputs_;
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
        runLine(problem);
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
        runLine(line);
        summary_.start = RunStart::Locked;
        return summary_;
    }
    case LockState::Error:
        runLine(std::string(kWorkFileName) + " を使えません: " + lock.error());
        summary_.start = RunStart::NoWorkFile;
        return summary_;
    }

    if (options_.recorder) options_.recorder->runStarted(settings);

    // File selection.
    std::string folderText = settings.OfiFile;
    bool automatic = true;
    Status folderProblem;
    std::vector<ScannedFile> files = selectFiles(settings, folderText, automatic, folderProblem);
    if (!folderProblem) {
        // Not "no drawings": the folder itself is wrong (a typo, a share
        // that is not mounted).
        host_.appendStatus(folderProblem.reason());
        host_.explainLastStatus(folderProblem.reason());
        summary_.badFolder = true;
    } else if (files.empty()) {
        host_.appendStatus(std::string(status::kNoDrawings));
    }
    host_.letEventsRun();

    // The folder field shows the folder of this run.
    host_.setFolderField(folderText);
    const fs::path folder = folderPath(folderText, options_.programFolder);
    // GLF files half written by a run that was killed.
    removeLeftoverTemporaries(folder);
    Undeletable::instance().prune();

    control_.cancel = &host_.cancelFlag();
    control_.letEventsRun = [this] { host_.letEventsRun(); };

    // Every file in turn.
    for (const ScannedFile& file : files) {
        // A file that changed since the scan is being written again: a
        // later run takes it.
        if (automatic && !unchangedSinceScan(folder, file)) continue;
        if (!processFile(folder, file.name, settings, automatic)) break;
    }
    if (options_.recorder) options_.recorder->runEnded();
    // The work file goes with the lock.
    lock.release();
    return summary_;
}

std::vector<ScannedFile> Run::selectFiles(const JobSettings& settings, std::string& folder,
                                          bool& automatic, Status& folderProblem) {
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
    return scanOfiFolder(folderPath(folder, options_.programFolder), options_.settleTime,
                         &folderProblem);
}

void Run::markFailed(const std::string& title, const std::string& reason, bool damaged) {
    host_.replaceLastStatus(title + std::string(damaged ? status::kDamaged : status::kFailed));
    host_.explainLastStatus(reason);
    ++(damaged ? summary_.damaged : summary_.failed);
    record(damaged ? JobEnding::Damaged : JobEnding::Failed, reason);
}

bool Run::afterFailure() {
    host_.letEventsRun();
    if (cancelled()) {
        summary_.cancelled = true;
        return false;
    }
    return true;
}

bool Run::processFile(const fs::path& folder, const std::string& name, const JobSettings& settings,
                      bool automatic) {
    const fs::path ofi = folder / pathFromUtf8(name);
    const fs::path glf = glfPathFor(folder, name);

    // Delivered before and not deletable: not again while it is unchanged.
    if (Undeletable::instance().unchanged(ofi)) return true;
    if (options_.recorder && options_.recorder->plottedBefore(ofi)) return true;

    // The claim: while this run holds it, another spooler on the same OFI
    // folder leaves the drawing alone, and we leave the ones it holds.  It
    // is held until the OFI file is deleted or the drawing is done.
    auto claim = std::make_unique<FileLock>();
    FileIdentity claimed;
    switch (claim->tryLock(ofi, FileLock::Open::Existing)) {
    case FileLockState::Acquired:
        // The file the claim is on (the lock made sure that it still has the name).
        if (!fileIdentity(ofi, claimed, Links::Followed)) claim->unlock();
        break;
    case FileLockState::Held: return true; // another spooler is plotting it
    case FileLockState::Error: {
        // Taken and deleted by another spooler meanwhile: nothing to do.  A
        // file chosen by hand is reported by the conversion.
        std::error_code ec;
        if (automatic && fs::symlink_status(ofi, ec).type() == fs::file_type::not_found)
            return true;
        // Unreadable: the conversion says why.  A link, or a file system
        // without locks: plotted unclaimed, as before claims existed.
        break;
    }
    }

    // The title line, marked as plotting.  A file whose title cannot be
    // read is shown by its name.
    std::optional<std::string> titleLine = readTitleLine(ofi);
    const std::string title = titleLine ? *titleLine : name;
    host_.appendStatus(title + std::string(status::kPlotting));
    host_.drawingStarted(ofi, glf);
    host_.letEventsRun();

    // A stop before the file: it stays as it is, its line unchanged.
    if (cancelled()) {
        summary_.cancelled = true;
        return false;
    }
    if (options_.recorder)
        options_.recorder->drawingStarted({ofi, name, title, glf, host_.printerField()});

    // Two drawings of a run with one GLF name: the earlier one's GLF file
    // stays; this drawing waits, its OFI file kept.  So does one whose GLF
    // file holds the drawing of a differently named OFI file of an earlier run.
    Status target = outputs_.checkTarget(ofi, glf);
    if (target && options_.recorder) target = options_.recorder->mayWrite(ofi, name, glf);
    if (!target) {
        markFailed(title, target.reason(), false);
        return afterFailure();
    }

    // Conversion.  No GLF file appears unless the drawing is finished.  Where
    // the OFI file is deleted on the strength of the GLF file alone, the GLF
    // file must be on the disk first.
    const bool toPlotter = settings.OfiOut == words::kToPlotter;
    const bool glfReplacesOfi = !toPlotter && settings.OfiFEnd != words::kKeep;
    const FileResult result =
        convertOfiFile(ofi, glf, glfReplacesOfi ? Durability::Durable : Durability::Replace, state_,
                       conversion_, &control_);
    switch (result.outcome) {
    case FileOutcome::Finished: break;
    case FileOutcome::Cancelled:
        host_.replaceLastStatus(title + std::string(status::kStopped));
        record(JobEnding::Stopped);
        ++summary_.stopped;
        summary_.cancelled = true;
        host_.letEventsRun();
        return false;
    case FileOutcome::Damaged:
    case FileOutcome::Failed:
        // The OFI file stays, whatever OfiFEnd says.
        markFailed(title, utf8FromPath(ofi) + ": " + result.message,
                   result.outcome == FileOutcome::Damaged);
        return afterFailure();
    }
    outputs_.written(glf, name);
    if (options_.recorder) options_.recorder->converted(glf, result.input, state_);

    // A stop that came while the last records were written: the drawing is
    // closed as stopped, nothing is sent and the OFI file stays.
    std::error_code ec;
    if (cancelled()) {
        fs::remove(glf, ec);
        host_.replaceLastStatus(title + std::string(status::kStopped));
        record(JobEnding::Stopped);
        ++summary_.stopped;
        summary_.cancelled = true;
        host_.letEventsRun();
        return false;
    }

    // Another file took the name between the claim and the reading: what was
    // converted is not the claimed drawing, and another spooler may claim it.
    if (claim->locked() && !sameFile(claimed, result.input)) {
        if (toPlotter) fs::remove(glf, ec);
        markFailed(title, utf8FromPath(ofi) + ": 出図の直前に別のファイルに置き換えられました",
                   false);
        return afterFailure();
    }

    // Delivery (or the GLF file stays), and only then the OFI file
    // goes: a drawing that did not reach the plotter is never lost.
    if (toPlotter) {
        const Status sent = spooler_.sendFile(glf, host_.printerField());
        if (!sent.ok() && cancelled()) {
            // A stop during delivery: the job is withdrawn, both files stay.
            host_.replaceLastStatus(title + std::string(status::kStopped));
            record(JobEnding::Stopped);
            host_.explainLastStatus(utf8FromPath(glf) + ": " + sent.reason());
            ++summary_.stopped;
            summary_.cancelled = true;
            host_.letEventsRun();
            return false;
        }
        if (!sent.ok()) {
            // Both files stay; the GLF file can be sent by hand.
            markFailed(title, utf8FromPath(glf) + ": " + sent.reason(), false);
            return afterFailure();
        }
        fs::remove(glf, ec);
    }
    ++summary_.finished;
    if (settings.OfiFEnd == words::kKeep) {
        host_.replaceLastStatus(title + std::string(status::kFinished));
        record(JobEnding::Finished);
    } else {
        dispose(title, ofi, result.input, claim);
    }
    host_.letEventsRun();

    // A stop after the file ends the loop.
    if (cancelled()) {
        summary_.cancelled = true;
        return false;
    }
    return true;
}

void Run::dispose(const std::string& title, const fs::path& ofi, const FileIdentity& converted,
                  std::unique_ptr<FileLock>& claim) {
    const std::string finished = title + std::string(status::kFinished);
    std::error_code ec;
    FileIdentity now;
    if (!fileIdentity(ofi, now, Links::Followed) || !(now == converted)) {
        if (fs::symlink_status(ofi, ec).type() == fs::file_type::not_found) {
            // Someone else removed it meanwhile: nothing is left to delete.
            host_.replaceLastStatus(finished);
            record(JobEnding::Finished);
            return;
        }
        // Replaced, appended or rewritten while it was plotted: what is there
        // now was not plotted.  It stays for the next run.
        host_.replaceLastStatus(finished + std::string(status::kKeptChanged));
        host_.explainLastStatus(utf8FromPath(ofi) +
                                ": 出図中に変更されたため削除しません（次の出図で出図します）");
        ++summary_.changed;
        record(JobEnding::KeptChanged);
        return;
    }
    // A copy is kept before the OFI file goes; without one it stays.
    const Status kept = options_.recorder ? options_.recorder->keepCopy(ofi, now) : Status{};
    if (!kept || (!fs::remove(ofi, ec) && ec)) {
        // It would be plotted again by every run: remembered instead.
        const std::string why = kept ? "削除できません: " + errorCodeText(ec) : kept.reason();
        host_.replaceLastStatus(finished + std::string(status::kNotRemoved));
        host_.explainLastStatus(utf8FromPath(ofi) + ": " + why +
                                "（変更されるまで再出図しません）");
        ++summary_.undisposed;
        record(JobEnding::NotRemoved, why);
        Undeletable::instance().remember(ofi, now, std::move(claim));
        return;
    }
    host_.replaceLastStatus(finished);
    record(JobEnding::Finished);
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
