#include "GuiTestSupport.h"

#include "io/Cp932.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <fstream>
#include <memory>

namespace kesto::test {

namespace fs = std::filesystem;

Status RecordingSpooler::sendFile(const fs::path& glfFile, const std::string& printerName, int*) {
    std::lock_guard guard(shared_->lock);
    if (shared_->refuse) return Status::failure("the test's spooler refuses every job");
    shared_->sentFiles.push_back(glfFile.filename().string());
    shared_->printers.push_back(printerName);
    return {};
}

std::vector<std::string> copySamples(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(KESTO_SAMPLES_DIR)) {
        if (entry.path().extension() != ".OFI") continue;
        fs::copy_file(entry.path(), folder / entry.path().filename(),
                      fs::copy_options::overwrite_existing);
        names.push_back(entry.path().filename().string());
    }
    return names;
}

void writeSettings(const fs::path& folder, const std::function<void(JobSettings&)>& change) {
    JobSettings s = defaultSettings(folder);
    if (change) change(s);
    if (Status saved = SaveSettings(folder, s); !saved)
        qFatal("Kesto.sys not written: %s", saved.reason().c_str());
}

void writeTitledFile(const fs::path& file, const std::string& title, const std::string& field,
                     std::size_t size) {
    std::string bytes(size, '\0');
    std::string t = utf8ToCp932(title).value_or("?");
    t.resize(16, ' ');
    std::string f = utf8ToCp932(field).value_or("?");
    f.resize(4, ' ');
    if (size >= 128) {
        bytes.replace(108, 16, t);
        bytes.replace(124, 4, f);
    }
    std::ofstream(file, std::ios::binary) << bytes;
}

QStringList itemTexts(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QString fieldText(const QWidget* window, int n) {
    return control<QLineEdit>(window, ("Text" + std::to_string(n)).c_str())->text();
}

void press(const QWidget* parent, const char* name) {
    QTest::mouseClick(control<QPushButton>(parent, name), Qt::LeftButton);
}

void clickEntries(QListWidget* list, const QString& tail) {
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->text().endsWith(tail))
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->item(i)).center());
    }
}

void WindowFixture::reset() {
    dir_ = std::make_unique<QTemporaryDir>();
    spooler_ = std::make_shared<RecordingSpooler::Shared>();
}

std::unique_ptr<MainWindow> WindowFixture::open(const char* argument) {
    auto w = std::make_unique<MainWindow>(folder(), argument,
                                          std::make_unique<RecordingSpooler>(spooler_));
    w->runOptions().settleTime = std::chrono::milliseconds(0);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get())) qWarning("window not exposed");
    return w;
}

void onNextModalDialog(std::function<void(QWidget*)> action) {
    // Polls until the dialog is up; the timer lives until it has acted.
    auto* timer = new QTimer;
    auto shared = std::make_shared<std::function<void(QWidget*)>>(std::move(action));
    QObject::connect(timer, &QTimer::timeout, [timer, shared] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || !dialog->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        (*shared)(dialog);
        // An action that failed half-way must not leave the test waiting in
        // the dialog's event loop.
        if (dialog->isVisible()) {
            if (auto* d = qobject_cast<QDialog*>(dialog)) d->reject();
        }
    });
    timer->start(10);
}

} // namespace kesto::test
