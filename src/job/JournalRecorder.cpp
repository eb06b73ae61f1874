#include "job/JournalRecorder.h"

#include "io/Machine.h"
#include "io/NativeText.h"
#include "io/Sha256.h"
#include "job/Snapshot.h"
#include "settings/Vocabulary.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace kesto {
namespace fs = std::filesystem;

std::string settingsText(const JobSettings& settings) {
    std::string text;
    for (std::string_view key : settingKeys())
        if (auto value = settingText(settings, key)) text += std::string(key) + "=" + *value + "\n";
    return text;
}

JobSettings settingsFromText(const std::string& text) {
    JobSettings settings;
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = line.substr(0, eq), value = line.substr(eq + 1);
        if (std::string* field = textSetting(settings, key))
            *field = value;
        else // a key or value this version does not know keeps its default
            static_cast<void>(setSettingByKey(settings, key, value));
    }
    return settings;
}

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

namespace {

const char* outcomeWord(JobEnding outcome) {
    switch (outcome) {
    case JobEnding::Finished: return outcome::kFinished;
    case JobEnding::Failed: return outcome::kFailed;
    case JobEnding::Damaged: return outcome::kDamaged;
    case JobEnding::Stopped: return outcome::kStopped;
    case JobEnding::KeptChanged: return outcome::kKeptChanged;
    case JobEnding::NotRemoved: return outcome::kNotRemoved;
    }
    return outcome::kFailed;
}

} // namespace

JournalRecorder::JournalRecorder(fs::path programFolder, std::string kind, Report report)
    : programFolder_(std::move(programFolder)), kind_(std::move(kind)), report_(std::move(report)) {
}

void JournalRecorder::problem(const std::string& line) {
    if (reported_.insert(line).second && report_) report_(line);
}

void JournalRecorder::save() {
    if (!journal_.isOpen()) return;
    if (writer_.failed()) return settle();
    if (row_.id == 0) {
        row_.id = nextId_++;
        writer_.insert(row_);
    } else {
        writer_.update(row_);
    }
}

void JournalRecorder::saveNow() {
    settle(); // usually long done
    if (!journal_.isOpen()) return;
    if (Status s = journal_.update(row_); !s) closeAfter(s);
}

void JournalRecorder::settle() {
    if (!journal_.isOpen()) return;
    if (Status s = writer_.drain(); !s) closeAfter(s);
}

void JournalRecorder::closeAfter(const Status& failure) {
    if (journal_.damaged() && startAfresh()) return;
    // Locked, full or unwritable: this run goes on without a journal; the
    // next one tries again.
    problem("履歴に書けません（出図は続けます）: " + failure.reason());
    journal_.close();
}

bool JournalRecorder::startAfresh() {
    // Damaged inside: moved aside for a new journal, which takes the
    // drawing in progress.
    std::string note;
    if (!journal_.open(programFolder_, &note, Journal::Check::Pages)) return false;
    if (!note.empty()) problem(note);
    nextId_ = journal_.lastId() + 1;
    if (drawing_) {
        row_.id = nextId_++;
        if (!journal_.insert(row_)) return false;
    }
    return true;
}

void JournalRecorder::runStarted(const JobSettings& settings) {
    settle();
    reported_.clear();
    std::vector<std::string> confProblems;
    conf_ = loadKestoConf(programFolder_, &confProblems);
    for (const std::string& line : confProblems)
        problem(line);
    if (!journal_.isOpen()) {
        std::string note;
        if (Status s = journal_.open(programFolder_, &note); !s)
            problem("履歴を使えません（出図は続けます）: " + s.reason());
        if (!note.empty()) problem(note);
    }
    // This run holds the work lock: a drawing still running is a killed run's.
    if (journal_.isOpen())
        if (Status s = journal_.markInterrupted(); !s) closeAfter(s);
    undeletable_.clear();
    std::vector<UndeletableDrawing> undeletable;
    if (journal_.isOpen())
        if (Status s = journal_.undeletableDrawings(undeletable); !s) closeAfter(s);
    for (UndeletableDrawing& d : undeletable)
        undeletable_.emplace(std::move(d.ofiPath), d.identity);
    // Ids are given here, so that a drawing need not wait for its row: runs
    // of one folder hold its work lock, nobody else adds rows meanwhile.
    nextId_ = journal_.lastId() + 1;
    host_ = hostName();
    user_ = userName();
    run_ = host_ + ":" + std::to_string(processId()) + ":" + std::to_string(nowMs());
    seq_ = 0;
    settings_ = settingsText(settings);
    output_ = settings.OfiOut;
    reduction_ = conversionSettingsFrom(settings).reduction;
}

bool JournalRecorder::plottedBefore(const fs::path& ofi) {
    FileIdentity identity;
    if (undeletable_.empty() || !fileIdentity(ofi, identity, Links::Followed)) return false;
    const auto [first, last] = undeletable_.equal_range(utf8FromPath(ofi));
    return std::any_of(first, last, [&](const auto& d) { return d.second == identity; });
}

void JournalRecorder::drawingStarted(const DrawingStart& drawing) {
    row_ = JobRow{};
    drawing_ = true;
    row_.run = run_;
    row_.seq = ++seq_;
    row_.kind = kind_;
    row_.original = original_;
    row_.startedMs = nowMs();
    row_.host = host_;
    row_.user = user_;
    row_.programFolder = utf8FromPath(programFolder_);
    row_.ofiPath = utf8FromPath(drawing.ofi);
    row_.ofiName = drawing.name;
    row_.title = drawing.title;
    row_.reduction = reduction_;
    row_.settings = settings_;
    row_.output = output_;
    row_.printer = output_ == words::kToPlotter ? drawing.printer : "";
    row_.glfPath = utf8FromPath(drawing.glf);
    // Known once the file is read; the name is what counts until then.
    if (!fileIdentity(drawing.ofi, row_.ofiIdentity, Links::Followed)) row_.ofiIdentity = {};
    save();
}

Status JournalRecorder::mayWrite(const fs::path&, const std::string& name, const fs::path& glf) {
    if (!journal_.isOpen()) return {};
    // No file of that name: nothing to overwrite, nothing to ask the journal.
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(glf, ec))) return {};
    settle();
    if (!journal_.isOpen()) return {};
    const std::optional<EarlierDrawing> earlier = journal_.lastWriterOf(utf8FromPath(glf));
    if (!earlier || earlier->ofiName == name) return {};
    return Status::failure(utf8FromPath(glf) + ": 前の出図（履歴 " + std::to_string(earlier->id) +
                           "、" + earlier->ofiName + "「" + earlier->title +
                           "」）の GLF ファイルです。上書きしません（OFI ファイルは保存）");
}

void JournalRecorder::converted(const fs::path& glf, const FileResult& result,
                                const ConversionState& state) {
    row_.ofiIdentity = result.input;
    if (!result.glfSha256.empty()) {
        // Fingerprinted by the conversion from the bytes it held.
        row_.ofiSha256 = result.inputSha256;
        row_.glfSha256 = result.glfSha256;
        row_.glfSize = result.glfSize;
    } else {
        fingerprintFiles(glf, result.input);
    }
    const double w = state.page.sheetWidth, h = state.page.sheetHeight;
    row_.sheet = w > 0 && h > 0 ? std::to_string(static_cast<long>(w + 0.5)) + "x" +
                                      std::to_string(static_cast<long>(h + 0.5))
                                : "";
    row_.rotation = state.page.rotated ? 90 : 0;
    // Written with the drawing's end: a drawing is two transactions, its
    // start and its end (and the archive copy, which must be found again).
}

void JournalRecorder::fingerprintFiles(const fs::path& glf, const FileIdentity& input) {
    FileBytes ofi;
    if (ofi.read(pathFromUtf8(row_.ofiPath)) && ofi.identity() == input) {
        Sha256 sha;
        sha.add(ofi.data(), ofi.size());
        row_.ofiSha256 = sha.hexDigest();
    }
    std::string hex;
    std::uint64_t size = 0;
    if (sha256OfFile(glf, hex, size)) {
        row_.glfSha256 = hex;
        row_.glfSize = size;
    }
}

void JournalRecorder::sent(int spoolerJob) {
    row_.spoolerJob = spoolerJob > 0 ? std::to_string(spoolerJob) : "";
}

Status JournalRecorder::keepCopy(const fs::path& ofi, const FileIdentity& converted) {
    // The drawing's row is in the journal before its OFI file goes.
    if (!conf_.archive) {
        settle();
        return {};
    }
    fs::path kept;
    Archive archive(programFolder_ / kArchiveFolderName);
    if (Status s = archive.keep(ofi, converted, &kept); !s)
        return Status::failure("アーカイブに書けないため削除しません: " + s.reason());
    row_.archivePath = utf8FromPath(kept);
    // In the journal before the OFI file goes, so a reprint finds the copy.
    saveNow();
    return {};
}

void JournalRecorder::drawingEnded(JobEnding outcome, const std::string& reason) {
    if (!drawing_) return;
    drawing_ = false;
    row_.outcome = outcomeWord(outcome);
    row_.reason = reason;
    row_.endedMs = nowMs();
    const bool failed = outcome == JobEnding::Failed || outcome == JobEnding::Damaged;
    // The memory against plotting it again must outlive a kill; the failure
    // command may look the job up.
    if (outcome == JobEnding::NotRemoved || (failed && !conf_.failureCommand.empty()))
        saveNow();
    else
        save();
    if (failed) runFailureCommand();
}

void JournalRecorder::runFailureCommand() {
    if (conf_.failureCommand.empty()) return;
    const std::vector<std::pair<std::string, std::string>> fields = {
        {"KESTO_JOB_ID", std::to_string(row_.id)},
        {"KESTO_TITLE", row_.title},
        {"KESTO_OUTCOME", row_.outcome},
        {"KESTO_REASON", row_.reason},
        {"KESTO_OFI", row_.ofiPath},
        {"KESTO_GLF", row_.glfPath},
        {"KESTO_OUTPUT", row_.output},
        {"KESTO_PRINTER", row_.printer},
        {"KESTO_HOST", row_.host},
        {"KESTO_USER", row_.user},
        {"KESTO_PROGRAM_FOLDER", row_.programFolder},
    };
    const Status ran =
        runProgram(conf_.failureCommand, fields, std::chrono::seconds(conf_.failureTimeoutSeconds));
    if (!ran && report_) report_("失敗時コマンドが失敗しました: " + ran.reason());
}

void JournalRecorder::runEnded() {
    settle();
    if (journal_.isOpen()) writer_.checkpoint();
    if (!conf_.archive) return;
    Archive archive(programFolder_ / kArchiveFolderName);
    archive.prune(std::chrono::hours(24) * conf_.archiveDays, conf_.archiveMaxBytes);
}

} // namespace kesto
