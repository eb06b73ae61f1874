#include "job/Journal.h"

#include "io/NativeText.h"
#include "job/LocalTime.h"
#include "settings/Vocabulary.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <system_error>

namespace kesto {
namespace fs = std::filesystem;
namespace {

// "KEST": tells a kesto journal from any other SQLite database.
constexpr int kApplicationId = 0x4B455354;
constexpr int kBusyTimeoutMs = 2000;

// What the journal's lookups ask of a row, written once: a partial index
// serves a query only when the query repeats its condition word for word.
// (The words hold no quote.)
std::string quoted(std::string_view word) {
    return "'" + std::string(word) + "'";
}
const std::string& stillRunning() {
    static const std::string term = "outcome = " + quoted(outcome::kRunning);
    return term;
}
const std::string& undeletable() {
    static const std::string term = "outcome = " + quoted(outcome::kNotRemoved);
    return term;
}
const std::string& wroteGlfFile() {
    static const std::string term = "substr(outcome, 1, 2) = " + quoted(outcome::kFinished) +
                                    " AND output = " + quoted(words::kToFile);
    return term;
}

// Schema changes, one per version: entry n brings version n to n + 1.
const std::vector<std::string>& migrations() {
    static const std::vector<std::string> steps = {
        "CREATE TABLE jobs ("
        " id INTEGER PRIMARY KEY, run TEXT NOT NULL, seq INTEGER NOT NULL, kind TEXT NOT NULL,"
        " original INTEGER, started INTEGER NOT NULL, ended INTEGER,"
        " host TEXT, user TEXT, program_folder TEXT,"
        " ofi_path BLOB, ofi_name BLOB, ofi_device INTEGER, ofi_inode INTEGER, ofi_size INTEGER,"
        " ofi_mtime_ns INTEGER, ofi_sha256 TEXT, title TEXT, sheet TEXT, rotation INTEGER,"
        " reduction REAL, settings TEXT, output TEXT, printer TEXT, spooler_job TEXT,"
        " glf_path BLOB, glf_size INTEGER, glf_sha256 TEXT, outcome TEXT NOT NULL, reason TEXT,"
        " archive_path BLOB);"
        "CREATE INDEX jobs_started ON jobs(started);"
        "CREATE INDEX jobs_glf ON jobs(glf_path);"
        "CREATE INDEX jobs_ofi ON jobs(ofi_path);"
        "CREATE INDEX jobs_run ON jobs(run, seq);",
        // Every drawing wrote four indexes with long keys; only the few rows
        // a lookup wants are indexed now: a drawing still running (a killed
        // run's, found at the next start), one that could not be deleted, a
        // finished GLF file.  The history goes by id.
        "DROP INDEX jobs_started; DROP INDEX jobs_glf; DROP INDEX jobs_ofi; DROP INDEX jobs_run;"
        "CREATE INDEX jobs_running ON jobs(id) WHERE " +
            stillRunning() +
            ";"
            "CREATE INDEX jobs_undeletable ON jobs(ofi_path) WHERE " +
            undeletable() +
            ";"
            "CREATE INDEX jobs_glf_written ON jobs(glf_path) WHERE " +
            wroteGlfFile() + ";",
    };
    return steps;
}

constexpr const char* kColumns =
    "id, run, seq, kind, original, started, ended, host, user, program_folder, ofi_path, "
    "ofi_name, ofi_device, ofi_inode, ofi_size, ofi_mtime_ns, ofi_sha256, title, sheet, "
    "rotation, reduction, settings, output, printer, spooler_job, glf_path, glf_size, "
    "glf_sha256, outcome, reason, archive_path";
constexpr int kColumnCount = 31;

// One prepared statement, finalized on every way out.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) stmt_ = nullptr;
    }
    // One of the journal's kept statements: reset for the next use, not finalized.
    explicit Statement(sqlite3_stmt* kept) : stmt_(kept), kept_(true) {}
    ~Statement() {
        if (!kept_) {
            sqlite3_finalize(stmt_);
        } else if (stmt_) {
            sqlite3_reset(stmt_);
            sqlite3_clear_bindings(stmt_);
        }
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    explicit operator bool() const { return stmt_ != nullptr; }
    sqlite3_stmt* get() const { return stmt_; }
    void text(int i, const std::string& s) {
        sqlite3_bind_text(stmt_, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    }
    void blob(int i, const std::string& s) {
        sqlite3_bind_blob(stmt_, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    }
    void integer(int i, std::int64_t v) { sqlite3_bind_int64(stmt_, i, v); }
    void real(int i, double v) { sqlite3_bind_double(stmt_, i, v); }
    int step() { return sqlite3_step(stmt_); }

    std::string column(int i) const {
        std::string text;
        column(i, text);
        return text;
    }
    // Into `text`, whose room is used again.
    void column(int i, std::string& text) const {
        const void* p = sqlite3_column_blob(stmt_, i);
        const int n = sqlite3_column_bytes(stmt_, i);
        text.assign(p ? static_cast<const char*>(p) : "", p ? static_cast<std::size_t>(n) : 0);
    }
    std::int64_t number(int i) const { return sqlite3_column_int64(stmt_, i); }

private:
    sqlite3_stmt* stmt_ = nullptr;
    bool kept_ = false;
};

// Binds the row's fields from parameter `first` on, in kColumns' order
// without the id.
void bindRow(Statement& s, const JobRow& r, int first) {
    int i = first;
    s.text(i++, r.run);
    s.integer(i++, r.seq);
    s.text(i++, r.kind);
    s.integer(i++, r.original);
    s.integer(i++, r.startedMs);
    s.integer(i++, r.endedMs);
    s.text(i++, r.host);
    s.text(i++, r.user);
    s.text(i++, r.programFolder);
    s.blob(i++, r.ofiPath);
    s.blob(i++, r.ofiName);
    s.integer(i++, static_cast<std::int64_t>(r.ofiIdentity.device));
    s.integer(i++, static_cast<std::int64_t>(r.ofiIdentity.inode));
    s.integer(i++, static_cast<std::int64_t>(r.ofiIdentity.size));
    s.integer(i++, r.ofiIdentity.modifiedNs);
    s.text(i++, r.ofiSha256);
    s.text(i++, r.title);
    s.text(i++, r.sheet);
    s.integer(i++, r.rotation);
    s.real(i++, r.reduction);
    s.text(i++, r.settings);
    s.text(i++, r.output);
    s.text(i++, r.printer);
    s.text(i++, r.spoolerJob);
    s.blob(i++, r.glfPath);
    s.integer(i++, static_cast<std::int64_t>(r.glfSize));
    s.text(i++, r.glfSha256);
    s.text(i++, r.outcome);
    s.text(i++, r.reason);
    s.blob(i++, r.archivePath);
}

// Fills `r` from the statement's columns, in kColumns' order.
void readRow(const Statement& s, JobRow& r) {
    int i = 0;
    r.id = s.number(i++);
    s.column(i++, r.run);
    r.seq = static_cast<int>(s.number(i++));
    s.column(i++, r.kind);
    r.original = s.number(i++);
    r.startedMs = s.number(i++);
    r.endedMs = s.number(i++);
    s.column(i++, r.host);
    s.column(i++, r.user);
    s.column(i++, r.programFolder);
    s.column(i++, r.ofiPath);
    s.column(i++, r.ofiName);
    r.ofiIdentity.device = static_cast<std::uint64_t>(s.number(i++));
    r.ofiIdentity.inode = static_cast<std::uint64_t>(s.number(i++));
    r.ofiIdentity.size = static_cast<std::uint64_t>(s.number(i++));
    r.ofiIdentity.modifiedNs = s.number(i++);
    s.column(i++, r.ofiSha256);
    s.column(i++, r.title);
    s.column(i++, r.sheet);
    r.rotation = static_cast<int>(s.number(i++));
    r.reduction = sqlite3_column_double(s.get(), i++);
    s.column(i++, r.settings);
    s.column(i++, r.output);
    s.column(i++, r.printer);
    s.column(i++, r.spoolerJob);
    s.column(i++, r.glfPath);
    r.glfSize = static_cast<std::uint64_t>(s.number(i++));
    s.column(i++, r.glfSha256);
    s.column(i++, r.outcome);
    s.column(i++, r.reason);
    s.column(i++, r.archivePath);
}

JobRow readRow(const Statement& s) {
    JobRow r;
    readRow(s, r);
    return r;
}

std::string placeholders(int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += i == 0 ? "?" : ", ?";
    return s;
}

std::string brokenSuffix() {
    return localTime(std::time(nullptr), "%Y%m%d-%H%M%S");
}

// Moves the journal and its companions aside; nothing is deleted.
Status moveAside(const fs::path& file, std::string& movedTo) {
    const std::string base = utf8FromPath(file.filename()) + ".broken-" + brokenSuffix();
    fs::path target = file.parent_path() / pathFromUtf8(base);
    std::error_code ec;
    for (int n = 2; fs::exists(target, ec); ++n)
        target = file.parent_path() / pathFromUtf8(base + "-" + std::to_string(n));
    fs::rename(file, target, ec);
    if (ec) return Status::failure(utf8FromPath(file) + ": " + ec.message());
    for (const char* companion : {"-wal", "-shm"}) {
        fs::path from = file;
        from += companion;
        fs::path to = target;
        to += companion;
        if (fs::exists(from, ec)) fs::rename(from, to, ec);
    }
    movedTo = utf8FromPath(target);
    return {};
}

bool isBroken(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

} // namespace

Journal::~Journal() {
    close();
}

void Journal::close() {
    for (auto& [sql, stmt] : kept_)
        sqlite3_finalize(stmt);
    kept_.clear();
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

sqlite3_stmt* Journal::kept(const std::string& sql) {
    auto it = kept_.find(sql);
    if (it != kept_.end()) return it->second;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) return nullptr;
    kept_.emplace(sql, stmt);
    return stmt;
}

Status Journal::failure(const std::string& what) {
    if (db_ && isBroken(sqlite3_extended_errcode(db_))) damaged_ = true;
    return Status::failure(std::string(kJournalFileName) + ": " + what + ": " +
                           (db_ ? sqlite3_errmsg(db_) : "cannot be opened"));
}

Status Journal::openFile(const fs::path& file, bool readOnly) {
    close();
    damaged_ = false;
    const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    const int rc = sqlite3_open_v2(utf8FromPath(file).c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        Status s = failure("開けません");
        close();
        return s;
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db_, 1);
    return {};
}

Status Journal::openForReading(const fs::path& programFolder) {
    const fs::path file = programFolder / kJournalFileName;
    std::error_code ec;
    if (!fs::exists(file, ec))
        return Status::failure(utf8FromPath(file) + ": 履歴がありません（まだ出図していません）");
    if (Status s = openFile(file, true); !s) return s;
    Statement check(db_, "PRAGMA application_id");
    if (!check || check.step() != SQLITE_ROW || check.number(0) != kApplicationId) {
        Status s = failure("kesto の履歴ではありません");
        close();
        return s;
    }
    return {};
}

Status Journal::open(const fs::path& programFolder, std::string* note, Check check) {
    const fs::path file = programFolder / kJournalFileName;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (Status s = openFile(file, false); !s) return s;
        // What the file is: ours, another program's, damaged, or new.
        int rc = SQLITE_OK;
        std::int64_t appId = 0, tables = 0;
        {
            Statement id(db_, "PRAGMA application_id");
            rc = id ? id.step() : sqlite3_errcode(db_);
            if (rc == SQLITE_ROW) appId = id.number(0);
        }
        if (rc == SQLITE_ROW) {
            Statement count(db_, "SELECT count(*) FROM sqlite_master");
            rc = count ? count.step() : sqlite3_errcode(db_);
            if (rc == SQLITE_ROW) tables = count.number(0);
        }
        if (rc == SQLITE_ROW && (appId == kApplicationId || (appId == 0 && tables == 0))) {
            // Every page is read only when asked: the check grows with the
            // journal, and damage inside is found by the first write it spoils.
            bool healthy = check == Check::Header;
            if (!healthy) {
                Statement pages(db_, "PRAGMA quick_check");
                rc = pages ? pages.step() : sqlite3_errcode(db_);
                healthy = rc == SQLITE_ROW && pages.column(0) == "ok";
            }
            if (healthy) return migrate();
            if (rc == SQLITE_ROW) rc = SQLITE_CORRUPT;
        }
        if (rc != SQLITE_ROW && !isBroken(rc)) {
            Status s = failure("使えません");
            close();
            return s;
        }
        // Not ours, or damaged: moved aside, a new one started.
        close();
        std::string movedTo;
        if (Status moved = moveAside(file, movedTo); !moved) return moved;
        if (note)
            *note = std::string(kJournalFileName) + " は kesto の履歴でないか壊れているため " +
                    movedTo + " に移し、新しい履歴を始めます";
    }
    return Status::failure(std::string(kJournalFileName) + ": 新しい履歴も使えません");
}

Status Journal::migrate() {
    const auto fail = [this](const std::string& what) {
        Status s = failure(what);
        close();
        return s;
    };
    // NORMAL: a commit is not flushed by itself (a kill loses nothing; a
    // power cut may lose the last events, never the journal).  The write-ahead
    // log is copied back in larger steps, and at the end of each run.
    if (sqlite3_exec(db_,
                     "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                     " PRAGMA wal_autocheckpoint=8000",
                     nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail("WAL にできません");
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail("書けません");
    int version = -1;
    {
        Statement get(db_, "PRAGMA user_version");
        if (get && get.step() == SQLITE_ROW) version = static_cast<int>(get.number(0));
    }
    if (version < 0 || version > kSchemaVersion) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        Status s = version < 0 ? failure("版が読めません")
                               : Status::failure(std::string(kJournalFileName) +
                                                 ": より新しい kesto の履歴です（版 " +
                                                 std::to_string(version) + "）");
        close();
        return s;
    }
    if (version == kSchemaVersion) { // nothing to write
        sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        return {};
    }
    for (int v = version; v < kSchemaVersion; ++v) {
        if (sqlite3_exec(db_, migrations().at(v).c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            Status s = failure("版 " + std::to_string(v + 1) + " にできません");
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            close();
            return s;
        }
    }
    const std::string stamp = "PRAGMA application_id=" + std::to_string(kApplicationId) +
                              "; PRAGMA user_version=" + std::to_string(kSchemaVersion) +
                              "; COMMIT";
    if (sqlite3_exec(db_, stamp.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        Status s = failure("書けません");
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        close();
        return s;
    }
    return {};
}

void Journal::checkpoint() {
    if (db_) sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
}

Status Journal::markInterrupted() {
    if (!db_) return Status::failure(std::string(kJournalFileName) + ": 開いていません");
    Statement s(db_, "UPDATE jobs SET outcome = ?, reason = ? WHERE " + stillRunning());
    if (!s) return failure("書けません");
    s.text(1, outcome::kInterrupted);
    s.text(2, "出図中にプログラムが終わりました（強制終了、停電など）");
    return s.step() == SQLITE_DONE ? Status{} : failure("書けません");
}

Status Journal::insert(JobRow& row) {
    if (!db_) return Status::failure(std::string(kJournalFileName) + ": 開いていません");
    static const std::string sql = std::string("INSERT INTO jobs (") + kColumns + ") VALUES (" +
                                   placeholders(kColumnCount) + ")";
    Statement s(kept(sql));
    if (!s) return failure("書けません");
    if (row.id != 0) s.integer(1, row.id); // else NULL: the next id
    bindRow(s, row, 2);
    if (s.step() != SQLITE_DONE) return failure("書けません");
    row.id = sqlite3_last_insert_rowid(db_);
    return {};
}

std::int64_t Journal::lastId() {
    if (!db_) return 0;
    Statement s(db_, "SELECT max(id) FROM jobs");
    return s && s.step() == SQLITE_ROW ? s.number(0) : 0;
}

Status Journal::update(const JobRow& row) {
    if (!db_) return Status::failure(std::string(kJournalFileName) + ": 開いていません");
    // What a drawing learns after its start; the indexed paths stay as the
    // start wrote them (the partial indexes follow the outcome).
    Statement s(kept("UPDATE jobs SET ended = ?1, ofi_device = ?2, ofi_inode = ?3,"
                     " ofi_size = ?4, ofi_mtime_ns = ?5, ofi_sha256 = ?6, sheet = ?7,"
                     " rotation = ?8, spooler_job = ?9, glf_size = ?10, glf_sha256 = ?11,"
                     " outcome = ?12, reason = ?13, archive_path = ?14 WHERE id = ?15"));
    if (!s) return failure("書けません");
    s.integer(1, row.endedMs);
    s.integer(2, static_cast<std::int64_t>(row.ofiIdentity.device));
    s.integer(3, static_cast<std::int64_t>(row.ofiIdentity.inode));
    s.integer(4, static_cast<std::int64_t>(row.ofiIdentity.size));
    s.integer(5, row.ofiIdentity.modifiedNs);
    s.text(6, row.ofiSha256);
    s.text(7, row.sheet);
    s.integer(8, row.rotation);
    s.text(9, row.spoolerJob);
    s.integer(10, static_cast<std::int64_t>(row.glfSize));
    s.text(11, row.glfSha256);
    s.text(12, row.outcome);
    s.text(13, row.reason);
    s.blob(14, row.archivePath);
    s.integer(15, row.id);
    return s.step() == SQLITE_DONE ? Status{} : failure("書けません");
}

std::optional<JobRow> Journal::find(std::int64_t id) {
    if (!db_) return std::nullopt;
    Statement s(db_, std::string("SELECT ") + kColumns + " FROM jobs WHERE id = ?");
    if (!s) return std::nullopt;
    s.integer(1, id);
    if (s.step() != SQLITE_ROW) return std::nullopt;
    return readRow(s);
}

Status Journal::history(const HistoryFilter& filter, std::vector<JobRow>& rows) {
    return eachInHistory(filter, [&rows](const JobRow& row) { rows.push_back(row); });
}

Status Journal::eachInHistory(const HistoryFilter& filter,
                              const std::function<void(const JobRow&)>& each) {
    if (!db_) return Status::failure(std::string(kJournalFileName) + ": 開いていません");
    // A list leaves out the settings snapshot (find gives the whole row).
    static const std::string columns = [] {
        std::string c = kColumns;
        c.replace(c.find(" settings,"), 10, " '',");
        return c;
    }();
    std::string sql = "SELECT " + columns +
                      // "+started": newest first by id, not through a first-version
                      // journal's time index (reading does not bring it up)
                      " FROM jobs WHERE +started >= ?1 AND +started < ?2"
                      " AND substr(outcome, 1, length(?3)) = ?3"
                      " AND instr(title, ?4) > 0 ORDER BY id DESC";
    if (filter.limit > 0) sql += " LIMIT " + std::to_string(filter.limit);
    Statement s(db_, sql);
    if (!s) return failure("読めません");
    s.integer(1, filter.sinceMs.value_or(INT64_MIN));
    s.integer(2, filter.untilMs.value_or(INT64_MAX));
    s.text(3, filter.outcome);
    s.text(4, filter.title);
    JobRow row; // one row's room for all of them
    int rc;
    while ((rc = s.step()) == SQLITE_ROW) {
        readRow(s, row);
        each(row);
    }
    return rc == SQLITE_DONE ? Status{} : failure("読めません");
}

std::optional<EarlierDrawing> Journal::lastWriterOf(const std::string& glfPath) {
    if (!db_) return std::nullopt;
    Statement s(kept("SELECT id, ofi_name, title FROM jobs WHERE glf_path = ? AND " +
                     wroteGlfFile() + " ORDER BY id DESC LIMIT 1"));
    if (!s) return std::nullopt;
    s.blob(1, glfPath);
    if (s.step() != SQLITE_ROW) return std::nullopt;
    return EarlierDrawing{s.number(0), s.column(1), s.column(2)};
}

Status Journal::undeletableDrawings(std::vector<UndeletableDrawing>& drawings) {
    if (!db_) return Status::failure(std::string(kJournalFileName) + ": 開いていません");
    Statement s(db_, "SELECT ofi_path, ofi_device, ofi_inode, ofi_size, ofi_mtime_ns FROM jobs"
                     " WHERE " +
                         undeletable());
    if (!s) return failure("読めません");
    int rc;
    while ((rc = s.step()) == SQLITE_ROW)
        drawings.push_back(
            {s.column(0),
             {static_cast<std::uint64_t>(s.number(1)), static_cast<std::uint64_t>(s.number(2)),
              static_cast<std::uint64_t>(s.number(3)), s.number(4)}});
    return rc == SQLITE_DONE ? Status{} : failure("読めません");
}

std::vector<JobRow> Journal::earlierInRun(const JobRow& row) {
    std::vector<JobRow> rows;
    if (!db_ || row.seq <= 1) return rows;
    // A run's drawings came before it, and runs of one folder do not
    // overlap (they hold its work lock): walked back by id, the walk ends
    // once they are all found.
    Statement s(db_, std::string("SELECT ") + kColumns +
                         " FROM jobs WHERE id < ?1 AND run = ?2 AND seq < ?3"
                         " ORDER BY id DESC LIMIT ?3 - 1");
    if (!s) return rows;
    s.integer(1, row.id);
    s.text(2, row.run);
    s.integer(3, row.seq);
    while (s.step() == SQLITE_ROW)
        rows.push_back(readRow(s));
    std::sort(rows.begin(), rows.end(),
              [](const JobRow& a, const JobRow& b) { return a.seq < b.seq; });
    return rows;
}

} // namespace kesto
