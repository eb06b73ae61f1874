#pragma once
// One job run (MinP): every OFI file of one selection, from the settings
// snapshot to the last file.  No window system: the run talks to a JobHost
// and delivers through a Spooler.

#include "delivery/Spooler.h"
#include "job/JobHost.h"
#include "job/JobRecorder.h"
#include "settings/JobSettings.h"
#include "settings/Vocabulary.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

namespace kesto {

class UndeletableRegistry;

// A file whose size or modification time changes within this time, measured
// by our own monotonic clock, is still being written by the CAD system; the
// automatic scan leaves it for a later run.
constexpr std::chrono::milliseconds kSettleTime{2000};

// The run's work file and lock, in the program folder.
inline constexpr const char* kWorkFileName = "Kesto.wok";

// Notes after "　出図終了" when a drawing's OFI file was to be deleted but stays.
namespace status {
// It was saved again while the drawing was plotted: the new version is
// plotted by the next run.
inline constexpr std::string_view kKeptChanged = "（変更されたため保存）";
// It cannot be deleted (a shared folder where another user owns it): it is
// not plotted again while it stays unchanged.
inline constexpr std::string_view kNotRemoved = "（削除できません）";
} // namespace status

struct JobRunOptions {
    std::filesystem::path
        programFolder; // holds Kesto.wok; a relative OFI folder is taken from here
    std::chrono::milliseconds settleTime = kSettleTime;
    // Where drawings that could not be deleted are remembered; null for the
    // registry every run of this process shares.
    UndeletableRegistry* undeletable = nullptr;
    JobRecorder* recorder = nullptr; // the journal and archive; none when null
};

enum class RunStart {
    Ran,        // the run went through its files (perhaps none)
    Locked,     // another process holds the lock of Kesto.wok in the program folder
    BadField,   // a kanji factor field is not a number; no file touched
    NoWorkFile, // Kesto.wok cannot be used (a folder of that name, no permission, ...)
};

struct RunSummary {
    RunStart start = RunStart::Ran;
    int finished = 0;       // converted and delivered (or kept as a file)
    int stopped = 0;        // closed as stopped by the cancel flag
    int damaged = 0;        // "　データ異常"
    int failed = 0;         // "　出図失敗": unreadable, unwritable or not delivered
    int undisposed = 0;     // finished, but the OFI file to delete could not be deleted
    int changed = 0;        // finished, the OFI file kept: it changed while it was plotted
    bool badFolder = false; // the OFI folder is missing, not a folder or unreadable
    bool cancelled = false;

    bool allGood() const {
        return start == RunStart::Ran && !badFolder && damaged == 0 && failed == 0 &&
               undisposed == 0;
    }
};

// Runs one job.  Never throws.
RunSummary MinP(JobHost& host, Spooler& spooler, const JobRunOptions& options);

} // namespace kesto
