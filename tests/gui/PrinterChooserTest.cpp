// The printer chooser listing the queues of a real print server: the test
// suite's private cupsd.

#include "GuiTestSupport.h"

#include "PrivateCupsd.h"
#include "ui/MainWindow.h"
#include "ui/PrinterChooser.h"

#include <QLineEdit>
#include <QPushButton>
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

    void listsTheServersQueuesWithNothingSelected() {
        PrinterChooser chooser(makeSystemSpooler()->printers(), {1150, 1250});
        chooser.show();
        QStringList names = itemTexts(control<QListWidget>(&chooser, "List1"));
        names.sort();
        QCOMPARE(names, QStringList({"kesto-second", "kesto-test"}));
        QVERIFY(control<QListWidget>(&chooser, "List1")->selectedItems().isEmpty());
    }

    void theWindowTakesAChosenQueueAndKeepsItOnCancel() {
        QTemporaryDir dir;
        const fs::path folder = dir.path().toStdString();
        MainWindow w(folder, "", makeSystemSpooler());
        w.show();
        auto* button = control<QPushButton>(&w, "Command3");

        onNextModalDialog([](QWidget* dialog) {
            auto* list = control<QListWidget>(dialog, "List1");
            for (int i = 0; i < list->count(); ++i) {
                if (list->item(i)->text() != "kesto-test") continue;
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                                  list->visualItemRect(list->item(i)).center());
            }
            QTest::mouseClick(control<QPushButton>(dialog, "Command1"), Qt::LeftButton);
        });
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(control<QLineEdit>(&w, "Text24")->text(), QString("kesto-test"));

        onNextModalDialog([](QWidget* dialog) {
            auto* list = control<QListWidget>(dialog, "List1");
            list->setCurrentRow(0);
            QTest::mouseClick(control<QPushButton>(dialog, "Command2"), Qt::LeftButton);
        });
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(control<QLineEdit>(&w, "Text24")->text(), QString("kesto-test"));
        w.close();
        QCOMPARE(LoadSettings(folder).Hprn, std::string("kesto-test"));
    }
};

QTEST_MAIN(PrinterChooserTest)
#include "PrinterChooserTest.moc"
