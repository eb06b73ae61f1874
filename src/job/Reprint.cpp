#include "job/Reprint.h"

#include "convert/ConvertFile.h"
#include "io/AtomicFile.h"
#include "io/Machine.h"
#include "io/NativeText.h"
#include "io/Sha256.h"
#include "job/JobRun.h"
#include "job/JournalRecorder.h"
#include "job/Snapshot.h"
#include "job/WorkLock.h"
#include "settings/Vocabulary.h"

#include <system_error>

namespace kesto {
namespace fs = std::filesystem;
namespace {

// The OFI file of a job as it was plotted: the archived copy, or the
// original while it still holds the same bytes.
std::optional<fs::path> sourceOf(const JobRow& row) {
    for (const std::string& candidate : {row.archivePath, row.ofiPath}) {
        if (candidate.empty() || row.ofiSha256.empty()) continue;
        std::string hex;
        std::uint64_t size = 0;
        const fs::path path = pathFromUtf8(candidate);
        if (sha256OfFile(path, hex, size) && hex == row.ofiSha256) return path;
    }
    return std::nullopt;
}

// A folder of its own for the GLF files made on the way; removed with this object.
class Scratch {
public:
    Scratch() {
        std::error_code ec;
        path_ = fs::temp_directory_path(ec) /
                ("kesto-reprint-" + std::to_string(processId()) + "-" + std::to_string(nowMs()));
        fs::create_directories(path_, ec);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// The conversion state as it stood before the drawing: a run carries pen,
// text and page state from one drawing to the next, so the drawings before
// it in its run are converted again first (their output thrown away).
// A run's drawings share one snapshot of the settings, so one conversion
// run replays them all.
void replayRun(Journal& journal, const JobRow& row, ConversionRun& conversion) {
    for (const JobRow& earlier : journal.earlierInRun(row)) {
        if (earlier.glfSha256.empty()) continue; // never converted whole
        const std::optional<fs::path> source = sourceOf(earlier);
        if (!source) continue; // the check of the result tells whether it mattered
        conversion.toMemory(*source);
    }
}

} // namespace

ReprintResult reprintJob(const fs::path& programFolder, std::int64_t id,
                         const ReprintTarget& target, Spooler& spooler,
                         const std::function<void(const std::string&)>& report) {
    ReprintResult result;
    WorkLock lock;
    if (Status acquired = lock.acquire(programFolder / kWorkFileName); !acquired) {
        result.status =
            Status::failure(std::string(kWorkFileName) + " を使えません: " + acquired.reason());
        return result;
    }
    if (!lock.owned()) {
        result.status = Status::failure(std::string(status::kAnotherRun));
        return result;
    }
    Journal journal;
    if (Status s = journal.openForReading(programFolder); !s) {
        result.status = s;
        return result;
    }
    const std::optional<JobRow> found = journal.find(id);
    if (!found) {
        result.status = Status::failure("履歴 " + std::to_string(id) + " はありません");
        return result;
    }
    const JobRow& row = *found;
    result.title = row.title;
    if (row.glfSha256.empty()) {
        result.status =
            Status::failure("履歴 " + std::to_string(id) +
                            " は GLF ファイルまで出図されていません（" + row.outcome + "）");
        return result;
    }
    const std::optional<fs::path> source = sourceOf(row);
    if (!source) {
        result.status = Status::failure("履歴 " + std::to_string(id) +
                                        ": OFI ファイルがアーカイブにも元の場所にもありません");
        return result;
    }

    // The same conversion as then.
    Scratch scratch;
    JobSettings settings = settingsFromText(row.settings);
    ConversionRun conversion(conversionSettingsFrom(settings));
    replayRun(journal, row, conversion);
    journal.close();
    // Named as the first plot's GLF file was.
    const fs::path glfName = row.glfPath.empty()
                                 ? glfPathFor(fs::path(), utf8FromPath(source->filename()))
                                 : pathFromUtf8(row.glfPath);
    const fs::path made = scratch.path() / glfName.filename();
    const FileResult converted = conversion.toFile(*source, made, Durability::Replace);

    // Journalled as a job of its own.
    settings.OfiOut =
        target.outDir.empty() ? std::string(words::kToPlotter) : std::string(words::kToFile);
    const std::string printer = target.printer.empty() ? row.printer : target.printer;
    const fs::path glf =
        target.outDir.empty() ? pathFromUtf8(row.glfPath) : target.outDir / made.filename();
    JournalRecorder recorder(programFolder, "reprint", report);
    recorder.setOriginal(id);
    recorder.runStarted(settings);
    recorder.drawingStarted({*source, row.ofiName, row.title, glf, printer});
    result.newId = recorder.current().id;
    const auto fail = [&](JobEnding ending, const std::string& reason) {
        recorder.drawingEnded(ending, reason);
        result.status = Status::failure(reason);
        return result;
    };
    if (converted.outcome != FileOutcome::Finished)
        return fail(JobEnding::Damaged, utf8FromPath(*source) + ": " + converted.message);
    std::string hex;
    std::uint64_t size = 0;
    if (Status s = sha256OfFile(made, hex, size); !s) return fail(JobEnding::Failed, s.reason());
    if (hex != row.glfSha256)
        return fail(JobEnding::Failed, "作り直した GLF ファイルが元の出図と一致しません（SHA-256 " +
                                           hex.substr(0, 12) + "… ≠ " +
                                           row.glfSha256.substr(0, 12) + "…）。送りません");
    recorder.converted(made, converted, conversion.state());

    if (target.outDir.empty()) {
        if (printer.empty() && spooler.defaultPrinter().empty())
            return fail(JobEnding::Failed, "プリンタがありません");
        int job = 0;
        const Status sent =
            spooler.sendFile(made, printer.empty() ? spooler.defaultPrinter() : printer, &job);
        if (!sent)
            return fail(JobEnding::Failed, utf8FromPath(made.filename()) + ": " + sent.reason());
        recorder.sent(job);
    } else {
        if (Status may = recorder.mayWrite(*source, row.ofiName, glf); !may)
            return fail(JobEnding::Failed, may.reason());
        FileBytes bytes;
        Status s = bytes.read(made);
        AtomicFile out;
        if (s) s = out.create(glf);
        if (s) s = out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (s) s = out.commit(Durability::Durable);
        if (!s) return fail(JobEnding::Failed, s.reason());
        result.glf = glf;
    }
    recorder.drawingEnded(JobEnding::Finished, {});
    lock.release();
    return result;
}

} // namespace kesto
