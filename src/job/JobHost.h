#pragma once
// What a job run needs from the program that hosts it: the main window, or the
// headless spooler of kesto-cli.  The run never includes a window system; it
// only talks to this interface.  Every call comes from the thread that runs
// the job, and the run never keeps a reference past its return.

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kesto {

// The window's field texts by settings key ("OfiFile", "OfiA4V", ... "Hprn"),
// exactly as the fields show them; the factor fields "MojiW", "MojiH",
// "MojiX", "MojiY" as typed text ("0.17").  A key that is missing takes its
// default.  Window positions are not needed.
using FieldTexts = std::map<std::string, std::string, std::less<>>;

// The result of the manual file choice: the folder and the chosen names
// (without folder), in processing order.
struct ManualChoice {
    std::string folder;
    std::vector<std::string> names;
};

class JobHost {
public:
    virtual ~JobHost() = default;

    // StatusList: append a line and make it the selected (last) line.
    virtual void appendStatus(const std::string& line) = 0;
    // StatusList: replace the text of the last line.
    virtual void replaceLastStatus(const std::string& line) = 0;
    // Why the last status line says "　出図失敗" or "　データ異常" (or why a
    // run did not start): for a tooltip of that line, or for stderr.
    virtual void explainLastStatus(const std::string& reason) = 0;

    // Lets pending window events run (the stop button among them).  The run
    // calls it after each status line and, during a conversion, every few
    // thousand records; a host may throttle it by time.
    virtual void letEventsRun() = 0;

    // The stop button's flag.  The host sets it (from any thread or a signal
    // handler); the run clears it when it starts and tests it before each
    // file, before each record and after each file.
    virtual std::atomic<bool>& cancelFlag() = 0;

    // The drawing whose status line was just appended: its OFI file and the
    // GLF file it is converted into (a window offers their preview).
    virtual void drawingStarted(const std::filesystem::path& /*ofi*/,
                                const std::filesystem::path& /*glf*/) {}

    // The manual file choice ("手動"): show the chooser for `folder`, modally.
    // nullopt (or no names) when the user chose nothing.
    virtual std::optional<ManualChoice> chooseFiles(const std::string& folder) = 0;

    // The folder field (OfiFile, Text1).
    virtual std::string folderField() = 0;
    virtual void setFolderField(const std::string& folder) = 0;
    // The printer-name field (Hprn, Text24).  The run fills an empty field
    // with the name of the spooler's default printer.
    virtual std::string printerField() = 0;
    virtual void setPrinterField(const std::string& printer) = 0;

    // The settings snapshot: every field's text at the start of the run.
    // OfiFile and Hprn are read through folderField and printerField instead.
    virtual FieldTexts fieldTexts() = 0;

    // Milliseconds between polling runs; 0 when the host is not polling.
    virtual unsigned pollingInterval() = 0;

    // The create button: disabled while a run works.  runFinished re-enables
    // it; `showEndCaption` asks for the caption "終了" (the host is not
    // polling).
    virtual void runStarted() = 0;
    virtual void runFinished(bool showEndCaption) = 0;
};

} // namespace kesto
