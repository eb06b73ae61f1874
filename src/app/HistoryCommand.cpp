// kesto-cli history: the journal of the program folder (the current
// directory), newest first, as a table, JSON or CSV.

#include "app/JournalArgs.h"
#include "job/HistoryFormat.h"
#include "job/Journal.h"

#include <filesystem>

namespace kesto {
namespace {

void printHelp() {
    writeText(stdout,
              "usage: kesto-cli history [--since DATE] [--until DATE] [--outcome WORD]\n"
              "                         [--title TEXT] [--limit N] [--json | --csv]\n"
              "\n"
              "Lists the drawings the runs of this program folder (the current directory)\n"
              "took, newest first, from its journal Kesto.db.\n"
              "\n"
              "  --since DATE, --until DATE   started from / up to DATE (local time,\n"
              "                               YYYY-MM-DD, the whole day for --until, or\n"
              "                               \"YYYY-MM-DD HH:MM[:SS]\")\n"
              "  --outcome WORD               終了, 失敗, 異常, 中止 or 中断 (終了 takes the\n"
              "                               finished drawings whose OFI file was kept too)\n"
              "  --title TEXT                 titles that hold TEXT\n"
              "  --limit N                    at most N jobs (default 100; 0: all)\n"
              "  --json, --csv                every field, for scripts and spreadsheets\n"
              "                               (UTF-8; CSV with a header row)\n"
              "\n"
              "Exit status: 0 listed, 1 no journal or it cannot be read, 2 usage error.\n");
}

int usageError(const std::string& message) {
    return usageErrorOf("history", message);
}

} // namespace

int runHistoryCommand(int argc, char** argv) {
    HistoryFilter filter;
    enum class Form { Table, Json, Csv } form = Form::Table;
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            printHelp();
            return kExitDone;
        } else if (arg == "--json") {
            form = Form::Json;
        } else if (arg == "--csv") {
            form = Form::Csv;
        } else if ((arg == "--since" || arg == "--until") && hasValue) {
            const std::string_view text = argv[++i];
            std::optional<std::int64_t> when = parseLocalTime(text);
            if (!when) return usageError(std::string("not a date: '") + argv[i] + "'");
            // "--until 2026-03-04" takes that whole day.
            constexpr std::int64_t kDayMs = 24 * 3600 * 1000;
            if (arg == "--until" && text.size() == 10) *when += kDayMs;
            (arg == "--since" ? filter.sinceMs : filter.untilMs) = when;
        } else if (arg == "--outcome" && hasValue) {
            filter.outcome = argv[++i];
        } else if (arg == "--title" && hasValue) {
            filter.title = argv[++i];
        } else if (arg == "--limit" && hasValue) {
            if (!wholeNumber(argv[++i], filter.limit) || filter.limit < 0)
                return usageError("--limit takes a whole number");
        } else {
            return usageError(std::string("unexpected argument '") + argv[i] + "'");
        }
    }
    std::error_code ec;
    const std::filesystem::path programFolder = std::filesystem::current_path(ec);
    Journal journal;
    Status s = ec ? Status::failure("no current directory: " + ec.message())
                  : journal.openForReading(programFolder);
    if (s && form == Form::Table) {
        // The columns are as wide as their widest cell: every row first.
        std::vector<JobRow> rows;
        s = journal.history(filter, rows);
        if (s) writeText(stdout, historyTable(rows));
    } else if (s) {
        // JSON and CSV are written while the journal is read.
        HistoryStream out(form == Form::Json ? HistoryForm::Json : HistoryForm::Csv,
                          [](std::string_view text) { writeText(stdout, text); });
        s = journal.eachInHistory(filter, [&out](const JobRow& row) { out.add(row); });
        if (s) out.finish();
    }
    if (!s) {
        writeText(stderr, "kesto-cli history: " + s.reason() + "\n");
        return kExitTrouble;
    }
    return kExitDone;
}

} // namespace kesto
