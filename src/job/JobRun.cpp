#include "job/JobRun.h"

#include "convert/ConversionState.h"
#include "convert/ConvertFile.h"
#include "io/AtomicFile.h"
#include "io/FileLock.h"
#include "io/NativeText.h"
#include "io/SystemError.h"
#include "job/FileStability.h"
#include "job/JobRecorder.h"
#include "job/OfiScan.h"
#include "job/Snapshot.h"
#include "job/Undeletable.h"
#include "job/WorkLock.h"
#include "ofi/OfiTitle.h"

#include <exception>
#include <memory>
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

// Whether two identities are of the same file (whatever its content).
bool sameFile(const FileIdentity& a, const FileIdentity& b) {
    return a.device == b.device && a.inode == b.inode;
}

// One drawing as the run takes it through its steps.
struct Drawing {
    std::string name; // the OFI file's name in its folder
    fs::path ofi;
    fs::path glf;
    std::string title; // the status line's text before its outcome
    std::unique_ptr<FileLock> claim;
    FileIdentity claimed;   // the file the claim is on
    FileIdentity converted; // the OFI file as it was read
};

class Run {
public:
    Run(JobHost& host, Spooler& spooler, const JobRunOptions& options)
        : host_(host), spooler_(spooler), options_(options),
          undeletable_(options.undeletable ? *options.undeletable : processUndeletables()) {}

    RunSummary go();

private:
    std::vector<ScannedFile> selectFiles(const JobSettings& settings, std::string& folder,
                                         bool& automatic, Status& folderProblem);
    // Returns false when the loop is to stop.
    bool processFile(const fs::path& folder, const std::string& name, const JobSettings& settings,
                     bool automatic);

    // The steps of one drawing.  Each returns false when the drawing goes no
    // further (its status line then says why).
    bool claim(Drawing& d, bool automatic);
    void announce(Drawing& d);
    bool convert(Drawing& d, const JobSettings& settings);
    bool isClaimedDrawing(const Drawing& d, bool toPlotter);
    bool deliver(const Drawing& d, bool toPlotter);
    void finish(Drawing& d, const JobSettings& settings);
    // Deletes the OFI file of a delivered drawing if it is still the file
    // that was converted.
    void dispose(Drawing& d);

    // The drawing's line ends as failed (or damaged); returns false.
    bool failed(const Drawing& d, const std::string& reason, bool damaged);
    // The drawing's line ends as stopped, with the reason when there is one;
    // returns false.
    bool stopped(const Drawing& d, const std::string& reason = {});
    // Lets the host breathe; false when a stop came meanwhile.
    bool goOn();
    // Tells the journal how the drawing ended.
    void record(JobEnding outcome, const std::string& reason = {}) {
        if (options_.recorder) options_.recorder->drawingEnded(outcome, reason);
    }
    bool cancelled() const { return host_.cancelFlag().load(); }
    void runLine(const std::string& line) {
        host_.appendStatus(line);
        host_.explainLastStatus(line);
        host_.letEventsRun();
    }

    JobHost& host_;
    Spooler& spooler_;
    const JobRunOptions& options_;
    UndeletableRegistry& undeletable_;
    RunSummary summary_;
    ConversionControl control_;
    std::optional<ConversionRun> conversions_;
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
    if (Status snapshot = settingsFromFields(fields, settings, FieldRule::Run); !snapshot) {
        runLine(snapshot.reason());
        summary_.start = RunStart::BadField;
        return summary_;
    }

    // An empty printer field takes the default printer's name; looked up only
    // when something is to be sent, so that a print server that does not
    // answer cannot hold up a run whose output stays in files.
    if (settings.OfiOut == words::kToPlotter && host_.printerField().empty()) {
        host_.setPrinterField(spooler_.defaultPrinter());
    }

    // The work file is the run's lock.
    WorkLock lock;
    if (Status acquired = lock.acquire(options_.programFolder / kWorkFileName); !acquired) {
        runLine(std::string(kWorkFileName) + " を使えません: " + acquired.reason());
        summary_.start = RunStart::NoWorkFile;
        return summary_;
    }
    if (!lock.owned()) {
        std::string line = std::string(status::kAnotherRun) + "（" + std::string(kWorkFileName);
        if (lock.holder() != 0) line += "、プロセス " + std::to_string(lock.holder());
        line += "）";
        runLine(line);
        summary_.start = RunStart::Locked;
        return summary_;
    }

    if (options_.recorder) options_.recorder->runStarted(settings);

    // File selection.
    std::string folderText = settings.OfiFile;
    bool automatic = true;
    Status folderProblem;
    std::vector<ScannedFile> files = selectFiles(settings, folderText, automatic, folderProblem);
    // A stop while the scan waited for drawings to settle: nothing was taken.
    if (cancelled()) {
        summary_.cancelled = true;
        if (options_.recorder) options_.recorder->runEnded();
        return summary_;
    }
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
    undeletable_.forgetChanged();

    control_.cancel = &host_.cancelFlag();
    control_.letEventsRun = [this] { host_.letEventsRun(); };
    conversions_.emplace(conversionSettingsFrom(settings), &control_);
    if (options_.recorder) conversions_->fingerprint();

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
    return scanSettledOfiFiles(
        folderPath(folder, options_.programFolder), options_.settleTime, host_.cancelFlag(),
        [this] { host_.letEventsRun(); }, &folderProblem);
}

bool Run::failed(const Drawing& d, const std::string& reason, bool damaged) {
    host_.replaceLastStatus(d.title + std::string(damaged ? status::kDamaged : status::kFailed));
    host_.explainLastStatus(reason);
    ++(damaged ? summary_.damaged : summary_.failed);
    record(damaged ? JobEnding::Damaged : JobEnding::Failed, reason);
    return false;
}

bool Run::stopped(const Drawing& d, const std::string& reason) {
    host_.replaceLastStatus(d.title + std::string(status::kStopped));
    if (!reason.empty()) host_.explainLastStatus(reason);
    ++summary_.stopped;
    record(JobEnding::Stopped, reason);
    return false;
}

bool Run::goOn() {
    host_.letEventsRun();
    if (cancelled()) {
        summary_.cancelled = true;
        return false;
    }
    return true;
}

bool Run::processFile(const fs::path& folder, const std::string& name, const JobSettings& settings,
                      bool automatic) {
    Drawing d{name, folder / pathFromUtf8(name), glfPathFor(folder, name), {}, {}, {}, {}};
    // Delivered before and not deletable: not again while it is unchanged.
    if (undeletable_.contains(d.ofi)) return true;
    if (options_.recorder && options_.recorder->plottedBefore(d.ofi)) return true;
    if (!claim(d, automatic)) return true;
    announce(d);
    // A stop before the file: it stays as it is, its line unchanged.
    if (!goOn()) return false;
    if (options_.recorder)
        options_.recorder->drawingStarted({d.ofi, d.name, d.title, d.glf, host_.printerField()});

    // Delivery (or the GLF file stays), and only then the OFI file goes: a
    // drawing that did not reach the plotter is never lost.
    const bool toPlotter = settings.OfiOut == words::kToPlotter;
    if (convert(d, settings) && isClaimedDrawing(d, toPlotter) && deliver(d, toPlotter))
        finish(d, settings);
    // A stop after the file ends the loop.
    return goOn();
}

bool Run::claim(Drawing& d, bool automatic) {
    // While this run holds the claim, another spooler on the same OFI folder
    // leaves the drawing alone, and we leave the ones it holds.  It is held
    // until the OFI file is deleted or the drawing is done.
    d.claim = std::make_unique<FileLock>();
    switch (d.claim->tryLock(d.ofi, FileLock::Open::Existing)) {
    case FileLockState::Acquired:
        // The file the claim is on (the lock made sure that it still has the name).
        if (!fileIdentity(d.ofi, d.claimed, Links::Followed)) d.claim->unlock();
        return true;
    case FileLockState::Held: return false; // another spooler is plotting it
    case FileLockState::Error: {
        // Taken and deleted by another spooler meanwhile: nothing to do.  A
        // file chosen by hand is reported by the conversion.
        std::error_code ec;
        if (automatic && fs::symlink_status(d.ofi, ec).type() == fs::file_type::not_found)
            return false;
        // Unreadable: the conversion says why.  A link, or a file system
        // without locks: plotted unclaimed, as before claims existed.
        return true;
    }
    }
    return true;
}

void Run::announce(Drawing& d) {
    // The title line, marked as plotting.  A file whose title cannot be
    // read is shown by its name.
    std::optional<std::string> titleLine = readTitleLine(d.ofi);
    d.title = titleLine ? *titleLine : d.name;
    host_.appendStatus(d.title + std::string(status::kPlotting));
    host_.drawingStarted(d.ofi, d.glf);
}

bool Run::convert(Drawing& d, const JobSettings& settings) {
    // No GLF file appears unless the drawing is finished.  Where the OFI file
    // is deleted on the strength of the GLF file alone, the GLF file must be
    // on the disk first.
    const bool glfReplacesOfi =
        settings.OfiOut != words::kToPlotter && settings.OfiFEnd != words::kKeep;
    // A GLF file that holds the drawing of a differently named OFI file of
    // an earlier run stays; this drawing waits, its OFI file kept.
    if (options_.recorder) {
        if (Status may = options_.recorder->mayWrite(d.ofi, d.name, d.glf); !may)
            return failed(d, may.reason(), false);
    }
    const FileResult result = conversions_->toFile(
        d.ofi, d.glf, glfReplacesOfi ? Durability::Durable : Durability::Replace);
    switch (result.outcome) {
    case FileOutcome::Finished: break;
    case FileOutcome::Cancelled: return stopped(d);
    case FileOutcome::Refused:
        // Two drawings of a run with one GLF name: the earlier one's GLF file
        // stays; this drawing waits, its OFI file kept.
        return failed(d, result.message, false);
    case FileOutcome::Damaged:
    case FileOutcome::Failed:
        // The OFI file stays, whatever OfiFEnd says.
        return failed(d, utf8FromPath(d.ofi) + ": " + result.message,
                      result.outcome == FileOutcome::Damaged);
    }
    d.converted = result.input;
    if (options_.recorder) options_.recorder->converted(d.glf, result, conversions_->state());

    // A stop that came while the last records were written: the drawing is
    // closed as stopped, nothing is sent and the OFI file stays.
    if (cancelled()) {
        std::error_code ec;
        fs::remove(d.glf, ec);
        return stopped(d);
    }
    return true;
}

bool Run::isClaimedDrawing(const Drawing& d, bool toPlotter) {
    // Another file took the name between the claim and the reading: what was
    // converted is not the claimed drawing, and another spooler may claim it.
    if (!d.claim->locked() || sameFile(d.claimed, d.converted)) return true;
    std::error_code ec;
    if (toPlotter) fs::remove(d.glf, ec);
    return failed(d, utf8FromPath(d.ofi) + ": 出図の直前に別のファイルに置き換えられました", false);
}

bool Run::deliver(const Drawing& d, bool toPlotter) {
    if (!toPlotter) return true; // the GLF file stays
    int job = 0;
    const Status sent = spooler_.sendFile(d.glf, host_.printerField(), &job);
    // A stop during delivery: the job is withdrawn, both files stay.
    if (!sent.ok() && cancelled()) return stopped(d, utf8FromPath(d.glf) + ": " + sent.reason());
    // Both files stay; the GLF file can be sent by hand.
    if (!sent.ok()) return failed(d, utf8FromPath(d.glf) + ": " + sent.reason(), false);
    if (options_.recorder) options_.recorder->sent(job);
    std::error_code ec;
    fs::remove(d.glf, ec);
    return true;
}

void Run::finish(Drawing& d, const JobSettings& settings) {
    ++summary_.finished;
    if (settings.OfiFEnd == words::kKeep) {
        host_.replaceLastStatus(d.title + std::string(status::kFinished));
        record(JobEnding::Finished);
    } else {
        dispose(d);
    }
}

void Run::dispose(Drawing& d) {
    const std::string finished = d.title + std::string(status::kFinished);
    std::error_code ec;
    FileIdentity now;
    if (!fileIdentity(d.ofi, now, Links::Followed) || !(now == d.converted)) {
        if (fs::symlink_status(d.ofi, ec).type() == fs::file_type::not_found) {
            // Someone else removed it meanwhile: nothing is left to delete.
            host_.replaceLastStatus(finished);
            record(JobEnding::Finished);
            return;
        }
        // Replaced, appended or rewritten while it was plotted: what is there
        // now was not plotted.  It stays for the next run.
        host_.replaceLastStatus(finished + std::string(status::kKeptChanged));
        host_.explainLastStatus(utf8FromPath(d.ofi) +
                                ": 出図中に変更されたため削除しません（次の出図で出図します）");
        ++summary_.changed;
        record(JobEnding::KeptChanged);
        return;
    }
    // A copy is kept before the OFI file goes; without one it stays.
    const Status kept = options_.recorder ? options_.recorder->keepCopy(d.ofi, now) : Status{};
    if (!kept || (!fs::remove(d.ofi, ec) && ec)) {
        // It would be plotted again by every run: remembered instead.
        const std::string why = kept ? "削除できません: " + errorCodeText(ec) : kept.reason();
        host_.replaceLastStatus(finished + std::string(status::kNotRemoved));
        host_.explainLastStatus(utf8FromPath(d.ofi) + ": " + why +
                                "（変更されるまで再出図しません）");
        ++summary_.undisposed;
        record(JobEnding::NotRemoved, why);
        undeletable_.remember(d.ofi, now, std::move(d.claim));
        return;
    }
    host_.replaceLastStatus(finished);
    record(JobEnding::Finished);
}

} // namespace

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
