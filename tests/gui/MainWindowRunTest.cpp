// The main window as the host of job runs: the one-shot and polling starts,
// the stop button, closing during a run, manual selection through the file
// chooser and failed deliveries.

#include "GuiTestSupport.h"

#include "composer/SampleDrawings.h"
#include "ofi/OfiTitle.h"
#include "ui/FileChooser.h"
#include "ui/MainWindow.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace kesto;
using namespace kesto::test;
namespace fs = std::filesystem;

namespace {

// A drawing big enough to be caught in the middle of its conversion.
constexpr std::size_t kLongDrawingBytes = 20u * 1024 * 1024;

bool endsWith(const QStringList& lines, const QString& tail) {
    for (const QString& l : lines)
        if (!l.endsWith(tail)) return false;
    return !lines.isEmpty();
}

} // namespace

class MainWindowRunTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::shared_ptr<RecordingSpooler::Shared> spooler_;
    fs::path folder() const { return dir_->path().toStdString(); }
    std::unique_ptr<MainWindow> open(const char* argument = "") {
        auto w = std::make_unique<MainWindow>(folder(), argument,
                                              std::make_unique<RecordingSpooler>(spooler_));
        // Drawings copied a moment ago count as finished.
        w->runOptions().settleTime = std::chrono::milliseconds(0);
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get())) qWarning("window not exposed");
        return w;
    }
    static QStringList status(const MainWindow& w) {
        return itemTexts(control<QListWidget>(&w, "List2"));
    }
    void writeLongDrawing(const char* name) {
        QVERIFY(composeLargeDrawing(kLongDrawingBytes, LargeDrawingKind::Mixed)
                    .save((folder() / name).string()));
    }
    // Calls `action` once, as soon as the status list shows a line with `text`.
    static void whenStatusShows(MainWindow& w, const QString& text, std::function<void()> action) {
        auto* timer = new QTimer(&w);
        QObject::connect(timer, &QTimer::timeout, [timer, &w, text, action] {
            for (const QString& line : status(w)) {
                if (line.contains(text)) {
                    timer->stop();
                    timer->deleteLater();
                    action();
                    return;
                }
            }
        });
        timer->start(5);
    }
    // Puts a drawing into the folder in one step, as a finished CAD file.
    void dropSample(const std::string& sample, const std::string& name) {
        const fs::path tmp = folder() / "incoming.tmp";
        fs::copy_file(fs::path(KESTO_SAMPLES_DIR) / sample, tmp);
        fs::rename(tmp, folder() / name);
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        spooler_ = std::make_shared<RecordingSpooler::Shared>();
    }
    void cleanup() { dir_.reset(); }

    void oneShotStartConvertsTheSamplesThenClosesAndSavesAutomaticSelection() {
        const auto samples = copySamples(folder());
        QCOMPARE(samples.size(), std::size_t(4));
        auto w = open("AUTO");
        QCOMPARE(control<QPushButton>(w.get(), "Command1")->text(), QString("自動"));
        QCOMPARE(control<QLineEdit>(w.get(), "Text11")->text(), QString("自動"));
        QSignalSpy saved(w.get(), &MainWindow::settingsSaved);
        QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 60000);

        const QStringList lines = status(*w);
        QCOMPARE(lines.size(), 4);
        QVERIFY2(endsWith(lines, "　出図終了"), qPrintable(lines.join('|')));
        const QString partTitle =
            QString::fromStdString(*readTitleLine((folder() / "PART-A3.OFI").string()));
        QVERIFY(lines.contains(partTitle + "　出図終了"));
        QCOMPARE(spooler_->sentFiles.size(), std::size_t(4));
        // The empty printer field took the default printer for the run.
        QCOMPARE(spooler_->printers.front(), std::string("plotter-a"));
        for (const std::string& name : samples) {
            QVERIFY(fs::exists(folder() / name)); // 保存
            QVERIFY(!fs::exists(folder() / (name.substr(0, name.find('.')) + ".GLF")));
        }
        QVERIFY(!fs::exists(folder() / "Kesto.wok"));
        QCOMPARE(saved.count(), 1);
        const JobSettings s = LoadSettings(folder());
        QCOMPARE(s.OfiFMen, std::string("自動"));
        QCOMPARE(s.OfiFEnd, std::string("保存"));
        QCOMPARE(s.Hprn, std::string("plotter-a"));
    }

    void pollingEveryHalfSecondPicksUpNewDrawingsAndDeletesThem() {
        auto w = open("AUTO0.5");
        QCOMPARE(w->startMode().pollingMs, std::uint16_t(500));
        QCOMPARE(control<QPushButton>(w.get(), "Command1")->text(), QString("自動\n 0秒"));
        QTRY_VERIFY_WITH_TIMEOUT(status(*w).contains("図面が無いか、サイズが0です"), 5000);

        dropSample("PART-A3.OFI", "ONE.OFI");
        QTRY_VERIFY_WITH_TIMEOUT(status(*w).join('|').contains("　出図終了"), 10000);
        QTRY_VERIFY(!fs::exists(folder() / "ONE.OFI")); // 消去 after delivery

        dropSample("TEXT-A4.OFI", "TWO.OFI");
        QTRY_COMPARE_WITH_TIMEOUT(status(*w).join('|').count("　出図終了"), 2, 10000);
        QCOMPARE(spooler_->sentFiles, (std::vector<std::string>{"ONE.GLF", "TWO.GLF"}));
        // The button keeps its polling caption after runs.
        QCOMPARE(control<QPushButton>(w.get(), "Command1")->text(), QString("自動\n 0秒"));

        w->close();
        const JobSettings s = LoadSettings(folder());
        QCOMPARE(s.OfiFMen, std::string("自動"));
        QCOMPARE(s.OfiFEnd, std::string("消去"));
    }

    void stopDuringALongDrawingKeepsTheDrawingDropsTheGlfAndSaves() {
        writeSettings(folder(), [](JobSettings& s) {
            s.OfiFMen = "自動";
            s.OfiFEnd = "消去";
            s.OfiOut = "ﾌｧｲﾙ";
        });
        writeLongDrawing("BIG.OFI");
        auto w = open();
        QSignalSpy saved(w.get(), &MainWindow::settingsSaved);
        auto* stop = control<QPushButton>(w.get(), "Command2");
        whenStatusShows(*w, "　出図中", [stop] { QTest::mouseClick(stop, Qt::LeftButton); });

        QTest::mouseClick(control<QPushButton>(w.get(), "Command1"), Qt::LeftButton);
        const QStringList lines = status(*w);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.front().endsWith("　出図中止"), qPrintable(lines.front()));
        QVERIFY(fs::exists(folder() / "BIG.OFI"));
        QVERIFY(!fs::exists(folder() / "BIG.GLF"));
        QVERIFY(!fs::exists(folder() / "Kesto.wok"));

        QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 3000);
        QCOMPARE(saved.count(), 1);
        QVERIFY(fs::exists(folder() / "Kesto.sys"));
    }

    void closingDuringARunWaitsForTheRunBeforeSaving() {
        writeSettings(folder(), [](JobSettings& s) {
            s.OfiFMen = "自動";
            s.OfiOut = "ﾌｧｲﾙ";
        });
        writeLongDrawing("BIG.OFI");
        auto w = open();
        QStringList order;
        connect(w.get(), &MainWindow::runEnded, [&] { order << "run ended"; });
        connect(w.get(), &MainWindow::settingsSaved, [&] { order << "saved"; });
        MainWindow* window = w.get();
        whenStatusShows(*w, "　出図中", [window, &order] {
            window->close();
            order << (window->isVisible() ? "still open" : "closed");
        });

        QTest::mouseClick(control<QPushButton>(w.get(), "Command1"), Qt::LeftButton);
        QCOMPARE(order, QStringList({"still open", "run ended", "saved"}));
        QVERIFY(!w->isVisible());
        QVERIFY(status(*w).front().endsWith("　出図中止"));
        QVERIFY(!fs::exists(folder() / "BIG.GLF"));
        QVERIFY(!fs::exists(folder() / "Kesto.wok"));
    }

    void pollingTicksThatFallDueDuringAButtonRunAreSkipped() {
        writeSettings(folder(), [](JobSettings& s) { s.OfiOut = "ﾌｧｲﾙ"; });
        writeLongDrawing("BIG.OFI");
        auto w = open("AUTO0.3");
        // Click at once, before the first tick.
        QTest::mouseClick(control<QPushButton>(w.get(), "Command1"), Qt::LeftButton);
        // Ticks fell due during the run; none of them started a second run
        // (which would have found the work file taken).
        QCOMPARE(status(*w).size(), 1);
        QVERIFY2(status(*w).front().endsWith("　出図終了"), qPrintable(status(*w).front()));
        QVERIFY(fs::exists(folder() / "BIG.GLF"));
        QVERIFY(!fs::exists(folder() / "BIG.OFI"));
        // Polling goes on afterwards.
        QTRY_VERIFY_WITH_TIMEOUT(status(*w).contains("図面が無いか、サイズが0です"), 5000);
        w->close();
    }

    void manualSelectionConvertsExactlyTheDrawingsTakenInTheChooser() {
        writeSettings(folder(), [](JobSettings& s) { s.OfiOut = "ﾌｧｲﾙ"; });
        copySamples(folder());
        auto w = open();
        onNextModalDialog([](QWidget* dialog) {
            QCOMPARE(dialog->objectName(), QString("Form3"));
            auto* list = control<QListWidget>(dialog, "List1");
            QCOMPARE(list->count(), 4);
            for (int i = 0; i < list->count(); ++i) {
                if (!list->item(i)->text().endsWith("(TEXT-A4)")) continue;
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                                  list->visualItemRect(list->item(i)).center());
            }
            QTest::mouseClick(control<QPushButton>(dialog, "Command1"), Qt::LeftButton);
        });
        auto* create = control<QPushButton>(w.get(), "Command1");
        QTest::mouseClick(create, Qt::LeftButton);

        QCOMPARE(w->fileList(), std::vector<std::string>{"TEXT-A4.OFI"});
        QCOMPARE(status(*w).size(), 1);
        QCOMPARE(status(*w).front(),
                 QString::fromStdString(*readTitleLine((folder() / "TEXT-A4.OFI").string())) +
                     "　出図終了");
        QVERIFY(fs::exists(folder() / "TEXT-A4.GLF"));
        QVERIFY(!fs::exists(folder() / "PART-A3.GLF"));
        QCOMPARE(create->text(), QString("終了"));
        QVERIFY(create->isEnabled());
        QTest::mouseMove(create, create->rect().center() + QPoint(1, 1));
        QTRY_COMPARE(create->text(), QString("作成"));
    }

    void cancellingTheChooserStillMakesItsFolderTheRunsFolder() {
        fs::create_directory(folder() / "sub");
        writeSettings(folder(), [](JobSettings& s) { s.OfiOut = "ﾌｧｲﾙ"; });
        auto w = open();
        onNextModalDialog([](QWidget* dialog) {
            // Into the subfolder with the keyboard: select it, Enter.
            auto* dirs = control<QListWidget>(dialog, "Dir1");
            const auto found = dirs->findItems("sub", Qt::MatchExactly);
            QCOMPARE(found.size(), 1);
            dirs->setFocus();
            dirs->setCurrentItem(found.front());
            QTest::keyClick(dirs, Qt::Key_Return);
            auto* chooser = qobject_cast<FileChooser*>(dialog);
            QVERIFY(chooser);
            QTRY_COMPARE(chooser->shownFolder().filename(), fs::path("sub"));
            QTest::mouseClick(control<QPushButton>(dialog, "Command2"), Qt::LeftButton);
        });
        QTest::mouseClick(control<QPushButton>(w.get(), "Command1"), Qt::LeftButton);
        QCOMPARE(control<QLineEdit>(w.get(), "Text1")->text(),
                 QString::fromStdString((folder() / "sub").string()));
        QVERIFY(status(*w).contains("図面が無いか、サイズが0です"));
        w->close();
        QCOMPARE(LoadSettings(folder()).OfiFile, (folder() / "sub").string());
    }

    void aRefusedDeliveryIsShownAsFailedAndTheRunGoesOn() {
        spooler_->refuse = true;
        writeSettings(folder(), [](JobSettings& s) { s.OfiFEnd = "消去"; });
        const auto samples = copySamples(folder());
        auto w = open("AUTO");
        QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 60000);
        const QStringList lines = status(*w);
        QCOMPARE(lines.size(), 4);
        QVERIFY2(endsWith(lines, "　出図失敗"), qPrintable(lines.join('|')));
        auto* list = control<QListWidget>(w.get(), "List2");
        QVERIFY(!list->item(3)->toolTip().isEmpty());
        for (const std::string& name : samples)
            QVERIFY(fs::exists(folder() / name)); // kept although 消去
    }
};

QTEST_MAIN(MainWindowRunTest)
#include "MainWindowRunTest.moc"
