// The drawing chooser: which files it lists, how it shows them, what it
// queues, and the folder it leaves behind.

#include "GuiTestSupport.h"

#include "ui/FileChooser.h"

#include <QApplication>
#include <QComboBox>
#include <QtTest>

using namespace kesto;
using namespace kesto::test;
namespace fs = std::filesystem;

class FileChooserTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    fs::path folder() const { return dir_->path().toStdString(); }
    static QListWidget* files(const FileChooser& c) { return control<QListWidget>(&c, "List1"); }
    // Opens the folder entry `name` with a click and a double click.
    static void openFolder(const FileChooser& c, const QString& name) {
        auto* dirs = control<QListWidget>(&c, "Dir1");
        const auto found = dirs->findItems(name, Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        const QPoint at = dirs->visualItemRect(found.front()).center();
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        QTest::mouseClick(dirs->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(dirs->viewport(), Qt::LeftButton, {}, at);
    }

private slots:
    void init() { dir_ = std::make_unique<QTemporaryDir>(); }
    void cleanup() { dir_.reset(); }

    void listsNonEmptyOfiFilesByTitleAndQueuesExactlyThePickedFiles() {
        writeTitledFile(folder() / "A.OFI", "平面図", "01");
        writeTitledFile(folder() / "B.ofi", "立面図", "02");
        writeTitledFile(folder() / "PLAN.V2.OFI", "図面", "R1");
        writeTitledFile(folder() / "SHORT.OFI", "", "", 10); // no title block
        // Not offered: not an OFI extension (a list, a CAD system's temporary
        // before its rename, a backup), wrong spelling, empty, hidden, a folder.
        for (const char* name : {"OFILIST.TXT", "MYOFI", "PLAN.OFI.tmp", "x.OFI.bak", "C.Ofi"})
            writeTitledFile(folder() / name, "図面", "R1");
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
        const QStringList entries = itemTexts(files(chooser));
        QStringList sorted = entries;
        sorted.sort();
        const QString drawing = "図面  " + QString(12, ' ') + ",R1  ";
        QCOMPARE(sorted,
                 QStringList({QString(16, ' ') + "," + QString(4, ' ') + "(SHORT)",
                              drawing + "(PLAN)", "平面  図   " + QString(8, ' ') + ",01  (A)",
                              "立面  図   " + QString(8, ' ') + ",02  (B)"}));

        for (const char* tail : {"(B)", "(PLAN)"})
            clickEntries(files(chooser), tail);
        press(&chooser, "Command1");
        QCOMPARE(chooser.result(), int(QDialog::Accepted));
        // List order, and each file's own name: the drawing PLAN.V2.OFI is
        // queued, not a PLAN.OFI that may be another drawing or none at all.
        std::vector<std::string> expected;
        for (const QString& e : entries) {
            if (e.endsWith("(B)")) expected.push_back("B.ofi");
            if (e.endsWith("(PLAN)")) expected.push_back("PLAN.V2.OFI");
        }
        QCOMPARE(chooser.chosenNames(), expected);
    }

    void foldersOpenByDoubleClickAndCancelQueuesNothingButKeepsTheFolderShownLast() {
        fs::create_directory(folder() / "sub");
        writeTitledFile(folder() / "sub" / "S.OFI", "部分", "");
        writeTitledFile(folder() / "TOP.OFI", "全体", "");
        FileChooser chooser(folder(), folder(), {1150, 1250});
        chooser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chooser));
        openFolder(chooser, "sub");
        QTRY_COMPARE(chooser.shownFolder(), folder() / "sub");
        QCOMPARE(files(chooser)->count(), 1);
        openFolder(chooser, "..");
        QTRY_COMPARE(chooser.shownFolder(), folder());
        QVERIFY(itemTexts(files(chooser)).front().endsWith("(TOP)"));

        chooser.showFolder(folder() / "sub");
        clickEntries(files(chooser), "(S)");
        press(&chooser, "Command2");
        QVERIFY(chooser.chosenNames().empty());
        QCOMPARE(chooser.shownFolder(), folder() / "sub");
    }

    void drivesStartAtTheRootAndAFolderThatDoesNotExistOpensItsNearestParent() {
        const auto drives = FileChooser::drives();
        QVERIFY(!drives.empty());
        QCOMPARE(drives.front(), fs::path("/"));
        FileChooser chooser(folder() / "gone" / "deeper", "/", {1150, 1250});
        QCOMPARE(chooser.shownFolder(), folder());
        auto* drive = control<QComboBox>(&chooser, "Drive1");
        QCOMPARE(drive->itemText(0), QString("/"));
        QVERIFY(folder().string().starts_with(drive->currentText().toStdString()));
        // The root folder lists its entries with a single "/".
        chooser.showFolder("/");
        QCOMPARE(chooser.shownFolder(), fs::path("/"));
    }
};

QTEST_MAIN(FileChooserTest)
#include "FileChooserTest.moc"
