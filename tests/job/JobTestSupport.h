#pragma once
// Test doubles for job runs: a program folder in /tmp, a host that records
// what the window would show, a spooler that records what it was given, and
// small drawings.

#include "ByteFiles.h"

#include "composer/OfiComposer.h"
#include "convert/Conversion.h"
#include "delivery/Spooler.h"
#include "job/JobHost.h"
#include "job/JobRun.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include "io/FileLock.h"
#include "job/WorkLock.h"
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#endif
#include <unistd.h>

namespace kesto::test {

namespace fs = std::filesystem;

// Makes a file look as if the CAD system finished it a while ago.
inline void makeOld(const fs::path& file, std::chrono::seconds age = std::chrono::seconds(60)) {
    fs::last_write_time(file, fs::file_time_type::clock::now() - age);
}

class ProgramFolder {
public:
    explicit ProgramFolder(const std::string& tag = "job")
        : path_(fs::temp_directory_path() / ("kesto-" + tag + "-" + std::to_string(::getpid()) +
                                             "-" + std::to_string(counter_++))) {
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ProgramFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    bool has(const std::string& name) const { return fs::exists(path_ / name); }

    fs::path write(const std::string& name, const std::string& bytes, bool old = true) const {
        writeBytes(path_ / name, bytes);
        if (old) makeOld(path_ / name);
        return path_ / name;
    }
    fs::path write(const std::string& name, const OfiComposer& drawing, bool old = true) const {
        const auto v = drawing.view();
        return write(name, std::string(v.begin(), v.end()), old);
    }
    // The names of the folder's entries, sorted; the journal and the archive
    // that a spooler keeps in its program folder are left out.
    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (const auto& e : fs::directory_iterator(path_)) {
            const std::string name = e.path().filename().string();
            if (name.rfind("Kesto.db", 0) == 0 || name == "archive") continue;
            result.push_back(name);
        }
        std::sort(result.begin(), result.end());
        return result;
    }

private:
    static inline int counter_ = 0;
    fs::path path_;
};

// Another holder of the system's lock on a file (as another run or another
// spooler would) until this object goes.  On Linux a child process; on
// Windows, whose locks belong to the open file, a handle of this process.
class LockHolder {
public:
    explicit LockHolder(const fs::path& file) {
#ifdef _WIN32
        locked_ = lock_.tryLock(file, FileLock::Open::CreateIfNeeded) == FileLockState::Acquired;
        pid_ = currentProcessId();
#else
        const std::string path = file.string();
        int ready[2];
        if (::pipe(ready) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only async-signal-safe calls here: the test program has threads.
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
            const char ok = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
            (void)!::write(ready[1], &ok, 1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        char ok = 'n';
        locked_ = ::read(ready[0], &ok, 1) == 1 && ok == 'y';
        ::close(ready[0]);
#endif
    }
    ~LockHolder() {
        end();
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    bool locked() const {
        return locked_;
    }
    long pid() const {
        return pid_;
    }
    // Ends the holder: the system drops its lock.
    void end() {
#ifdef _WIN32
        lock_.unlock();
#else
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
#endif
    }

private:
#ifdef _WIN32
    FileLock lock_;
#endif
    long pid_ = -1;
    bool locked_ = false;
};

// A small finished drawing with a title of its own.
inline OfiComposer smallDrawing(const std::string& title) {
    OfiComposer d;
    d.titleUtf8(title, "R1");
    d.scale(10).page(1000, 700, 1000, 700);
    d.lineStyle(0x02).line(0, 0, 1000, 700).line(0, 700, 1000, 0).end();
    return d;
}

// A drawing the converter cannot read: its page record has no scale.
inline OfiComposer damagedDrawing(const std::string& title) {
    OfiComposer d;
    d.titleUtf8(title, "D1");
    d.page(100, 100, 100, 100).line(0, 0, 10, 10).end();
    return d;
}

// A drawing long enough that the converter lets events run while converting it.
inline OfiComposer longDrawing(const std::string& title) {
    OfiComposer d;
    d.titleUtf8(title, "L1");
    d.scale(10).page(1000, 700, 1000, 700).lineStyle(0x01);
    for (int i = 0; i < 3 * static_cast<int>(kRecordsPerEventPump); ++i)
        d.line(std::uint16_t(i % 1000), 0, std::uint16_t(i % 1000), 700);
    d.end();
    return d;
}

// Records what the window would show and answers like the window would.
class RecordingHost : public JobHost {
public:
    std::vector<std::string> lines;   // StatusList
    std::vector<std::string> reasons; // tooltips of status lines
    FieldTexts fields;
    std::string folder, printer;
    unsigned interval = 0;
    std::optional<ManualChoice> choice;
    std::atomic<bool> cancel{false};
    int finished = 0;
    std::optional<bool> endCaption;
    std::function<void(RecordingHost&)> onEvents; // called in letEventsRun
    std::function<void(RecordingHost&)> onAppend; // called after each appended line

    void appendStatus(const std::string& line) override {
        lines.push_back(line);
        if (onAppend) onAppend(*this);
    }
    void replaceLastStatus(const std::string& line) override {
        if (lines.empty()) lines.emplace_back();
        lines.back() = line;
    }
    void explainLastStatus(const std::string& reason) override { reasons.push_back(reason); }
    void letEventsRun() override {
        if (onEvents) onEvents(*this);
    }
    std::atomic<bool>& cancelFlag() override { return cancel; }
    std::optional<ManualChoice> chooseFiles(const std::string&) override { return choice; }
    std::string folderField() override { return folder; }
    void setFolderField(const std::string& f) override { folder = f; }
    std::string printerField() override { return printer; }
    void setPrinterField(const std::string& p) override { printer = p; }
    FieldTexts fieldTexts() override { return fields; }
    unsigned pollingInterval() override { return interval; }
    void runStarted() override {}
    void runFinished(bool showEndCaption) override {
        ++finished;
        endCaption = showEndCaption;
    }
};

// Records every send; delivers or refuses as told.
class FakeSpooler : public Spooler {
public:
    struct Send {
        fs::path glf;
        std::string printer, bytes;
        bool ofiPresent; // the OFI file still existed while its GLF file was sent
        bool lockHeld;   // Kesto.wok existed during the send
    };
    std::vector<Send> sends;
    bool accept = true;
    fs::path programFolder;
    int defaultLookups = 0;
    // Called while a file is being sent: the CAD system saves meanwhile, the
    // stop button is pressed, ...
    std::function<void(const fs::path& glf)> onSend;

    Status sendFile(const fs::path& glf, const std::string& printer, int* = nullptr) override {
        fs::path ofi = glf;
        sends.push_back({glf, printer, readBytes(glf), fs::exists(ofi.replace_extension(".OFI")),
                         fs::exists(programFolder / kWorkFileName)});
        if (onSend) onSend(glf);
        if (cancelRequested()) return Status::failure("delivery stopped, the job was withdrawn");
        if (accept) return {};
        return Status::failure("the queue refused the job");
    }
    std::string defaultPrinter() override {
        ++defaultLookups;
        return "FakeDefault";
    }
    std::vector<std::string> printers() override { return {"FakeDefault"}; }
};

} // namespace kesto::test
