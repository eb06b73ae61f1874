// The main window as the host of job runs: the one-shot and polling starts,
// the stop button, closing during a run, manual selection through the file
// chooser and failed deliveries.

#include "GuiTestSupport.h"

#include "composer/SampleDrawings.h"
#include "ofi/OfiTitle.h"
#include "ui/FileChooser.h"
#include "ui/MainWindow.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace kesto;
using namespace kesto::test;
namespace fs = std::filesystem;

namespace {

// A drawing big enough to be caught in the middle of its conversion.
constexpr std::size_t kLongDrawingBytes = 20u * 1024 * 1024;

// True when there are `count` lines and each ends with `tail`.
bool allEndWith(const QStringList& lines, const QString& tail, qsizetype count) {
    return lines.size() == count && std::all_of(lines.begin(), lines.end(),
                                                [&](const QString& l) { return l.endsWith(tail); });
}

} // namespace

class MainWindowRunTest : public QObject, public WindowFixture {
    Q_OBJECT

private:
    static QStringList status(const MainWindow& w) {
        return itemTexts(control<QListWidget>(&w, "List2"));
    }
    static QString button(const MainWindow& w) {
        return control<QPushButton>(&w, "Command1")->text();
    }
    // A drawing big enough to be caught in the middle of its conversion, with
    // automatic selection and file output.
    void prepareLongRun(const std::function<void(JobSettings&)>& change) {
        writeSettings(folder(), [&](JobSettings& s) {
            s.OfiOut = "ﾌｧｲﾙ";
            change(s);
        });
        QVERIFY(composeLargeDrawing(kLongDrawingBytes, LargeDrawingKind::Mixed)
                    .save((folder() / "BIG.OFI").string()));
    }
    // Calls `action` once, as soon as the status list shows `text`.
    static void whenStatusShows(MainWindow& w, const QString& text, std::function<void()> action) {
        auto* timer = new QTimer(&w);
        QObject::connect(timer, &QTimer::timeout, [timer, &w, text, action] {
            if (!status(w).join('|').contains(text)) return;
            timer->stop();
            timer->deleteLater();
            action();
        });
        timer->start(5);
    }
    // Puts a drawing into the folder in one step, as a finished CAD file.
    void dropSample(const std::string& sample, const std::string& name) {
        fs::copy_file(fs::path(KESTO_SAMPLES_DIR) / sample, folder() / "incoming.tmp");
        fs::rename(folder() / "incoming.tmp", folder() / name);
    }
    QString titleOf(const char* name) const {
        return QString::fromStdString(*readTitleLine((folder() / name).string()));
    }

private slots:
    void init() { reset(); }
    void cleanup() { dir_.reset(); }

    void oneShotStartConvertsTheSamplesThenClosesAndSavesAutomaticSelection() {
        const auto samples = copySamples(folder());
        QCOMPARE(samples.size(), std::size_t(4));
        auto w = open("AUTO");
        QCOMPARE(button(*w), QString("自動"));
        QCOMPARE(fieldText(w.get(), 11), QString("自動"));
        QSignalSpy saved(w.get(), &MainWindow::settingsSaved);
        QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 60000);

        const QStringList lines = status(*w);
        QVERIFY2(allEndWith(lines, "　出図終了", 4), qPrintable(lines.join('|')));
        QVERIFY(lines.contains(titleOf("PART-A3.OFI") + "　出図終了"));
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

    void aRefusedDeliveryIsShownAsFailedAndTheRunGoesOn() {
        spooler_->refuse = true;
        writeSettings(folder(), [](JobSettings& s) { s.OfiFEnd = "消去"; });
        const auto samples = copySamples(folder());
        auto w = open("AUTO");
        QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 60000);
        QVERIFY2(allEndWith(status(*w), "　出図失敗", 4), qPrintable(status(*w).join('|')));
        QVERIFY(!control<QListWidget>(w.get(), "List2")->item(3)->toolTip().isEmpty());
        for (const std::string& name : samples)
            QVERIFY(fs::exists(folder() / name)); // kept although 消去
    }

    void pollingEveryHalfSecondPicksUpNewDrawingsAndDeletesThem() {
        auto w = open("AUTO0.5");
        QCOMPARE(w->startMode().pollingMs, std::uint16_t(500));
        QTRY_VERIFY_WITH_TIMEOUT(status(*w).contains("図面が無いか、サイズが0です"), 5000);
        dropSample("PART-A3.OFI", "ONE.OFI");
        QTRY_VERIFY_WITH_TIMEOUT(status(*w).join('|').contains("　出図終了"), 10000);
        QTRY_VERIFY(!fs::exists(folder() / "ONE.OFI")); // 消去 after delivery
        dropSample("TEXT-A4.OFI", "TWO.OFI");
        QTRY_COMPARE_WITH_TIMEOUT(status(*w).join('|').count("　出図終了"), 2, 10000);
        QCOMPARE(spooler_->sentFiles, (std::vector<std::string>{"ONE.GLF", "TWO.GLF"}));
        // The button keeps its polling caption after runs.
        QCOMPARE(button(*w), QString("自動\n 0秒"));

        w->close();
        QCOMPARE(LoadSettings(folder()).OfiFMen, std::string("自動"));
        QCOMPARE(LoadSettings(folder()).OfiFEnd, std::string("消去"));
    }

    void stopDuringALongDrawingKeepsTheDrawingDropsTheGlfAndSaves() {
        prepareLongRun([](JobSettings& s) {
            s.OfiFMen = "自動";
            s.OfiFEnd = "消去";
        });
        auto w = open();
        QSignalSpy saved(w.get(), &MainWindow::settingsSaved);
        MainWindow* window = w.get();
        whenStatusShows(*w, "　出図中", [window] { press(window, "Command2"); });
        press(w.get(), "Command1");
        QCOMPARE(status(*w), QStringList({titleOf("BIG.OFI") + "　出図中止"}));
        QVERIFY(fs::exists(folder() / "BIG.OFI"));
        QVERIFY(!fs::exists(folder() / "BIG.GLF"));
        QVERIFY(!fs::exists(folder() / "Kesto.wok"));
        QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 3000);
        QCOMPARE(saved.count(), 1);
        QVERIFY(fs::exists(folder() / "Kesto.sys"));
    }

    void closingDuringARunWaitsForTheRunBeforeSaving() {
        prepareLongRun([](JobSettings& s) { s.OfiFMen = "自動"; });
        auto w = open();
        QStringList order;
        connect(w.get(), &MainWindow::runEnded, [&] { order << "run ended"; });
        connect(w.get(), &MainWindow::settingsSaved, [&] { order << "saved"; });
        MainWindow* window = w.get();
        whenStatusShows(*w, "　出図中", [window, &order] {
            window->close();
            order << (window->isVisible() ? "still open" : "closed");
        });
        press(w.get(), "Command1");
        QCOMPARE(order, QStringList({"still open", "run ended", "saved"}));
        QVERIFY(!w->isVisible());
        QVERIFY(status(*w).front().endsWith("　出図中止"));
        QVERIFY(!fs::exists(folder() / "BIG.GLF"));
        QVERIFY(!fs::exists(folder() / "Kesto.wok"));
    }

    void pollingTicksThatFallDueDuringAButtonRunAreSkipped() {
        prepareLongRun([](JobSettings&) {});
        auto w = open("AUTO0.3");
        // Click at once, before the first tick.  Ticks fell due during the
        // run; none of them started a second run (which would have found the
        // work file taken).
        press(w.get(), "Command1");
        QVERIFY2(allEndWith(status(*w), "　出図終了", 1), qPrintable(status(*w).join('|')));
        QVERIFY(fs::exists(folder() / "BIG.GLF"));
        QVERIFY(!fs::exists(folder() / "BIG.OFI"));
        // Polling goes on afterwards.
        QTRY_VERIFY_WITH_TIMEOUT(status(*w).contains("図面が無いか、サイズが0です"), 5000);
    }

    void manualSelectionConvertsExactlyTheDrawingsTakenInTheChooser() {
        writeSettings(folder(), [](JobSettings& s) { s.OfiOut = "ﾌｧｲﾙ"; });
        copySamples(folder());
        auto w = open();
        onNextModalDialog([](QWidget* dialog) {
            QCOMPARE(dialog->objectName(), QString("Form3"));
            auto* list = control<QListWidget>(dialog, "List1");
            QCOMPARE(list->count(), 4);
            clickEntries(list, "(TEXT-A4)");
            press(dialog, "Command1");
        });
        press(w.get(), "Command1");

        QCOMPARE(w->fileList(), std::vector<std::string>{"TEXT-A4.OFI"});
        QCOMPARE(status(*w), QStringList({titleOf("TEXT-A4.OFI") + "　出図終了"}));
        QVERIFY(fs::exists(folder() / "TEXT-A4.GLF"));
        QVERIFY(!fs::exists(folder() / "PART-A3.GLF"));
        auto* create = control<QPushButton>(w.get(), "Command1");
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
            QTRY_COMPARE(qobject_cast<FileChooser*>(dialog)->shownFolder().filename(),
                         fs::path("sub"));
            press(dialog, "Command2");
        });
        press(w.get(), "Command1");
        QCOMPARE(fieldText(w.get(), 1), QString::fromStdString((folder() / "sub").string()));
        QVERIFY(status(*w).contains("図面が無いか、サイズが0です"));
        w->close();
        QCOMPARE(LoadSettings(folder()).OfiFile, (folder() / "sub").string());
    }
};

QTEST_MAIN(MainWindowRunTest)
#include "MainWindowRunTest.moc"
