#pragma once
// Helpers of the window tests: a program folder of their own, sample
// drawings, a settings file, a spooler that only records, and access to the
// window's controls by name.

#include "delivery/Spooler.h"
#include "settings/JobSettings.h"

#include <QListWidget>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kesto {
class MainWindow;
}

namespace kesto::test {

// A spooler that keeps what it is sent; `refuse` makes every job fail.
class RecordingSpooler : public Spooler {
public:
    struct Shared {
        std::mutex lock;
        std::vector<std::string> sentFiles; // file names, in order
        std::vector<std::string> printers;  // the names the job went to
        bool refuse = false;
        std::vector<std::string> installed = {"plotter-a", "plotter-b"};
        std::string defaultName = "plotter-a";
    };
    explicit RecordingSpooler(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

    Status sendFile(const std::filesystem::path& glfFile, const std::string& printerName,
                    int* jobId = nullptr) override;
    std::string defaultPrinter() override { return shared_->defaultName; }
    std::vector<std::string> printers() override { return shared_->installed; }

private:
    std::shared_ptr<Shared> shared_;
};

// Copies the bundled sample drawings into `folder`; returns their names.
std::vector<std::string> copySamples(const std::filesystem::path& folder);
// Writes `folder`/Kesto.sys: the defaults (OfiFile = folder) changed by `change`.
void writeSettings(const std::filesystem::path& folder,
                   const std::function<void(JobSettings&)>& change);
// Writes an OFI-looking file whose title block holds `title` (UTF-8, written
// in code page 932) and `field`, `size` bytes long.
void writeTitledFile(const std::filesystem::path& file, const std::string& title,
                     const std::string& field, std::size_t size = 256);

// The texts of a list box.
QStringList itemTexts(const QListWidget* list);
// The named child control, or a failed test.
template <class T> T* control(const QWidget* parent, const char* name) {
    return parent->findChild<T*>(QString::fromLatin1(name));
}

// The text of the field `Text<n>`.
QString fieldText(const QWidget* window, int n);
// Clicks the named button.
void press(const QWidget* parent, const char* name);
// Clicks every entry of `list` whose text ends with `tail`.
void clickEntries(QListWidget* list, const QString& tail);

// A fresh program folder and recording spooler for each test function (call
// `reset` from init()), and main windows opened on them.
class WindowFixture {
public:
    void reset();
    std::filesystem::path folder() const { return dir_->path().toStdString(); }
    // Shown and exposed; drawings copied a moment ago count as finished.
    std::unique_ptr<MainWindow> open(const char* argument = "");

protected:
    std::unique_ptr<QTemporaryDir> dir_;
    std::shared_ptr<RecordingSpooler::Shared> spooler_;
};

// Runs `action` on the next modal dialog as soon as it shows (from inside a
// modal exec()).  The dialog is passed to `action`.
void onNextModalDialog(std::function<void(QWidget*)> action);

} // namespace kesto::test
