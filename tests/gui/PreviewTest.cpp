// The drawing preview: beside the chooser's list, converted with the
// window's settings, and from a finished drawing's status line.

#include "GuiTestSupport.h"
#include "TangledPolygon.h"

#include "ui/FileChooser.h"
#include "ui/HistoryDialog.h"
#include "ui/MainWindow.h"
#include "ui/PreviewPane.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QTableWidget>
#include <QtTest>

using namespace kesto;
using namespace kesto::test;
namespace fs = std::filesystem;

namespace {

// Waits for the pane's next picture; its width over its height.
double shownAspect(PreviewPane* pane, const std::function<void()>& trigger) {
    QSignalSpy shown(pane, &PreviewPane::shown);
    trigger();
    if (!shown.wait(20000)) return 0;
    const QImage& p = pane->picture();
    return p.isNull() ? 0 : static_cast<double>(p.width()) / p.height();
}

} // namespace

class PreviewTest : public QObject, public WindowFixture {
    Q_OBJECT

private slots:
    void init() { reset(); }

    // Every sample shows as its sheet (an A-series page: sides 1 : 1.414);
    // plotting the sheets unrotated turns each picture a quarter.
    void chooserShowsTheCurrentDrawingWithTheWindowsSettings() {
        copySamples(folder());
        FileChooser chooser(folder(), folder(), {1150, 1250});
        chooser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chooser));
        auto* files = control<QListWidget>(&chooser, "List1");
        auto* pane = control<PreviewPane>(&chooser, "Preview1");
        QVERIFY(pane);
        QVERIFY(files->count() >= 4);
        // Every sheet's rotation the other way round.
        ConversionSettings turned;
        for (bool* flag :
             {&turned.rotateA4V, &turned.rotateA4H, &turned.rotateA3, &turned.rotateA2V,
              &turned.rotateA2H, &turned.rotateA1, &turned.rotateA0})
            *flag = !*flag;
        for (int row = 0; row < files->count(); ++row) {
            chooser.setPreviewSettings(ConversionSettings{});
            const double rotated = shownAspect(pane, [&] { files->setCurrentRow(row); });
            QVERIFY2(std::abs(rotated - 1.414) < 0.02 || std::abs(rotated - 0.707) < 0.02,
                     qPrintable(pane->message()));
            chooser.setPreviewSettings(turned);
            files->setCurrentRow(-1);
            const double plain = shownAspect(pane, [&] { files->setCurrentRow(row); });
            QVERIFY(std::abs(plain - 1.414) < 0.02 || std::abs(plain - 0.707) < 0.02);
            QCOMPARE(plain > 1, rotated > 1 ? false : true);
        }
        // Taking drawings still queues them; the pane changes nothing there.
        QVERIFY(files->item(0)->isSelected() == false);
    }

    // A drawing that takes minutes to draw is given up when another is
    // chosen: its worker ends (bound generous, time printed) and the other
    // drawing shows.
    void aSlowDrawingIsGivenUpWhenAnotherIsChosen() {
        const fs::path slow = folder() / "TANGLE.GLF";
        QVERIFY(writeTangledPolygon(slow, 2'000'000));
        const auto samples = copySamples(folder());
        PreviewPane pane;
        pane.resize(640, 480);
        pane.show();
        QSignalSpy shown(&pane, &PreviewPane::shown);
        pane.showGlf(slow.string());
        QTest::qWait(1500); // well into the drawing
        QVERIFY(pane.busy());
        QElapsedTimer timer;
        timer.start();
        pane.showOfi((folder() / "PART-A3.OFI").string(), ConversionSettings{});
        const qint64 gaveUp = timer.elapsed();
        QVERIFY(shown.wait(20000));
        QCOMPARE(shown.count(), 1);
        QVERIFY2(!pane.picture().isNull(), qPrintable(pane.message()));
        QTRY_VERIFY_WITH_TIMEOUT(!pane.busy(), 5000);
        qInfo("the slow drawing was given up in %lld ms", gaveUp);
    }

    // A finished drawing's line opens its picture while its files are there.
    void finishedStatusLineOpensItsPreviewOnDoubleClick() {
        writeSettings(folder(), [](JobSettings& s) {
            s.OfiFMen = "自動";
            s.OfiOut = "ﾌｧｲﾙ";
        });
        copySamples(folder());
        auto window = open();
        QSignalSpy ended(window.get(), &MainWindow::runEnded);
        window->runJob();
        QVERIFY(ended.count() > 0 || ended.wait(60000));
        auto* status = control<QListWidget>(window.get(), "List2");
        int finished = -1;
        for (int row = 0; row < status->count(); ++row) {
            if (status->item(row)->text().endsWith("　出図終了")) finished = row;
        }
        QVERIFY(finished >= 0);
        status->scrollToItem(status->item(finished));
        const QPoint at = status->visualItemRect(status->item(finished)).center();
        QTest::mouseClick(status->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(status->viewport(), Qt::LeftButton, {}, at);
        auto* preview = window->findChild<QWidget*>("PreviewWindow");
        QVERIFY(preview);
        auto* pane = control<PreviewPane>(preview, "Preview1");
        QSignalSpy shown(pane, &PreviewPane::shown);
        QVERIFY(!pane->picture().isNull() || shown.wait(20000));
        QVERIFY(!pane->picture().isNull());
        preview->close();

        // Once its files are gone, the line opens nothing.
        for (const auto& entry : fs::directory_iterator(folder())) {
            const std::string ext = entry.path().extension().string();
            if (ext == ".OFI" || ext == ".GLF") fs::remove(entry.path());
        }
        QCOMPARE(window->openPreview(finished), nullptr);
        // Lines of other kinds never open one.
        QCOMPARE(window->openPreview(status->count()), nullptr);
    }

    // The history: drawings deleted by their run still show from the archive,
    // the filter narrows the list, and a reprint goes to the printer chosen.
    void historyShowsAnArchivedDrawingAndReprintsItElsewhere() {
        writeSettings(folder(), [](JobSettings& s) {
            s.OfiFMen = "自動";
            s.OfiFEnd = "消去";
            s.Hprn = "plotter-a";
        });
        const auto samples = copySamples(folder());
        auto window = open();
        QSignalSpy ended(window.get(), &MainWindow::runEnded);
        window->runJob();
        QVERIFY(ended.count() > 0 || ended.wait(60000));
        RecordingSpooler spooler(spooler_);
        HistoryDialog dialog(folder(), spooler);
        QCOMPARE(dialog.table()->rowCount(), static_cast<int>(samples.size()));
        dialog.outcomeFilter()->setCurrentText("失敗");
        QCOMPARE(dialog.table()->rowCount(), 0);
        dialog.outcomeFilter()->setCurrentIndex(0);

        QSignalSpy shown(dialog.preview(), &PreviewPane::shown);
        dialog.table()->selectRow(0);
        QVERIFY(shown.count() > 0 || shown.wait(20000));
        QVERIFY2(!dialog.preview()->picture().isNull(), qPrintable(dialog.preview()->message()));

        dialog.printerBox()->setCurrentText("plotter-b");
        dialog.reprintSelected();
        QVERIFY2(dialog.note()->text().contains("再出図しました"),
                 qPrintable(dialog.note()->text()));
        std::lock_guard guard(spooler_->lock);
        QCOMPARE(spooler_->printers.size(), samples.size() + 1);
        QCOMPARE(spooler_->printers.back(), std::string("plotter-b"));
        QCOMPARE(dialog.table()->rowCount(), static_cast<int>(samples.size()) + 1);
    }
};

QTEST_MAIN(PreviewTest)
#include "PreviewTest.moc"
