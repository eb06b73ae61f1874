// The memory that outlives a run: the journal (Kesto.db), the archive of
// deleted OFI files, Kesto.conf, reprints, and what runs with a recorder do
// across restarts.
#include "JobTestSupport.h"

#include "io/Sha256.h"
#include "job/Archive.h"
#include "job/JournalRecorder.h"
#include "job/JournalWriter.h"
#include "job/Reprint.h"
#include "ofi/OfiTitle.h"
#include "settings/KestoConf.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <cstdio>

namespace kesto {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using test::ProgramFolder;
using test::RecordingHost;
using Names = std::vector<std::string>;

TEST(KestoConf, ReadsItsKeysAndSkipsWhatItCannotUseWithTheLineNamed) {
    std::vector<std::string> problems;
    const KestoConf conf = parseKestoConf("\xEF\xBB\xBF# comment\r\n"
                                          "archive = off\r\n"
                                          "archive_days=7\n"
                                          "archive_max_mb = 10\n"
                                          "failure_command = /usr/bin/notify \"two words\" x\n"
                                          "failure_timeout = 5\n"
                                          "archive_days = -1\n"
                                          "archive = yes\n"
                                          "colour = blue\n"
                                          "no equals sign\n"
                                          "archive_max_mb = 1099511627777\n" // one past 2^40
                                          "failure_timeout = 0\n"
                                          "archive_days = 8 days\n"
                                          "archive =\n",
                                          &problems);
    EXPECT_FALSE(conf.archive);
    EXPECT_EQ(conf.archiveDays, 7);
    EXPECT_EQ(conf.archiveMaxBytes, 10u << 20);
    EXPECT_EQ(conf.failureCommand, (Names{"/usr/bin/notify", "two words", "x"}));
    EXPECT_EQ(conf.failureTimeoutSeconds, 5);
    ASSERT_EQ(problems.size(), 8u);
    EXPECT_NE(problems[0].find("7行目"), std::string::npos) << problems[0];
    const KestoConf defaults = parseKestoConf("", nullptr);
    EXPECT_TRUE(defaults.archive);
    EXPECT_EQ(defaults.archiveDays, 90);
    EXPECT_EQ(defaults.archiveMaxBytes, std::uint64_t{2048} << 20);
}

// Oldest first, by age and then by size; a copy still being written (a
// temporary) is neither counted nor removed.
TEST(ArchivePrune, RemovesTheOldestCopiesUntilWithinBothLimits) {
    const struct {
        std::chrono::hours maxAge;
        std::uint64_t maxBytes;
        Names left;
    } cases[] = {
        {0h, 0, {"1/OLD.OFI", "2/MID.OFI", "3/NEW.OFI"}},
        {24h * 5, 0, {"2/MID.OFI", "3/NEW.OFI"}},
        {0h, 250, {"2/MID.OFI", "3/NEW.OFI"}},
        {0h, 200, {"2/MID.OFI", "3/NEW.OFI"}},
        {0h, 199, {"3/NEW.OFI"}},
        {24h, 1000, {"3/NEW.OFI"}},
    };
    const std::string temporary = "1/.~kesto-0123456789abcdef.tmp";
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.maxAge.count() << " h, " << c.maxBytes << " bytes");
        ProgramFolder root("archive-prune");
        const auto now = fs::file_time_type::clock::now();
        const struct {
            std::string name;
            fs::file_time_type time;
        } copies[] = {{temporary, now - 24h * 30},
                      {"1/OLD.OFI", now - 24h * 10},
                      {"2/MID.OFI", now - 24h * 2},
                      {"3/NEW.OFI", now - 1h}};
        for (const auto& copy : copies) {
            fs::create_directories((root / copy.name).parent_path());
            test::writeBytes(root / copy.name,
                             std::string(copy.name == temporary ? 1000 : 100, 'x'));
            fs::last_write_time(root / copy.name, copy.time);
        }
        Archive(root.path()).prune(c.maxAge, c.maxBytes);
        Names left;
        for (const auto& copy : copies)
            if (copy.name != temporary && fs::exists(root / copy.name)) left.push_back(copy.name);
        EXPECT_EQ(left, c.left);
        EXPECT_TRUE(fs::exists(root / temporary)) << "a copy being written stays";
    }
}

// A drawing saved again after its conversion: the archive keeps nothing of
// it (and the OFI file, not archived, stays).
TEST(ArchiveKeep, KeepsNothingOfAFileThatIsNoLongerTheOneConverted) {
    ProgramFolder folder("archive-keep");
    const fs::path ofi = folder.write("PLAN.OFI", "the drawing converted");
    FileIdentity converted;
    ASSERT_TRUE(fileIdentity(ofi, converted, Links::Followed));
    test::writeBytes(ofi, "the drawing saved again, longer");
    fs::path kept;
    EXPECT_FALSE(Archive(folder / "archive").keep(ofi, converted, &kept));
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(folder / "archive", ec))
        EXPECT_FALSE(e.is_regular_file()) << e.path();
}

class JournalFile : public ::testing::Test {
protected:
    JobRow row(const std::string& title, const char* ending = outcome::kFinished) {
        JobRow r;
        r.run = "test";
        r.kind = "auto";
        r.title = title;
        r.outcome = ending;
        r.startedMs = nowMs();
        return r;
    }
    ProgramFolder folder{"journal"};
};

TEST_F(JournalFile, KeepsItsRowsAcrossOpensAndMarksAKilledRunsDrawingInterrupted) {
    {
        Journal journal;
        ASSERT_TRUE(journal.open(folder.path()));
        JobRow done = row("A"), running = row("B", outcome::kRunning);
        ASSERT_TRUE(journal.insert(done));
        ASSERT_TRUE(journal.insert(running));
    }
    Journal journal;
    std::string note;
    ASSERT_TRUE(journal.open(folder.path(), &note));
    EXPECT_EQ(note, "");
    ASSERT_TRUE(journal.markInterrupted());
    std::vector<JobRow> rows;
    ASSERT_TRUE(journal.history({}, rows));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].title, "B") << "newest first";
    EXPECT_EQ(rows[0].outcome, outcome::kInterrupted);
    EXPECT_EQ(rows[1].outcome, outcome::kFinished);
    HistoryFilter failed;
    failed.outcome = outcome::kInterrupted;
    rows.clear();
    ASSERT_TRUE(journal.history(failed, rows));
    EXPECT_EQ(rows.size(), 1u);
}

// The run deletes an OFI file once a wait for the journal returns: by then
// every event given is written, starts before their ends, whether the
// thread or the waiting run wrote it.
TEST_F(JournalFile, EveryEventGivenIsWrittenInOrderWhenAWaitForTheWriterReturns) {
    Journal journal;
    ASSERT_TRUE(journal.open(folder.path()));
    constexpr int kDrawings = 300;
    HistoryFilter all;
    all.limit = 0;
    {
        JournalWriter writer(journal);
        for (int i = 1; i <= kDrawings; ++i) {
            JobRow r = row("D" + std::to_string(i), outcome::kRunning);
            r.id = i;
            writer.insert(r);
            r.outcome = outcome::kFinished;
            writer.update(r);
            // Some waits while the thread is writing, one after all were given.
            if (i % 7 == 0 || i == kDrawings) {
                ASSERT_TRUE(writer.drain());
                std::vector<JobRow> rows;
                ASSERT_TRUE(journal.history(all, rows));
                ASSERT_EQ(rows.size(), std::size_t(i));
                for (const JobRow& written : rows)
                    ASSERT_EQ(written.outcome, outcome::kFinished) << written.title;
            }
        }
    }
}

TEST_F(JournalFile, AFileThatIsNoKestoJournalIsMovedAsideNotDeletedAndANewOneStarted) {
    const std::string garbage = "this is not a database, but someone's file";
    // Another program's SQLite database.
    sqlite3* other = nullptr;
    const fs::path otherDb = folder / "other.db";
    ASSERT_EQ(sqlite3_open(otherDb.string().c_str(), &other), SQLITE_OK);
    sqlite3_exec(other, "CREATE TABLE t(x); INSERT INTO t VALUES (42)", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    const std::string otherBytes = test::readBytes(otherDb);
    for (const std::string& bytes : {garbage + std::string(5000, 'x'), otherBytes}) {
        ProgramFolder program("journal-broken");
        program.write(kJournalFileName, bytes, false);
        Journal journal;
        std::string note;
        ASSERT_TRUE(journal.open(program.path(), &note));
        EXPECT_NE(note.find("Kesto.db.broken-"), std::string::npos) << note;
        JobRow r = row("A");
        EXPECT_TRUE(journal.insert(r));
        std::string kept;
        for (const auto& e : fs::directory_iterator(program.path()))
            if (e.path().filename().string().starts_with("Kesto.db.broken-"))
                kept = test::readBytes(e.path());
        EXPECT_EQ(kept, bytes) << "the old file is kept as it was";
    }
    // Two broken journals in a row (within the same second): both are kept.
    ProgramFolder program("journal-broken-twice");
    for (const char* bytes : {"first broken journal", "second broken journal"}) {
        program.write(kJournalFileName, std::string(bytes) + std::string(5000, 'x'), false);
        Journal journal;
        ASSERT_TRUE(journal.open(program.path()));
    }
    Names broken;
    for (const auto& e : fs::directory_iterator(program.path()))
        if (e.path().filename().string().starts_with("Kesto.db.broken-"))
            broken.push_back(test::readBytes(e.path()).substr(0, 6));
    std::sort(broken.begin(), broken.end());
    EXPECT_EQ(broken, (Names{"first ", "second"}));
}

TEST_F(JournalFile, AJournalOfANewerKestoIsLeftAsItIs) {
    {
        Journal journal;
        ASSERT_TRUE(journal.open(folder.path()));
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((folder / kJournalFileName).string().c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "PRAGMA user_version = 99", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    Journal journal;
    const Status s = journal.open(folder.path());
    EXPECT_FALSE(s);
    EXPECT_NE(s.reason().find("99"), std::string::npos) << s.reason();
    EXPECT_TRUE(folder.has(kJournalFileName));
}

// A journal the first version made, with its rows: brought to the current
// version, nothing lost, and every lookup still finds what it did.
TEST_F(JournalFile, AFirstVersionJournalIsBroughtUpWithItsRowsAndLookups) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((folder / kJournalFileName).string().c_str(), &db), SQLITE_OK);
    const char* firstVersion =
        "CREATE TABLE jobs (id INTEGER PRIMARY KEY, run TEXT NOT NULL, seq INTEGER NOT NULL,"
        " kind TEXT NOT NULL, original INTEGER, started INTEGER NOT NULL, ended INTEGER,"
        " host TEXT, user TEXT, program_folder TEXT, ofi_path BLOB, ofi_name BLOB,"
        " ofi_device INTEGER, ofi_inode INTEGER, ofi_size INTEGER, ofi_mtime_ns INTEGER,"
        " ofi_sha256 TEXT, title TEXT, sheet TEXT, rotation INTEGER, reduction REAL,"
        " settings TEXT, output TEXT, printer TEXT, spooler_job TEXT, glf_path BLOB,"
        " glf_size INTEGER, glf_sha256 TEXT, outcome TEXT NOT NULL, reason TEXT,"
        " archive_path BLOB);"
        "CREATE INDEX jobs_started ON jobs(started); CREATE INDEX jobs_glf ON jobs(glf_path);"
        "CREATE INDEX jobs_ofi ON jobs(ofi_path); CREATE INDEX jobs_run ON jobs(run, seq);"
        "INSERT INTO jobs (run, seq, kind, started, title, output, ofi_path, ofi_device,"
        " ofi_inode, ofi_size, ofi_mtime_ns, glf_path, outcome) VALUES"
        " ('r1', 1, 'auto', 1, 'A', 'ﾌｧｲﾙ', '/f/A.OFI', 1, 2, 3, 4, '/f/A.GLF', '終了'),"
        " ('r2', 1, 'auto', 2, 'B', 'ﾌﾟﾛｯﾀ', '/f/B.OFI', 1, 5, 6, 7, '/f/B.GLF',"
        "  '終了（削除できません）'),"
        " ('r1', 2, 'auto', 3, 'C', 'ﾌｧｲﾙ', '/f/C.OFI', 1, 8, 9, 10, '/f/C.GLF', '終了'),"
        " ('r1', 3, 'auto', 4, 'D', 'ﾌｧｲﾙ', '/f/D.OFI', 1, 11, 12, 13, '/f/A.GLF', '出図中');"
        // Paths are kept as the bytes the system gave.
        "UPDATE jobs SET ofi_path = CAST(ofi_path AS BLOB), glf_path = CAST(glf_path AS BLOB);"
        "PRAGMA application_id = 1262834516; PRAGMA user_version = 1;";
    ASSERT_EQ(sqlite3_exec(db, firstVersion, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    Journal journal;
    std::string note;
    ASSERT_TRUE(journal.open(folder.path(), &note));
    EXPECT_EQ(note, "");
    const std::optional<EarlierDrawing> writer = journal.lastWriterOf("/f/A.GLF");
    ASSERT_TRUE(writer);
    EXPECT_EQ(writer->title, "A") << "D is still running: it wrote nothing yet";
    EXPECT_FALSE(journal.lastWriterOf("/f/B.GLF")) << "B went to a plotter";
    std::vector<UndeletableDrawing> undeletable;
    ASSERT_TRUE(journal.undeletableDrawings(undeletable));
    ASSERT_EQ(undeletable.size(), 1u);
    EXPECT_EQ(undeletable[0].ofiPath, "/f/B.OFI");
    EXPECT_EQ(undeletable[0].identity, (FileIdentity{1, 5, 6, 7}));
    EXPECT_EQ(journal.lastId(), 4);
    ASSERT_TRUE(journal.markInterrupted());
    std::vector<JobRow> rows;
    ASSERT_TRUE(journal.history({}, rows));
    Names titles, outcomes;
    for (const JobRow& r : rows) {
        titles.push_back(r.title);
        outcomes.push_back(r.outcome);
    }
    EXPECT_EQ(titles, (Names{"D", "C", "B", "A"}));
    EXPECT_EQ(outcomes, (Names{outcome::kInterrupted, outcome::kFinished, outcome::kNotRemoved,
                               outcome::kFinished}));
    titles.clear();
    for (const JobRow& r : journal.earlierInRun(rows[0]))
        titles.push_back(r.title);
    EXPECT_EQ(titles, (Names{"A", "C"})) << "the run's drawings before D, in order";
}

// Runs with the journal and the archive, as the programs make them.
class RecordedRun : public ::testing::Test {
protected:
    void SetUp() override {
        host.folder = folder.path().string();
        host.fields = {{"OfiFMen", "自動"}, {"OfiFEnd", "消去"}, {"OfiOut", "ﾌｧｲﾙ"},
                       {"MojiW", "0.17"},   {"MojiH", "0.11"},   {"MojiX", "-0.2"},
                       {"MojiY", "-0.2"}};
        spooler.programFolder = folder.path();
    }
    // A run of a process of its own: a new recorder, as after a restart.
    RunSummary run() {
        JournalRecorder recorder(folder.path(), "auto",
                                 [this](const std::string& line) { reported.push_back(line); });
        JobRunOptions options;
        options.programFolder = folder.path();
        options.settleTime = 0ms;
        options.recorder = &recorder;
        host.lines.clear();
        host.reasons.clear();
        return MinP(host, spooler, options);
    }
    std::vector<JobRow> history() {
        Journal journal;
        std::vector<JobRow> rows;
        EXPECT_TRUE(journal.openForReading(folder.path()));
        EXPECT_TRUE(journal.history({}, rows));
        return rows;
    }
    std::string drawing(const std::string& name, const std::string& title) {
        return *readTitleLine(folder.write(name, test::smallDrawing(title)).string());
    }
    Names archived() {
        Names names;
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(folder / "archive", ec))
            if (e.is_regular_file()) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    ProgramFolder folder{"recorded"};
    RecordingHost host;
    test::FakeSpooler spooler;
    Names reported;
};

TEST_F(RecordedRun, TwoOfiNamesOfOneGlfAcrossTwoRunsLeaveBothDrawingsRecoverable) {
    drawing("PLAN.V1.OFI", "第一版");
    ASSERT_TRUE(run().allGood());
    const std::string first = test::readBytes(folder / "PLAN.GLF");
    const std::string t2 = drawing("PLAN.V2.OFI", "第二版");
    const RunSummary second = run();

    EXPECT_EQ(host.lines, Names{t2 + "　出図失敗"});
    ASSERT_FALSE(host.reasons.empty());
    EXPECT_NE(host.reasons.back().find("PLAN.V1.OFI"), std::string::npos) << host.reasons.back();
    EXPECT_EQ(second.failed, 1);
    EXPECT_EQ(test::readBytes(folder / "PLAN.GLF"), first) << "the first drawing's GLF stays";
    EXPECT_TRUE(folder.has("PLAN.V2.OFI")) << "the second drawing is kept";
    EXPECT_EQ(archived(), Names{"PLAN.V1.OFI"}) << "the first one's OFI file is in the archive";

    // The same OFI name saved again replaces its own GLF file, as ever.
    fs::remove(folder / "PLAN.V2.OFI");
    drawing("PLAN.V1.OFI", "第一版改");
    EXPECT_TRUE(run().allGood());
    EXPECT_FALSE(folder.has("PLAN.V1.OFI")) << "plotted into its own GLF file and deleted";
    EXPECT_EQ(archived(), (Names{"PLAN.V1.OFI", "PLAN.V1.OFI.2"})) << "never overwritten";

    const std::vector<JobRow> rows = history();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].outcome, outcome::kFailed);
    EXPECT_EQ(rows[0].outcome, outcome::kFinished);
    // The fingerprints the run made as it converted, against the files.
    EXPECT_EQ(rows[0].glfSha256, sha256Hex(test::readBytes(folder / "PLAN.GLF")));
    EXPECT_EQ(rows[0].glfSize, fs::file_size(folder / "PLAN.GLF"));
    EXPECT_EQ(rows[0].ofiSha256, sha256Hex(test::readBytes(rows[0].archivePath)));
}

TEST_F(RecordedRun, AnOfiFileIsNotDeletedWhenTheArchiveCannotBeWrittenNorPlottedAgainWhileSo) {
    const std::string t = drawing("A.OFI", "図面");
    folder.write("archive", "a file where the archive folder should be", false);
    const RunSummary first = run();
    EXPECT_EQ(host.lines, Names{t + "　出図終了（削除できません）"});
    ASSERT_FALSE(host.reasons.empty());
    EXPECT_NE(host.reasons.back().find("アーカイブ"), std::string::npos) << host.reasons.back();
    EXPECT_EQ(first.undisposed, 1);
    EXPECT_TRUE(folder.has("A.OFI"));

    // A restart: the journal remembers it while it is unchanged.
    {
        JournalRecorder recorder(folder.path(), "auto", {});
        recorder.runStarted(JobSettings{});
        EXPECT_TRUE(recorder.plottedBefore(folder / "A.OFI"));
        test::makeOld(folder / "A.OFI", 30s); // saved again
        EXPECT_FALSE(recorder.plottedBefore(folder / "A.OFI"));
    }
    EXPECT_EQ(history().front().outcome, outcome::kNotRemoved);
}

TEST_F(RecordedRun, AKeptOfiIsNotArchivedAndAReprintIsByteIdenticalOrRefused) {
    host.fields["OfiFEnd"] = "保存";
    drawing("A.OFI", "一枚目");
    drawing("B.OFI", "二枚目");
    ASSERT_TRUE(run().allGood());
    EXPECT_TRUE(archived().empty()) << "with 保存 nothing is moved";
    const std::vector<JobRow> rows = history();
    ASSERT_EQ(rows.size(), 2u);

    ProgramFolder out("reprint-out");
    const std::string b =
        test::readBytes(folder / rows[0].glfPath.substr(folder.path().string().size() + 1));
    const ReprintResult again =
        reprintJob(folder.path(), rows[0].id, {"", out.path()}, spooler, {});
    ASSERT_TRUE(again.status) << again.status.reason();
    EXPECT_EQ(test::readBytes(again.glf), b) << "the second drawing of its run, state and all";
    EXPECT_EQ(history().front().original, rows[0].id);

    // To the plotter: checked before it is sent.
    ASSERT_TRUE(reprintJob(folder.path(), rows[1].id, {"P2", {}}, spooler, {}).status);
    ASSERT_EQ(spooler.sends.size(), 1u);
    EXPECT_EQ(spooler.sends[0].printer, "P2");
    EXPECT_EQ(sha256Hex(spooler.sends[0].bytes), rows[1].glfSha256);

    // The OFI file changed since: no source left with the recorded bytes.
    drawing("B.OFI", "別の図面");
    const ReprintResult refused =
        reprintJob(folder.path(), rows[0].id, {"", out.path()}, spooler, {});
    EXPECT_FALSE(refused.status);
    EXPECT_EQ(spooler.sends.size(), 1u);
}

TEST_F(RecordedRun, AnUnusableJournalCostsNoPlotAndSaysSoOnce) {
    fs::create_directories(folder / kJournalFileName); // a folder in its place
    const std::string a = drawing("A.OFI", "一"), b = drawing("B.OFI", "二");
    const RunSummary summary = run();
    EXPECT_TRUE(summary.allGood());
    EXPECT_EQ(summary.finished, 2);
    EXPECT_EQ(reported.size(), 1u);
    EXPECT_TRUE(folder.has("A.GLF") && folder.has("B.GLF"));
    EXPECT_EQ(archived(), (Names{"A.OFI", "B.OFI"})) << "the archive does not need the journal";
}

// Damage inside a journal whose header is sound is found by the first write
// or lookup it spoils: the journal is moved aside as it is and a new one
// takes the run.
TEST_F(RecordedRun, AJournalDamagedInsideIsMovedAsideAtItsFirstFailureAndTheRunRecorded) {
    drawing("A.OFI", "一");
    ASSERT_TRUE(run().allGood());
    std::string bytes = test::readBytes(folder / kJournalFileName);
    ASSERT_GT(bytes.size(), 4096u);
    std::fill(bytes.begin() + 4096, bytes.end(), '\x5a'); // all but the header and schema
    folder.write(kJournalFileName, bytes, false);
    const std::string b = drawing("B.OFI", "二");
    EXPECT_TRUE(run().allGood());
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_NE(reported[0].find("Kesto.db.broken-"), std::string::npos) << reported[0];
    const std::vector<JobRow> rows = history();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].ofiName, "B.OFI");
    EXPECT_EQ(rows[0].outcome, outcome::kFinished);
    std::string kept;
    for (const auto& e : fs::directory_iterator(folder.path()))
        if (e.path().filename().string().starts_with("Kesto.db.broken-"))
            kept = test::readBytes(e.path());
    EXPECT_TRUE(kept == bytes) << "the damaged journal is kept as it was";
}

// A journal that opens but refuses what is written (a full disk, a lock held
// too long): said once with its cause, the run goes on, the next run writes.
TEST_F(RecordedRun, AJournalThatFailsWhileWrittenCostsNoPlotAndTheNextRunWritesAgain) {
    {
        Journal journal;
        ASSERT_TRUE(journal.open(folder.path()));
    }
    const auto sql = [this](const char* statement) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((folder / kJournalFileName).string().c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, statement, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    };
    sql("CREATE TRIGGER refuse BEFORE INSERT ON jobs BEGIN SELECT RAISE(FAIL, 'disk is full'); "
        "END");
    drawing("A.OFI", "一");
    drawing("B.OFI", "二");
    RunSummary summary = run();
    EXPECT_EQ(summary.finished, 2);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_NE(reported[0].find("disk is full"), std::string::npos) << reported[0];
    EXPECT_TRUE(history().empty());

    sql("DROP TRIGGER refuse");
    drawing("C.OFI", "三");
    summary = run();
    EXPECT_EQ(summary.finished, 1);
    const std::vector<JobRow> rows = history();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].outcome, outcome::kFinished);
    EXPECT_FALSE(rows[0].archivePath.empty());
}

#ifndef _WIN32
// A plot server's failure command: the job's fields in its environment, no
// shell between, cut off at its time limit, and the run goes on either way.
TEST_F(RecordedRun, TheFailureCommandHearsOfEachFailedDrawingAndNeverStopsTheRun) {
    const fs::path said = folder / "said.txt";
    folder.write("notify.sh",
                 "#!/bin/sh\nprintf '%s|%s|%s\\n' \"$KESTO_TITLE\" \"$KESTO_OUTCOME\" "
                 "\"$1\" >> \"$2\"\ncase \"$KESTO_TITLE\" in slow*) sleep 30;; esac\n",
                 false);
    fs::permissions(folder / "notify.sh", fs::perms::owner_all);
    folder.write("Kesto.conf",
                 "failure_command = \"" + (folder / "notify.sh").string() + "\" \"two words\" " +
                     said.string() + "\nfailure_timeout = 1\n",
                 false);
    folder.write("A.OFI", test::damagedDrawing("壊れた図面"));
    folder.write("B.OFI", test::damagedDrawing("slow"));
    const auto start = std::chrono::steady_clock::now();
    const RunSummary summary = run();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << "the slow command was cut off";
    EXPECT_EQ(summary.damaged, 2) << "the run went on past the slow command";
    const std::string lines = test::readBytes(said);
    EXPECT_NE(lines.find("|異常|two words\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("slow"), std::string::npos) << lines;
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_NE(reported[0].find("1 秒"), std::string::npos) << reported[0];
}
#endif

} // namespace
} // namespace kesto
