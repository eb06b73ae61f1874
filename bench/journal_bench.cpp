// What the journal and the archive cost: a run of 1,000 small drawings with
// and without them (the median time per drawing and the whole run) for each
// way a drawing can go (nowhere, GLF files, a socket plotter, a private print
// server's queue), the history over 100,000 jobs, and the archive's copy of
// a 50 MB drawing against a plain copy.  Targets: under 1 ms per drawing at
// the median, under 5 % on the run, under 200 ms for the history, the
// archive copy no dearer than one plain copy (flushed, as the archive's is).
// Beside the runs' difference, which moves from run to run by more than the
// journal costs, each run with the journal gives its time inside the
// journal's calls (what the run waited for) and the CPU time of the
// journal's thread.  Runs go to TMPDIR (default /tmp): put it on the disk
// the program folder will use.
//
//   kesto_journal_bench [runs|local|server|transactions|history|archive]
//   (local: runs without a socket or print server; server: only the print
//   server's; transactions: the journal's writes alone)

#include "composer/OfiComposer.h"
#include "delivery/Spooler.h"
#include "io/FileBytes.h"
#include "job/Archive.h"
#include "job/HistoryFormat.h"
#include "job/JobRun.h"
#include "job/Journal.h"
#include "job/JournalRecorder.h"
#include "settings/Vocabulary.h"

#include <sqlite3.h>

#ifdef KESTO_BENCH_SOCKET
#include "CaptureListener.h"
#include "PrivateCupsd.h"
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace kesto;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kDrawings = 1000;
constexpr int kJobs = 100000;
constexpr std::size_t kLargeMb = 50;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

fs::path freshFolder(const std::string& tag) {
    const fs::path p = fs::temp_directory_path() /
                       ("kesto-journal-bench-" + tag + "-" + std::to_string(::getpid()));
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
}

// Times every drawing from its "出図中" line to the next one.
class TimingHost : public JobHost {
public:
    FieldTexts fields;
    std::string folder;
    std::string printer = "bench";
    std::vector<Clock::time_point> starts;
    std::atomic<bool> cancel{false};

    void appendStatus(const std::string& line) override {
        if (line.ends_with("　出図中")) starts.push_back(Clock::now());
    }
    void replaceLastStatus(const std::string&) override {}
    void explainLastStatus(const std::string& r) override {
        std::fprintf(stderr, "%s\n", r.c_str());
    }
    void letEventsRun() override {}
    std::atomic<bool>& cancelFlag() override { return cancel; }
    std::optional<ManualChoice> chooseFiles(const std::string&) override { return std::nullopt; }
    std::string folderField() override { return folder; }
    void setFolderField(const std::string& f) override { folder = f; }
    std::string printerField() override { return printer; }
    void setPrinterField(const std::string&) override {}
    FieldTexts fieldTexts() override { return fields; }
    unsigned pollingInterval() override { return 0; }
    void runStarted() override {}
    void runFinished(bool) override {}
};

class NullSpooler : public Spooler {
public:
    Status sendFile(const fs::path&, const std::string&, int*) override { return {}; }
    std::string defaultPrinter() override { return "bench"; }
    std::vector<std::string> printers() override { return {"bench"}; }
};

struct RunFigures {
    double medianMs = 0;
    double totalMs = 0;
    double callsMs = 0;  // the run's time inside the journal's calls
    double threadMs = 0; // CPU time of the other threads: the journal's, a listening plotter's
};

double cpuMs(int who) {
    rusage use{};
    ::getrusage(who, &use);
    return (use.ru_utime.tv_sec + use.ru_stime.tv_sec) * 1e3 +
           (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e3;
}

// The journal as the run sees it, each call timed: what the run waits for.
// The differences of whole runs move by more than the journal costs from one
// run to the next (the file system, the other core); these do not.
class TimedRecorder : public JobRecorder {
public:
    explicit TimedRecorder(JobRecorder& inner) : inner_(inner) {}
    double ms = 0;

    void runStarted(const JobSettings& s) override {
        time([&] { inner_.runStarted(s); });
    }
    bool plottedBefore(const fs::path& ofi) override {
        return time([&] { return inner_.plottedBefore(ofi); });
    }
    void drawingStarted(const DrawingStart& d) override {
        time([&] { inner_.drawingStarted(d); });
    }
    Status mayWrite(const fs::path& ofi, const std::string& name, const fs::path& glf) override {
        return time([&] { return inner_.mayWrite(ofi, name, glf); });
    }
    void converted(const fs::path& glf, const FileResult& r, const ConversionState& st) override {
        time([&] { inner_.converted(glf, r, st); });
    }
    void sent(int job) override {
        time([&] { inner_.sent(job); });
    }
    Status keepCopy(const fs::path& ofi, const FileIdentity& id) override {
        return time([&] { return inner_.keepCopy(ofi, id); });
    }
    void drawingEnded(JobEnding outcome, const std::string& reason) override {
        time([&] { inner_.drawingEnded(outcome, reason); });
    }
    void runEnded() override {
        time([&] { inner_.runEnded(); });
    }

private:
    template <class F> auto time(F f) -> decltype(f()) {
        const auto start = Clock::now();
        struct Add {
            double& ms;
            Clock::time_point start;
            ~Add() {
                ms += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            }
        } add{ms, start};
        return f();
    }
    JobRecorder& inner_;
};

// Where the drawings go: nowhere (the journal's cost against the run alone),
// a plotter on a socket, a print server's queue (the plot server's way), or
// GLF files left beside the OFI files.
struct Delivery {
    const char* name;
    Spooler& spooler;
    std::string printer;
    std::string_view output = words::kToPlotter;
};

RunFigures timeRun(const std::string& tag, bool journal, const char* finishedFiles,
                   const Delivery& delivery, bool archive) {
    const fs::path folder = freshFolder(tag);
    if (!archive) std::ofstream(folder / "Kesto.conf") << "archive = off\n";
    // An office's program folder has its journal already: making one is
    // not what a run costs.
    if (journal) {
        Journal made;
        if (Status s = made.open(folder); !s) std::fprintf(stderr, "%s\n", s.reason().c_str());
    }
    OfiComposer d;
    d.titleUtf8("ベンチ図面", "B1");
    d.scale(10).page(1000, 700, 1000, 700).lineStyle(0x02);
    for (int i = 0; i < 50; ++i)
        d.line(std::uint16_t(i * 20), 0, 1000, std::uint16_t(i * 14));
    d.end();
    const auto bytes = d.view();
    const auto old = fs::file_time_type::clock::now() - std::chrono::minutes(5);
    for (int i = 0; i < kDrawings; ++i) {
        const fs::path f = folder / ("D" + std::to_string(10000 + i) + ".OFI");
        std::ofstream(f, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        fs::last_write_time(f, old);
    }
    TimingHost host;
    host.folder = folder.string();
    host.fields = {
        {"OfiFMen", "自動"}, {"OfiFEnd", finishedFiles}, {"OfiOut", std::string(delivery.output)}};
    host.printer = delivery.printer;
    JournalRecorder recorder(folder, "auto",
                             [](const std::string& l) { std::fprintf(stderr, "%s\n", l.c_str()); });
    TimedRecorder timed(recorder);
    JobRunOptions options;
    options.programFolder = folder;
    options.settleTime = std::chrono::milliseconds(0);
    if (journal) options.recorder = &timed;
    const double cpuBefore = cpuMs(RUSAGE_SELF) - cpuMs(RUSAGE_THREAD);
    const auto start = Clock::now();
    MinP(host, delivery.spooler, options);
    const auto end = Clock::now();
    const double threadMs = cpuMs(RUSAGE_SELF) - cpuMs(RUSAGE_THREAD) - cpuBefore;
    host.starts.push_back(end);
    std::vector<double> each;
    for (std::size_t i = 1; i < host.starts.size(); ++i)
        each.push_back(ms(host.starts[i] - host.starts[i - 1]));
    fs::remove_all(folder);
    return {median(each), ms(end - start), timed.ms, threadMs};
}

// 保存 keeps the OFI files; 消去 deletes them, once with the archive off (the
// journal alone) and once with the archive's copy of each first.
struct Variant {
    const char* ending;
    bool archive;
    const char* what;
};
constexpr Variant kVariants[] = {{"保存", false, " (journal)"},
                                 {"消去", false, " (journal)"},
                                 {"消去", true, " (journal + archive copy)"}};

void report(const char* where, const Variant& v, const RunFigures& without,
            const RunFigures& with) {
    std::printf("run of %d drawings to %s, OfiFEnd %s%s:\n", kDrawings, where, v.ending, v.what);
    std::printf("  without journal: median %.3f ms a drawing, %.0f ms in all\n", without.medianMs,
                without.totalMs);
    std::printf("  with journal:    median %.3f ms a drawing, %.0f ms in all\n", with.medianMs,
                with.totalMs);
    std::printf("  cost: %+.3f ms a drawing at the median (target < 1), %+.1f %% on the run "
                "(target < 5)\n",
                with.medianMs - without.medianMs,
                100.0 * (with.totalMs - without.totalMs) / without.totalMs);
    std::printf("  the run inside the journal's calls: %.1f ms, %.1f %% of the run without it "
                "(its thread's CPU beside the run: %.1f ms)\n",
                with.callsMs, 100.0 * with.callsMs / without.totalMs, with.threadMs);
}

// The runs with and without the journal take turns at going first (a file
// system slows down creating files after many were deleted, whichever run
// comes second); the medians of five rounds are given with the spread of
// the runs' totals, and the median of each round's own difference.  A run is
// given whether it has the journal.
void compare(const char* where, const Variant& v,
             const std::function<std::optional<RunFigures>(bool)>& run) {
    constexpr int kRounds = 5;
    std::vector<double> medians[2], totals[2]; // [0] without, [1] with the journal
    std::vector<double> calls, threads[2];     // the run's other threads' CPU
    for (int round = 0; round < kRounds; ++round)
        for (int turn = 0; turn < 2; ++turn) {
            const bool journal = (round + turn) % 2 == 0;
            const std::optional<RunFigures> f = run(journal);
            if (!f) return;
            medians[journal].push_back(f->medianMs);
            totals[journal].push_back(f->totalMs);
            threads[journal].push_back(f->threadMs);
            if (journal) calls.push_back(f->callsMs);
        }
    report(where, v, {median(medians[0]), median(totals[0])},
           {median(medians[1]), median(totals[1]), median(calls),
            // A plotter on a socket listens on threads of this program too.
            median(threads[1]) - median(threads[0])});
    for (const int journal : {0, 1})
        std::printf("  %s: runs of %.0f to %.0f ms over %d rounds\n",
                    journal ? "with journal   " : "without journal",
                    *std::min_element(totals[journal].begin(), totals[journal].end()),
                    *std::max_element(totals[journal].begin(), totals[journal].end()), kRounds);
    // Each round's two runs side by side: a machine that slows down or
    // speeds up over the rounds moves both.
    std::vector<double> paired;
    for (int round = 0; round < kRounds; ++round)
        paired.push_back(100.0 * (totals[1][round] - totals[0][round]) / totals[0][round]);
    std::sort(paired.begin(), paired.end());
    std::printf("  the rounds' own differences: %+.1f %% at the median (from %+.1f to %+.1f)\n",
                median(paired), paired.front(), paired.back());
}

void benchRuns(const Delivery& delivery) {
    for (const Variant& v : kVariants)
        compare(delivery.name, v, [&](bool journal) -> std::optional<RunFigures> {
            return timeRun(journal ? "journal" : "plain", journal, v.ending, delivery,
                           journal && v.archive);
        });
}

#ifdef KESTO_BENCH_SOCKET
// A print server's queue (the plot server's way).  A server keeps every
// job it was given and grows slower with them, so each run has a server of
// its own, started afresh.
void benchPrintServer(const kesto::test::CaptureListener& plotter) {
    for (const Variant& v : kVariants)
        compare("a print server's queue (each run its own server)", v,
                [&](bool journal) -> std::optional<RunFigures> {
                    kesto::test::PrivateCupsd cupsd;
                    if (!cupsd.start()) {
                        std::fprintf(stderr, "print server: %s\n", cupsd.error().c_str());
                        return std::nullopt;
                    }
                    cupsd.useAsDefaultServer();
                    if (!cupsd.addRawQueue("kesto-bench", plotter.uri())) return std::nullopt;
                    const std::unique_ptr<Spooler> system = makeSystemSpooler();
                    return timeRun(journal ? "journal" : "plain", journal, v.ending,
                                   {"a print server's queue", *system, "kesto-bench"},
                                   journal && v.archive);
                });
}
#endif

// The journal's own work for a drawing, without a run: its start and its
// end, each a transaction, as the journal's thread writes them.
void benchTransactions() {
    const fs::path folder = freshFolder("transactions");
    Journal journal;
    if (Status s = journal.open(folder); !s) {
        std::fprintf(stderr, "%s\n", s.reason().c_str());
        return;
    }
    JobRow row;
    row.run = "plotserver:4242:1700000000000";
    row.kind = "auto";
    row.host = "plotserver";
    row.user = "cad";
    row.programFolder = folder.string();
    row.title = "ベンチ図面 B1";
    row.settings = settingsText(defaultSettings(folder));
    row.output = std::string(words::kToPlotter);
    row.printer = "Plotter1";
    const auto start = Clock::now();
    for (int i = 0; i < kDrawings; ++i) {
        row.id = 0;
        row.seq = i + 1;
        row.startedMs = 1700000000000 + i;
        row.ofiName = "D" + std::to_string(10000 + i) + ".OFI";
        row.ofiPath = (folder / row.ofiName).string();
        row.glfPath = (folder / ("D" + std::to_string(10000 + i) + ".GLF")).string();
        row.outcome = outcome::kRunning;
        if (Status s = journal.insert(row); !s)
            return (void)std::fprintf(stderr, "%s\n", s.reason().c_str());
        row.endedMs = row.startedMs + 1;
        row.ofiSha256 = row.glfSha256 = std::string(64, 'a');
        row.outcome = outcome::kFinished;
        if (Status s = journal.update(row); !s)
            return (void)std::fprintf(stderr, "%s\n", s.reason().c_str());
    }
    const double took = ms(Clock::now() - start);
    std::printf("journal alone, %d drawings (a start and an end each): %.1f ms, %.1f us a "
                "transaction\n",
                kDrawings, took, took * 1000 / (2 * kDrawings));
    fs::remove_all(folder);
}

void benchHistory() {
    const fs::path folder = freshFolder("history");
    std::FILE* devNull = std::fopen("/dev/null", "wb");
    {
        Journal journal;
        if (Status s = journal.open(folder); !s) {
            std::fprintf(stderr, "%s\n", s.reason().c_str());
            return;
        }
    }
    sqlite3* db = nullptr;
    sqlite3_open((folder / kJournalFileName).string().c_str(), &db);
    const std::string fill =
        "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < " +
        std::to_string(kJobs) +
        ") INSERT INTO jobs (run, seq, kind, started, ended, host, user, ofi_path, ofi_name,"
        " title, output, printer, glf_sha256, outcome, reason, settings)"
        " SELECT 'r' || (x / 50), x % 50, 'AUTO5', 1700000000000 + x * 60000,"
        " 1700000000000 + x * 60000 + 900, 'plotserver', 'cad', '/srv/ofi/PLAN-' || x || '.OFI',"
        " 'PLAN-' || x || '.OFI', '配置図 PLAN-' || x || ' ,01', 'ﾌﾟﾛｯﾀ', 'Plotter1',"
        " hex(randomblob(32)), CASE WHEN x % 17 = 0 THEN '失敗' ELSE '終了' END,"
        " CASE WHEN x % 17 = 0 THEN 'the queue refused the job' ELSE '' END,"
        " ?1 FROM n";
    // Every job with the whole settings snapshot a real run records.
    const std::string settings = settingsText(defaultSettings(folder));
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, fill.c_str(), -1, &insert, nullptr);
    sqlite3_bind_text(insert, 1, settings.data(), int(settings.size()), SQLITE_STATIC);
    sqlite3_step(insert);
    sqlite3_finalize(insert);
    sqlite3_close(db);
    // As kesto-cli answers: the table from all rows, JSON while it is read.
    const auto answer = [&](const char* what, HistoryFilter filter, bool json) {
        const auto start = Clock::now();
        Journal journal;
        Status s = journal.openForReading(folder);
        std::size_t jobs = 0, bytes = 0;
        if (s && !json) {
            std::vector<JobRow> rows;
            s = journal.history(filter, rows);
            jobs = rows.size();
            bytes = historyTable(rows).size();
        } else if (s) {
            HistoryStream out(HistoryForm::Json, [&](std::string_view text) {
                bytes += std::fwrite(text.data(), 1, text.size(), devNull);
            });
            s = journal.eachInHistory(filter, [&](const JobRow& row) {
                out.add(row);
                ++jobs;
            });
            out.finish();
        }
        std::printf("  %-44s %7.1f ms (%zu jobs, %zu bytes)%s\n", what, ms(Clock::now() - start),
                    jobs, bytes, s ? "" : (" FAILED: " + s.reason()).c_str());
    };
    std::printf("history over %d jobs (target < 200 ms):\n", kJobs);
    answer("newest 100 (kesto-cli history)", {}, false);
    HistoryFilter failed;
    failed.outcome = "失敗";
    answer("--outcome 失敗 (newest 100)", failed, false);
    HistoryFilter title;
    title.title = "PLAN-4242 ";
    answer("--title PLAN-4242 (the whole journal read)", title, false);
    HistoryFilter all;
    all.limit = 0;
    answer("--limit 0 --json (every job, to /dev/null)", all, true);
    {
        const auto start = Clock::now();
        Journal journal;
        (void)journal.openForReading(folder);
        std::size_t jobs = 0;
        (void)journal.eachInHistory(all, [&](const JobRow&) { ++jobs; });
        std::printf("  %-44s %7.1f ms (%zu jobs)\n", "  of it reading", ms(Clock::now() - start),
                    jobs);
    }
    std::fclose(devNull);
    fs::remove_all(folder);
}

void benchArchive() {
    const fs::path folder = freshFolder("archive");
    const fs::path large = folder / "LARGE.OFI";
    {
        std::vector<char> block(1 << 20, 'x');
        std::ofstream out(large, std::ios::binary);
        for (std::size_t i = 0; i < kLargeMb; ++i)
            out.write(block.data(), std::streamsize(block.size()));
    }
    FileIdentity identity;
    (void)fileIdentity(large, identity);
    const auto plain = [&](bool flushed) {
        const fs::path to = folder / (flushed ? "flushed.copy" : "plain.copy");
        const auto start = Clock::now();
        fs::copy_file(large, to, fs::copy_options::overwrite_existing);
        if (flushed) {
            const int fd = ::open(to.c_str(), O_RDONLY);
            ::fsync(fd);
            ::close(fd);
        }
        return ms(Clock::now() - start);
    };
    const double copy = plain(false), flushedCopy = plain(true);
    Archive archive(folder / "archive");
    const auto start = Clock::now();
    fs::path kept;
    const Status s = archive.keep(large, identity, &kept);
    const double archived = ms(Clock::now() - start);
    std::printf("archive copy of a %zu MB drawing:\n", kLargeMb);
    std::printf("  plain copy %.1f ms, plain copy flushed to the disk %.1f ms, archive %.1f ms%s\n",
                copy, flushedCopy, archived, s ? "" : (" FAILED: " + s.reason()).c_str());
    fs::remove_all(folder);
}

} // namespace

// One part, or all of them.
int main(int argc, char** argv) {
    const std::string part = argc > 1 ? argv[1] : "";
    const auto wanted = [&](const char* name) { return part.empty() || part == name; };
    if (wanted("runs") || part == "local") {
        NullSpooler nowhere;
        benchRuns({"no plotter", nowhere, "bench"});
        benchRuns({"GLF files beside the OFI files", nowhere, "", words::kToFile});
    }
#ifdef KESTO_BENCH_SOCKET
    if (wanted("runs") || part == "server") {
        kesto::test::CaptureListener plotter;
        const std::unique_ptr<Spooler> system = makeSystemSpooler();
        if (plotter.listening() && part != "server")
            benchRuns({"a socket plotter", *system, plotter.uri()});
        if (kesto::test::PrivateCupsd::installed() && plotter.listening())
            benchPrintServer(plotter);
    }
#endif
    if (wanted("transactions")) benchTransactions();
    if (wanted("history")) benchHistory();
    if (wanted("archive")) benchArchive();
    return 0;
}
