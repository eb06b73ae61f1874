// The printer chooser listing the queues of a real print server: the test
// suite's private cupsd.

#include "GuiTestSupport.h"

#include "PrivateCupsd.h"
#include "ui/MainWindow.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace kesto;
using namespace kesto::test;
namespace fs = std::filesystem;

class PrinterChooserTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<PrivateCupsd> cupsd_;

private slots:
    void initTestCase() {
        if (!PrivateCupsd::installed()) QSKIP("cupsd is not installed");
        cupsd_ = std::make_unique<PrivateCupsd>();
        QVERIFY2(cupsd_->start(), cupsd_->error().c_str());
        // Nothing listens there; the queues are only listed, never printed to.
        QVERIFY(cupsd_->addRawQueue("kesto-test", "socket://127.0.0.1:9"));
        QVERIFY(cupsd_->addRawQueue("kesto-second", "socket://127.0.0.1:9"));
        cupsd_->useAsDefaultServer();
    }
    void cleanupTestCase() {
        if (cupsd_) cupsd_->stop();
    }

    void theWindowListsTheServersQueuesTakesTheChosenOneAndKeepsItOnCancel() {
        QTemporaryDir dir;
        const fs::path folder = dir.path().toStdString();
        MainWindow w(folder, "", makeSystemSpooler());
        w.show();

        onNextModalDialog([](QWidget* dialog) {
            QCOMPARE(dialog->objectName(), QString("Form4"));
            QCOMPARE(dialog->windowTitle(), QString("プリンター選択"));
            auto* list = control<QListWidget>(dialog, "List1");
            QStringList names = itemTexts(list);
            names.sort();
            QCOMPARE(names, QStringList({"kesto-second", "kesto-test"}));
            QVERIFY(list->selectedItems().isEmpty());
            clickEntries(list, "kesto-test");
            press(dialog, "Command1");
        });
        press(&w, "Command3");
        QCOMPARE(fieldText(&w, 24), QString("kesto-test"));

        // A run fills an empty field with the default printer; a cancelled
        // choice shows the printer last chosen again.
        w.setPrinterField("kesto-second");
        onNextModalDialog([](QWidget* dialog) {
            control<QListWidget>(dialog, "List1")->setCurrentRow(0);
            press(dialog, "Command2");
        });
        press(&w, "Command3");
        QCOMPARE(fieldText(&w, 24), QString("kesto-test"));

        // "選択" with nothing selected changes nothing.
        onNextModalDialog([](QWidget* dialog) { press(dialog, "Command1"); });
        press(&w, "Command3");
        QCOMPARE(fieldText(&w, 24), QString("kesto-test"));
        w.close();
        QCOMPARE(LoadSettings(folder).Hprn, std::string("kesto-test"));
    }
};

QTEST_MAIN(PrinterChooserTest)
#include "PrinterChooserTest.moc"
