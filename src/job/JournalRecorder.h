#pragma once
// The recorder the programs give their runs: each drawing into the journal
// (Kesto.db), each OFI file to be deleted into the archive first, the
// failure command after each failed or damaged drawing, all as Kesto.conf
// says.  Its own failures never cost a plot: they give one line through
// `report` and the run goes on as without a journal.

#include "job/Archive.h"
#include "job/JobRecorder.h"
#include "job/Journal.h"
#include "job/JournalWriter.h"
#include "settings/KestoConf.h"

#include <functional>
#include <map>
#include <optional>
#include <set>

namespace kesto {

// Every Kesto.sys value as "key=value" lines (UTF-8), and back.
std::string settingsText(const JobSettings& settings);
JobSettings settingsFromText(const std::string& text);

// Milliseconds since 1970, UTC.
std::int64_t nowMs();

class JournalRecorder : public JobRecorder {
public:
    using Report = std::function<void(const std::string&)>;

    // `kind`: "window", "auto", "AUTO<n>" or "reprint".
    JournalRecorder(std::filesystem::path programFolder, std::string kind, Report report);

    void runStarted(const JobSettings& settings) override;
    bool plottedBefore(const std::filesystem::path& ofi) override;
    void drawingStarted(const DrawingStart& drawing) override;
    Status mayWrite(const std::filesystem::path& ofi, const std::string& name,
                    const std::filesystem::path& glf) override;
    void converted(const std::filesystem::path& glf, const FileResult& result,
                   const ConversionState& state) override;
    void sent(int spoolerJob) override;
    Status keepCopy(const std::filesystem::path& ofi, const FileIdentity& converted) override;
    void drawingEnded(JobEnding outcome, const std::string& reason) override;
    void runEnded() override;

    // A reprint names the job it made again.
    void setOriginal(std::int64_t id) { original_ = id; }
    // The journal row of the drawing in progress (or the last one).
    const JobRow& current() const { return row_; }
    const KestoConf& conf() const { return conf_; }

private:
    void problem(const std::string& line);
    void fingerprintFiles(const std::filesystem::path& glf, const FileIdentity& input);
    // The drawing's row to the journal: its start, or what it learned since.
    void save();
    // The same at once, for what must be written before the run goes on.
    void saveNow();
    // Waits until the journal holds every event given; a failure closes it
    // for the rest of the run.
    void settle();
    void closeAfter(const Status& failure);
    bool startAfresh();
    void runFailureCommand();

    std::filesystem::path programFolder_;
    std::string kind_;
    Report report_;
    KestoConf conf_;
    Journal journal_;
    JournalWriter writer_{journal_};
    std::int64_t nextId_ = 0;
    // Delivered by earlier runs and not deletable, as they were then.
    std::multimap<std::string, FileIdentity> undeletable_;
    std::string run_, host_, user_;
    int seq_ = 0;
    std::string settings_;
    std::string output_;
    double reduction_ = 1;
    std::int64_t original_ = 0;
    JobRow row_;
    bool drawing_ = false;
    std::set<std::string> reported_; // one line per problem and run
};

} // namespace kesto
