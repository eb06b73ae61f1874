#pragma once
// Form1, the main window: shows every setting, starts job runs by button,
// once at start-up or by polling, shows their progress and saves the
// settings when it closes.  It is the job run's host.

#include "delivery/Spooler.h"
#include "job/JobHost.h"
#include "job/JobRun.h"
#include "settings/JobSettings.h"
#include "ui/TwipsPlacement.h"
#include "ui/logic/WindowStart.h"

#include <QTimer>
#include <QWidget>

#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace kesto {

class ClickLabel;
class DigitsValidator;

// The delayed close after the stop button, in milliseconds.
constexpr int kStopCloseDelayMs = 400;
// The shortest time between two rounds of window events during a run.
constexpr std::chrono::milliseconds kEventPumpInterval{20};

class MainWindow : public QWidget, public JobHost {
    Q_OBJECT
public:
    // `programFolder` holds Kesto.sys and the run's work file; `argument` is
    // the command line's argument ("" for none).
    MainWindow(std::filesystem::path programFolder, std::string argument,
               std::unique_ptr<Spooler> spooler, QWidget* parent = nullptr);
    ~MainWindow() override;

    bool runInProgress() const { return running_; }
    // The names of the current run's drawings (FileList).
    const std::vector<std::string>& fileList() const { return fileList_; }
    // The record as the window would save it now.
    JobSettings settingsFromWindow() const;
    // The run options; tests shorten the settle time of new drawings.
    JobRunOptions& runOptions() { return runOptions_; }

    // Command1: one run now (nothing when a run is already in progress).
    void runJob();
    // Command2: request the stop and close shortly after.
    void stop();
    // Command3: the printer chooser.
    void choosePrinter();

    // JobHost
    void appendStatus(const std::string& line) override;
    void replaceLastStatus(const std::string& line) override;
    void explainLastStatus(const std::string& reason) override;
    void letEventsRun() override;
    std::atomic<bool>& cancelFlag() override { return cancel_; }
    std::optional<ManualChoice> chooseFiles(const std::string& folder) override;
    std::string folderField() override;
    void setFolderField(const std::string& folder) override;
    std::string printerField() override;
    void setPrinterField(const std::string& printer) override;
    FieldTexts fieldTexts() override;
    unsigned pollingInterval() override { return mode_.pollingMs; }
    void runStarted() override;
    void runFinished(bool showEndCaption) override;
    void drawingStarted(const std::filesystem::path& ofi,
                        const std::filesystem::path& glf) override;

    // A finished drawing's preview, as a double click on its status line
    // opens it; nullptr when its files are gone (or the line is not one of a
    // finished drawing).
    QWidget* openPreview(int statusRow);

signals:
    // The window refused a key (it also beeps).
    void beeped();
    // A run has ended (the create button is enabled again).
    void runEnded();
    // The settings file was written while closing.
    void settingsSaved(bool ok);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void layOut();
    void connectLabels();
    void showSettings();
    void applyStartMode();
    void pollingTick();
    void oneShotTick();
    void refuseKey();
    // Whether the settings file can hold `value` for `key`; if not, a status
    // line says why.
    bool writableOrSaySo(std::string_view key, const std::string& value);
    QLineEdit* text(int n) const { return text_[static_cast<std::size_t>(n)]; }
    ClickLabel* label(int n) const { return label_[static_cast<std::size_t>(n)]; }
    std::string fieldText(int n) const;
    FieldTexts windowFieldTexts() const;
    void setFieldText(int n, const std::string& value);

    std::filesystem::path programFolder_;
    WindowStart mode_;
    std::unique_ptr<Spooler> spooler_;
    JobSettings loaded_; // the record as loaded, with the choosers' positions
    TwipsPlacement placement_;
    JobRunOptions runOptions_;
    std::unique_ptr<JobRecorder> recorder_; // the journal and the archive

    std::array<QLineEdit*, 27> text_{};          // Text1 ... Text26
    std::array<ClickLabel*, 29> label_{};        // Label1 ... Label28
    QListWidget* status_ = nullptr;              // List2
    DigitsValidator* reductionDigits_ = nullptr; // Text23's
    QPushButton* create_ = nullptr;              // Command1
    QPushButton* stop_ = nullptr;                // Command2
    QPushButton* printer_ = nullptr;             // Command3
    QTimer polling_;                             // Timer1
    QTimer oneShot_;                             // Timer2
    QTimer delayedClose_;                        // Timer3

    std::vector<std::string> fileList_;
    std::string printerName_;
    std::string acceptedFolder_; // the folder field's last value the file can hold
    std::string folderHeld_;     // the folder last put into the field, as the system's bytes
    std::atomic<bool> cancel_{false};
    bool running_ = false;
    bool closePending_ = false;
    bool saved_ = false;
    std::chrono::steady_clock::time_point lastPump_{};
};

} // namespace kesto
