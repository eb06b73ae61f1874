#include "job/run/JobRun.h"

#include "convert/ConversionState.h"
#include "convert/Snapshot.h"
#include "job/run/OfiScan.h"
#include "job/run/WorkLock.h"
#include "ofi/ConvertFile.h"
#include "ofi/OfiTitle.h"

#include <array>
#include <exception>
#include <optional>
#include <system_error>
#include <utility>

namespace kesto {
namespace {

const char* const kKeep = "保存";       // OfiFEnd: keep the finished OFI file
const char* const kToPlotter = "ﾌﾟﾛｯﾀ"; // OfiOut: spool the GLF file
const char* const kManual = "手動";     // OfiFMen: the user chooses the files

// The text fields a run reads, by key.
struct TextKey {
    const char* key;
    std::string JobSettings::*field;
};
constexpr std::array kTextKeys{
    TextKey{"OfiFile", &JobSettings::OfiFile}, TextKey{"OfiA4V", &JobSettings::OfiA4V},
    TextKey{"OfiA4H", &JobSettings::OfiA4H},   TextKey{"OfiA3", &JobSettings::OfiA3},
    TextKey{"OfiA2V", &JobSettings::OfiA2V},   TextKey{"OfiA2H", &JobSettings::OfiA2H},
    TextKey{"OfiA1", &JobSettings::OfiA1},     TextKey{"OfiA0", &JobSettings::OfiA0},
    TextKey{"Plot", &JobSettings::Plot},       TextKey{"LineL", &JobSettings::LineL},
    TextKey{"LineM", &JobSettings::LineM},     TextKey{"LineS", &JobSettings::LineS},
    TextKey{"LineT", &JobSettings::LineT},     TextKey{"LineP", &JobSettings::LineP},
    TextKey{"LineD", &JobSettings::LineD},     TextKey{"OfiS", &JobSettings::OfiS},
    TextKey{"MojiK", &JobSettings::MojiK},     TextKey{"MojiE", &JobSettings::MojiE},
    TextKey{"OfiFMen", &JobSettings::OfiFMen}, TextKey{"OfiFEnd", &JobSettings::OfiFEnd},
    TextKey{"OfiOut", &JobSettings::OfiOut},   TextKey{"Hprn", &JobSettings::Hprn},
};

// The kanji factor fields with the labels the settings file gives them.
struct FactorKey {
    const char* key;
    const char* label;
};
constexpr std::array kFactorKeys{
    FactorKey{"MojiW", "漢字幅変更倍率"},
    FactorKey{"MojiH", "漢字高さ変更倍率"},
    FactorKey{"MojiX", "漢字Ｘ座標変更倍率"},
    FactorKey{"MojiY", "漢字Ｙ座標変更倍率"},
};

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
    // 1. An empty printer field takes the default printer's name.
    if (host_.printerField().empty()) host_.setPrinterField(spooler_.defaultPrinter());

    // 3. A fresh run: no stop requested, the create button off.
    host_.cancelFlag().store(false);
    RunScope scope(host_);

    // 4. The settings snapshot.  A kanji factor that is not a number stops
    // the run before any file is touched.
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

    // 5. The work file is the run's lock.
    WorkLock lock;
    switch (lock.acquire(options_.programFolder / kWorkFileName)) {
    case LockState::Acquired: break;
    case LockState::Held: {
        std::string line = "別の出図が実行中です（" + std::string(kWorkFileName);
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

    // 6. and 7. File selection.
    std::string folderText = settings.OfiFile;
    bool automatic = true;
    std::vector<ScannedFile> files = selectFiles(settings, folderText, automatic);
    if (files.empty()) host_.appendStatus(kStatusNoDrawings);
    host_.letEventsRun();

    // 8. The folder field shows the folder of this run.
    host_.setFolderField(folderText);
    const std::filesystem::path folder = folderPath(folderText, options_.programFolder);

    control_.cancel = &host_.cancelFlag();
    control_.letEventsRun = [this] { host_.letEventsRun(); };

    // 9. Every file in turn.
    for (const ScannedFile& file : files) {
        // A file that changed since the scan is being written again: a
        // later run takes it.
        if (automatic && !unchangedSinceScan(folder, file)) continue;
        if (!processFile(folder, file.name, settings)) break;
    }
    // 11. The work file goes with the lock.
    lock.release();
    return summary_;
}

std::vector<ScannedFile> Run::selectFiles(const JobSettings& settings, std::string& folder,
                                          bool& automatic) {
    if (settings.OfiFMen == kManual) {
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
    host_.replaceLastStatus(title + (damaged ? kStatusDamaged : kStatusFailed));
    host_.explainLastStatus(reason);
    ++(damaged ? summary_.damaged : summary_.failed);
}

bool Run::processFile(const std::filesystem::path& folder, const std::string& name,
                      const JobSettings& settings) {
    namespace fs = std::filesystem;
    const fs::path ofi = folder / name;
    const fs::path glf = glfPathFor(folder, name);

    // 9.1 The title line, marked as plotting.  A file whose title cannot be
    // read is shown by its name.
    std::optional<std::string> titleLine = readTitleLine(ofi.string());
    const std::string title = titleLine ? *titleLine : name;
    host_.appendStatus(title + kStatusPlotting);
    host_.letEventsRun();

    // 9.2 A stop before the file: it stays as it is, its line unchanged.
    if (cancelled()) {
        summary_.cancelled = true;
        return false;
    }

    // 9.3 to 9.6 Conversion.  convertOfiFile leaves no GLF file behind unless
    // the drawing is finished.
    const FileResult result = convertOfiFile(ofi, glf, state_, conversion_, &control_);
    switch (result.outcome) {
    case FileOutcome::Finished: break;
    case FileOutcome::Cancelled:
        host_.replaceLastStatus(title + kStatusStopped);
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
        host_.replaceLastStatus(title + kStatusStopped);
        ++summary_.stopped;
        summary_.cancelled = true;
        host_.letEventsRun();
        return false;
    }

    // 9.8 Delivery (or the GLF file stays), and only then 9.7 the OFI file
    // goes: a drawing that did not reach the plotter is never lost.
    if (settings.OfiOut == kToPlotter) {
        const DeliveryResult sent = spooler_.sendFile(glf, host_.printerField());
        if (!sent.delivered) {
            // Both files stay; the GLF file can be sent by hand.
            markFailed(title, glf.string() + ": " + sent.error, false);
            host_.letEventsRun();
            if (cancelled()) {
                summary_.cancelled = true;
                return false;
            }
            return true;
        }
        fs::remove(glf, ec);
    }
    host_.replaceLastStatus(title + kStatusFinished);
    ++summary_.finished;
    if (settings.OfiFEnd != kKeep) {
        ec.clear();
        fs::remove(ofi, ec);
        if (ec) {
            // It would be plotted again by the next run.
            host_.explainLastStatus(ofi.string() + ": 削除できません: " + ec.message());
            ++summary_.undisposed;
        }
    }
    host_.letEventsRun();

    // 9.10 A stop after the file ends the loop.
    if (cancelled()) {
        summary_.cancelled = true;
        return false;
    }
    return true;
}

} // namespace

bool snapshotFromFields(const FieldTexts& fields, JobSettings& settings, std::string* problem) {
    for (const TextKey& k : kTextKeys)
        if (auto it = fields.find(k.key); it != fields.end()) settings.*k.field = it->second;
    for (const FactorKey& k : kFactorKeys) {
        auto it = fields.find(k.key);
        if (it == fields.end()) continue;
        if (!setSettingByKey(settings, k.key, it->second)) {
            if (problem) *problem = std::string(k.label) + "が数値ではありません";
            return false;
        }
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
