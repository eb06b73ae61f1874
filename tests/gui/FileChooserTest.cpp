// The drawing chooser: which files it lists, how it shows them, what it
// queues, and the folder it leaves behind.

#include "GuiTestSupport.h"

#include "ui/FileChooser.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace kesto;
using namespace kesto::test;
namespace fs = std::filesystem;

class FileChooserTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    fs::path folder() const { return dir_->path().toStdString(); }
    static QListWidget* files(const FileChooser& c) { return control<QListWidget>(&c, "List1"); }
    static void select(const FileChooser& c, const QString& tail) {
        QListWidget* list = files(c);
        for (int i = 0; i < list->count(); ++i) {
            if (!list->item(i)->text().endsWith(tail)) continue;
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->item(i)).center());
            return;
        }
        QFAIL(qPrintable("no entry ends with " + tail));
    }
    static QStringList sorted(QStringList l) {
        l.sort();
        return l;
    }

private slots:
    void init() { dir_ = std::make_unique<QTemporaryDir>(); }
    void cleanup() { dir_.reset(); }

    void listsOnlyNonEmptyFilesWithOfiInCapitalsOrSmallLetters() {
        writeTitledFile(folder() / "A.OFI", "平面図", "01");
        writeTitledFile(folder() / "B.ofi", "立面図", "02");
        writeTitledFile(folder() / "C.Ofi", "断面図", "03");
        writeTitledFile(folder() / "NOTES.TXT", "memo", "");
        writeTitledFile(folder() / "EMPTY.OFI", "", "", 0);
        writeTitledFile(folder() / ".HIDDEN.OFI", "x", "");
        fs::create_directory(folder() / "DIR.OFI");

        FileChooser chooser(folder(), folder(), {1150, 1250});
        chooser.show();
        QCOMPARE(chooser.objectName(), QString("Form3"));
        QCOMPARE(chooser.windowTitle(), QString("ﾌｧｲﾙを開く"));
        // Each piece of four title bytes makes four characters: 95 BD 96 CA
        // is "平面" and two blanks, 90 7D 20 20 is "図" and three blanks.
        const QString blanks(8, ' ');
        QCOMPARE(sorted(itemTexts(files(chooser))),
                 QStringList(
                     {"平面  図   " + blanks + ",01  (A)", "立面  図   " + blanks + ",02  (B)"}));
    }

    void queuesTheRealNamesOfTheSelectedEntriesInListOrder() {
        for (const char* name : {"PLAN.V2.OFI", "OFILIST.TXT", "ONE.OFI", "TWO.OFI", "MYOFI"})
            writeTitledFile(folder() / name, "図面", "R1");
        FileChooser chooser(folder(), folder(), {1150, 1250});
        chooser.show();
        const QStringList entries = itemTexts(files(chooser));
        QCOMPARE(entries.size(), 5);
        QVERIFY(entries.contains("図面  " + QString(12, ' ') + ",R1  (PLAN)"));
        QVERIFY(entries.contains("図面  " + QString(12, ' ') + ",R1  (OFILIST)"));
        QVERIFY(entries.contains("図面  " + QString(12, ' ') + ",R1  (MYOFI)"));

        select(chooser, "(TWO)");
        select(chooser, "(PLAN)");
        select(chooser, "(OFILIST)");
        QTest::mouseClick(control<QPushButton>(&chooser, "Command1"), Qt::LeftButton);
        QCOMPARE(chooser.result(), int(QDialog::Accepted));

        // List order, and each file's own name: the drawing PLAN.V2.OFI is
        // queued, not a PLAN.OFI that may be another drawing or none at all.
        std::vector<std::string> expected;
        for (const QString& e : entries) {
            if (e.endsWith("(TWO)")) expected.push_back("TWO.OFI");
            if (e.endsWith("(PLAN)")) expected.push_back("PLAN.V2.OFI");
            if (e.endsWith("(OFILIST)")) expected.push_back("OFILIST.TXT");
        }
        QCOMPARE(chooser.chosenNames(), expected);
    }

    void cancelQueuesNothingButKeepsTheFolderShownLast() {
        fs::create_directory(folder() / "sub");
        writeTitledFile(folder() / "sub" / "S.OFI", "部分", "");
        writeTitledFile(folder() / "TOP.OFI", "全体", "");
        FileChooser chooser(folder(), folder(), {1150, 1250});
        chooser.show();
        QCOMPARE(files(chooser)->count(), 1);
        chooser.showFolder(folder() / "sub");
        QCOMPARE(files(chooser)->count(), 1);
        QVERIFY(files(chooser)->item(0)->text().endsWith("(S)"));
        select(chooser, "(S)");
        QTest::mouseClick(control<QPushButton>(&chooser, "Command2"), Qt::LeftButton);
        QVERIFY(chooser.chosenNames().empty());
        QCOMPARE(chooser.shownFolder(), folder() / "sub");
    }

    void doubleClickingAFolderOpensIt() {
        fs::create_directory(folder() / "sub");
        FileChooser chooser(folder(), folder(), {1150, 1250});
        chooser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chooser));
        auto* dirs = control<QListWidget>(&chooser, "Dir1");
        const auto found = dirs->findItems("sub", Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        const QPoint at = dirs->visualItemRect(found.front()).center();
        QTest::mouseClick(dirs->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(dirs->viewport(), Qt::LeftButton, {}, at);
        QTRY_COMPARE(chooser.shownFolder(), folder() / "sub");
        // ".." leads back up.
        const auto up = dirs->findItems("..", Qt::MatchExactly);
        QCOMPARE(up.size(), 1);
        const QPoint upAt = dirs->visualItemRect(up.front()).center();
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        QTest::mouseClick(dirs->viewport(), Qt::LeftButton, {}, upAt);
        QTest::mouseDClick(dirs->viewport(), Qt::LeftButton, {}, upAt);
        QTRY_COMPARE(chooser.shownFolder(), folder());
    }

    void aFolderThatDoesNotExistOpensItsNearestParent() {
        FileChooser chooser(folder() / "gone" / "deeper", "/", {1150, 1250});
        QCOMPARE(chooser.shownFolder(), folder());
    }

    void driveListStartsWithTheRootAndHoldsTheFolder() {
        const auto drives = FileChooser::drives();
        QVERIFY(!drives.empty());
        QCOMPARE(drives.front(), fs::path("/"));
        FileChooser chooser(folder(), folder(), {1150, 1250});
        auto* drive = control<QComboBox>(&chooser, "Drive1");
        QVERIFY(drive);
        QCOMPARE(drive->itemText(0), QString("/"));
        QVERIFY(folder().string().starts_with(drive->currentText().toStdString()));
        // The root folder lists its entries with a single "/".
        chooser.showFolder("/");
        QCOMPARE(chooser.shownFolder(), fs::path("/"));
    }

    void unreadableTitlesShowAsBlanksOfTheSameWidth() {
        writeTitledFile(folder() / "SHORT.OFI", "", "", 10); // no title block
        FileChooser chooser(folder(), folder(), {1150, 1250});
        QCOMPARE(itemTexts(files(chooser)),
                 QStringList({QString(16, ' ') + "," + QString(4, ' ') + "(SHORT)"}));
    }
};

QTEST_MAIN(FileChooserTest)
#include "FileChooserTest.moc"
