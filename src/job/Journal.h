#pragma once
// The journal: one row per drawing a run took (window, auto, AUTO<n>,
// reprint), in an SQLite database "Kesto.db" beside Kesto.sys.  Every event
// of a drawing is written in its own transaction as the run goes, so a run
// that is killed leaves its rows up to the last event; the unfinished one is
// marked interrupted by the next run.  WAL mode: a reader (history) never
// waits for the run that writes.

#include "io/FileBytes.h"
#include "io/Status.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace kesto {

inline constexpr const char* kJournalFileName = "Kesto.db";

// Outcome words as the journal stores and shows them.
namespace outcome {
inline constexpr const char* kRunning = "出図中";
inline constexpr const char* kFinished = "終了";
inline constexpr const char* kFailed = "失敗";
inline constexpr const char* kDamaged = "異常";
inline constexpr const char* kStopped = "中止";
inline constexpr const char* kKeptChanged = "終了（変更されたため保存）";
inline constexpr const char* kNotRemoved = "終了（削除できません）";
inline constexpr const char* kInterrupted = "中断";
} // namespace outcome

struct JobRow {
    std::int64_t id = 0;
    std::string run;                         // one id per run: host, process and start time
    int seq = 0;                             // the drawing's place in its run, from 1
    std::string kind;                        // "window", "auto", "AUTO<n>", "reprint"
    std::int64_t original = 0;               // the job a reprint made again; 0 for none
    std::int64_t startedMs = 0, endedMs = 0; // since 1970, UTC
    std::string host, user, programFolder;
    std::string ofiPath; // the path's bytes as the system gives them
    std::string ofiName; // the name's bytes as the folder gives them
    FileIdentity ofiIdentity;
    std::string ofiSha256;
    std::string title, sheet;
    int rotation = 0; // 90 when the sheet was plotted turned
    double reduction = 1;
    std::string settings; // every Kesto.sys value, "key=value" lines (UTF-8)
    std::string output, printer, spoolerJob;
    std::string glfPath;
    std::uint64_t glfSize = 0;
    std::string glfSha256;
    std::string outcome = outcome::kRunning;
    std::string reason;
    std::string archivePath; // the kept copy of the OFI file; empty for none
};

// The drawing that last wrote a GLF file, as a later one is told of it.
struct EarlierDrawing {
    std::int64_t id = 0;
    std::string ofiName, title;
};

struct UndeletableDrawing {
    std::string ofiPath;
    FileIdentity identity;
};

struct HistoryFilter {
    std::optional<std::int64_t> sinceMs, untilMs;
    std::string outcome; // the outcome begins with it ("終了" takes the kept endings too)
    std::string title;   // a part of the title
    int limit = 100;     // 0: all
};

class Journal {
public:
    static constexpr int kSchemaVersion = 2;

    Journal() = default;
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // How much of the file open reads to tell whether it is damaged: its
    // header and schema, or every page.
    enum class Check { Header, Pages };

    // Opens Kesto.db in `programFolder`, made and brought to the current
    // schema as needed.  A file that is not a kesto journal, or a damaged
    // one, is moved aside as "Kesto.db.broken-<time>" and a new journal
    // started; *note then says so.  A busy, unwritable or newer journal is a
    // failure and stays as it is.
    Status open(const std::filesystem::path& programFolder, std::string* note = nullptr,
                Check check = Check::Header);
    // Whether a failure so far said the file is damaged (open it again with
    // Check::Pages to move it aside).
    bool damaged() const { return damaged_; }
    // For reading only (history): nothing is made, moved or migrated.
    Status openForReading(const std::filesystem::path& programFolder);
    void close();
    bool isOpen() const { return db_ != nullptr; }

    // Copies the write-ahead log back into Kesto.db as far as no reader needs it.
    void checkpoint();
    // Rows a killed run left running become interrupted.
    Status markInterrupted();
    // Sets row.id when it is 0; a row given its id keeps it.
    Status insert(JobRow& row);
    // Writes what a drawing learns after it started: its end and outcome,
    // the OFI file as read, the sheet, the spooler's job, the GLF file's
    // size and fingerprint, the archive copy.  What insert wrote stays.
    Status update(const JobRow& row);

    std::optional<JobRow> find(std::int64_t id);
    // Newest first, without their settings snapshots.
    Status history(const HistoryFilter& filter, std::vector<JobRow>& rows);
    // The same rows one by one, for a long history that is written as it is
    // read; the row is valid during the call only.
    Status eachInHistory(const HistoryFilter& filter,
                         const std::function<void(const JobRow&)>& each);
    // The last finished drawing that left its GLF file at `glfPath`.
    std::optional<EarlierDrawing> lastWriterOf(const std::string& glfPath);
    // The drawings that were delivered and could not be deleted, as they
    // were then.
    Status undeletableDrawings(std::vector<UndeletableDrawing>& drawings);
    // The highest id so far; 0 for none.
    std::int64_t lastId();
    // The drawings of `row`'s run before it, in order.
    std::vector<JobRow> earlierInRun(const JobRow& row);

private:
    Status openFile(const std::filesystem::path& file, bool readOnly);
    Status migrate();
    Status failure(const std::string& what);
    // A statement prepared once per connection.
    sqlite3_stmt* kept(const std::string& sql);

    sqlite3* db_ = nullptr;
    bool damaged_ = false;
    std::map<std::string, sqlite3_stmt*> kept_;
};

} // namespace kesto
