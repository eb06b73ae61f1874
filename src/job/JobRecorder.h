#pragma once
// What a job run tells the program's memory of its drawings (the journal
// and the archive), and the few questions it asks it.  The run calls every
// member from its own thread, in the order of a drawing's life:
//
//   runStarted, then per drawing: plottedBefore?, drawingStarted,
//   mayWrite?, converted, sent? (the plotter took it), keepCopy? (before
//   the OFI file is deleted),
//   drawingEnded; at last runEnded.
//
// A recorder never costs a plot: its failures are its own business (it
// reports them to the host itself), except keepCopy, whose failure keeps
// the OFI file.

#include "convert/ConversionState.h"
#include "convert/ConvertFile.h"
#include "io/FileBytes.h"
#include "io/Status.h"
#include "settings/JobSettings.h"

#include <filesystem>
#include <string>

namespace kesto {

// How a drawing of a run ended.
enum class JobEnding {
    Finished,    // "　出図終了"
    Failed,      // "　出図失敗"
    Damaged,     // "　データ異常"
    Stopped,     // "　出図中止"
    KeptChanged, // finished; the OFI file changed meanwhile and stays
    NotRemoved,  // finished; the OFI file could not be deleted (or kept safely) and stays
};

struct DrawingStart {
    std::filesystem::path ofi;
    std::string name; // the OFI file's name as the folder gives it
    std::string title;
    std::filesystem::path glf;
    std::string printer; // the printer field at the time
};

class JobRecorder {
public:
    virtual ~JobRecorder() = default;

    // The run holds the work lock and took its settings snapshot; no file is
    // selected yet.
    virtual void runStarted(const JobSettings& settings) = 0;
    // Whether the drawing at `ofi` was delivered by an earlier run, could not
    // be deleted and is unchanged since: it is not plotted again.
    virtual bool plottedBefore(const std::filesystem::path& ofi) = 0;
    virtual void drawingStarted(const DrawingStart& drawing) = 0;
    // Fine when the GLF file may be written: not when it holds the drawing of
    // a differently named OFI file from an earlier run.
    virtual Status mayWrite(const std::filesystem::path& ofi, const std::string& name,
                            const std::filesystem::path& glf) = 0;
    // The GLF file is complete; `result` holds the OFI file as it was read
    // (and the fingerprints, when the conversion made them).
    virtual void converted(const std::filesystem::path& glf, const FileResult& result,
                           const ConversionState& state) = 0;
    // The spooler took the GLF file as the job `spoolerJob` (0 where it gives
    // no number).
    virtual void sent(int spoolerJob) { (void)spoolerJob; }
    // The OFI file is about to be deleted: a copy of it is kept first.  A
    // failure keeps the OFI file.
    virtual Status keepCopy(const std::filesystem::path& ofi, const FileIdentity& converted) = 0;
    virtual void drawingEnded(JobEnding outcome, const std::string& reason) = 0;
    // The work lock is still held.
    virtual void runEnded() = 0;
};

} // namespace kesto
