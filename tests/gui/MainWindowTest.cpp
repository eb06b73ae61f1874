// The main window: what it shows, what its labels and keys do, the window
// positions, and the window as the host of job runs (the one-shot and polling
// starts, the stop button, closing during a run, manual selection through the
// file chooser and failed deliveries).

#include "GuiTestSupport.h"

#include "composer/SampleDrawings.h"
#include "ofi/OfiTitle.h"
#include "ui/ClickLabel.h"
#include "ui/FileChooser.h"
#include "ui/MainWindow.h"
#include "ui/PreviewPane.h"
#include "ui/TwipsPlacement.h"
#include "ui/logic/Twips.h"

#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <fstream>
#include <iterator>

using namespace kesto;
using namespace kesto::test;
namespace fs = std::filesystem;

namespace {

void click(const MainWindow& w, int label, int times = 1) {
    auto* l = control<ClickLabel>(&w, ("Label" + std::to_string(label)).c_str());
    QVERIFY(l);
    for (int i = 0; i < times; ++i)
        QTest::mouseClick(l, Qt::LeftButton);
}

QStringList fields(const MainWindow& w, std::initializer_list<int> numbers) {
    QStringList out;
    for (int n : numbers)
        out << fieldText(&w, n);
    return out;
}

// The plotter size and the seven rotations, A4縦 to A0横.
constexpr std::initializer_list<int> kPlotterFields = {26, 2, 3, 4, 5, 20, 21, 22};

// A drawing big enough to be caught in the middle of its conversion.
constexpr std::size_t kLongDrawingBytes = 20u * 1024 * 1024;

// True when there are `count` lines and each ends with `tail`.
bool allEndWith(const QStringList& lines, const QString& tail, qsizetype count) {
    return lines.size() == count && std::all_of(lines.begin(), lines.end(),
                                                [&](const QString& l) { return l.endsWith(tail); });
}

} // namespace

class MainWindowTest : public QObject, public WindowFixture {
    Q_OBJECT

private:
    static QStringList status(const MainWindow& w) {
        return itemTexts(control<QListWidget>(&w, "List2"));
    }
    // BIG.OFI, big enough to be caught in the middle of its conversion, and
    // settings with file output changed by `change`.
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

    void showsTheDefaultsInAFolderWithoutSettingsFileAndSavesThemOnClose() {
        auto w = open();
        QCOMPARE(w->windowTitle(), QString("ZUNA-HPGL 出図 Ve1.25"));
        QCOMPARE(fieldText(w.get(), 1), QString::fromStdString(folder().string()));
        const std::pair<int, const char*> expected[] = {
            {2, "90"},    {3, "0"},     {4, "0"},        {5, "90"},     {20, "0"},
            {21, "0"},    {22, "0"},    {26, "A0ﾌﾟﾛｯﾀ"}, {6, "3"},      {7, "2"},
            {8, "1"},     {9, "1"},     {10, "1"},       {25, "2"},     {23, "100"},
            {14, "全角"}, {15, "半角"}, {16, "0.17"},    {17, "0.11"},  {18, "-0.2"},
            {19, "-0.2"}, {11, "手動"}, {12, "保存"},    {13, "ﾌﾟﾛｯﾀ"}, {24, ""},
        };
        for (const auto& [n, text] : expected)
            QCOMPARE(fieldText(w.get(), n), QString(text));
        const QPoint at(twipsToPixels(1150, twipsDpiX(*w)), twipsToPixels(1250, twipsDpiY(*w)));
        QCOMPARE(w->pos(), at);
        QCOMPARE(control<QPushButton>(w.get(), "Command1")->text(), QString("作成"));
        QCOMPARE(control<QPushButton>(w.get(), "Command2")->text(), QString("中止"));
        QCOMPARE(control<QPushButton>(w.get(), "Command3")->text(), QString("プロッタ    変更"));

        // An unmoved window keeps its twips exactly.
        w->close();
        const JobSettings saved = LoadSettings(folder());
        QCOMPARE(saved.OfiLeft, std::int16_t(1150));
        QCOMPARE(saved.OfiTop, std::int16_t(1250));
        QCOMPARE(saved.OfiFMen, std::string("手動"));
        QCOMPARE(saved.OfiFile, folder().string());
    }

    void labelsCarryTheirCaptionsAndTooltipsAndLockedFieldsRefuseTyping() {
        auto w = open();
        const std::tuple<int, const char*, const char*> labels[] = {
            {1, "* ．ＯＦＩ ファイルの場所", "ﾌｧｲﾙ選択を手動にして変更しても可"},
            {6, "回転", "用紙の回転方向をラベルをクリックして選択する"},
            {12, "ペンNo", "プロッターのペンＮｏと線種をラベルをクリックして合わす"},
            {26, "縮小率（％）", "縮小率又は用紙サイズを指定"},
            {16, "カタカナ文字ｾｯﾄ", "カタカナ文字を半角フォントか全角フォントか選択する"},
            {17, "英数記号文字ｾｯﾄ", "英数記号文字を半角フォントか全角フォントか選択する"},
            {18, "漢字　変更倍率（サイズ、位置）",
             "漢字フォントのサイズと位置を変更します（Y座標の-0.1の場合は文字幅の10％移動します"},
            {13, "ﾌｧｲﾙ選択", "OFIファイルを自動で検索するか、選択するか"},
            {14, "終了ﾌｧｲﾙ", "出図済みOFIファイルを消去するか保存するか"},
            {15, "出力先", "作成したHP-GLファイルを印刷するかドライブにコピーするか"},
            {27, "出力先プロッタ名", "指定が無い場合通常使うプリンターになる"},
            {2, "A4縦", ""},
            {3, "A4横", ""},
            {4, "A3横", ""},
            {5, "A2縦", ""},
            {23, "A2横", ""},
            {24, "A1横", ""},
            {25, "A0横", ""},
            {7, "太線", ""},
            {8, "中線", ""},
            {9, "細線", ""},
            {10, "注記", ""},
            {11, "ﾊﾟﾀｰﾝ", ""},
            {28, "破断", ""},
            {19, "幅", ""},
            {20, "高さ", ""},
            {21, "Ｘ座標", ""},
            {22, "Ｙ座標", ""},
        };
        for (const auto& [n, caption, tip] : labels) {
            auto* l = control<ClickLabel>(w.get(), ("Label" + std::to_string(n)).c_str());
            QVERIFY2(l, caption);
            QCOMPARE(l->text(), QString(caption));
            QCOMPARE(l->toolTip(), QString(tip));
        }
        for (int n = 1; n <= 26; ++n) {
            const bool free = n == 1 || n == 23 || (n >= 16 && n <= 19);
            QCOMPARE(
                control<QLineEdit>(w.get(), ("Text" + std::to_string(n)).c_str())->isReadOnly(),
                !free);
        }
        QVERIFY(control<QListWidget>(w.get(), "List2")->font().families().contains("IPAGothic"));
    }

    void everyLabelCyclesItsOwnField() {
        auto w = open();
        // Rotations and the two-way choices go there and back.
        const std::tuple<int, int, const char*> toggles[] = {
            {2, 2, "0"},      {3, 3, "90"},     {4, 4, "90"},     {5, 5, "0"},
            {23, 20, "90"},   {24, 21, "90"},   {25, 22, "90"},   {16, 14, "半角"},
            {17, 15, "全角"}, {13, 11, "自動"}, {14, 12, "消去"}, {15, 13, "ﾌｧｲﾙ"}};
        for (const auto& [label, text, next] : toggles) {
            const QString before = fieldText(w.get(), text);
            click(*w, label);
            QCOMPARE(fieldText(w.get(), text), QString(next));
            click(*w, label);
            QCOMPARE(fieldText(w.get(), text), before);
        }

        QStringList seen;
        for (int i = 0; i < 5; ++i) {
            click(*w, 26);
            seen << fieldText(w.get(), 23);
        }
        QCOMPARE(seen, QStringList({"A4", "A3", "A2", "A1", "100"}));
        auto* reduction = control<QLineEdit>(w.get(), "Text23");
        reduction->setFocus();
        reduction->selectAll();
        QTest::keyClicks(reduction, "75");
        click(*w, 26);
        QCOMPARE(fieldText(w.get(), 23), QString("A4"));

        click(*w, 6);
        QCOMPARE(fields(*w, kPlotterFields),
                 QStringList({"A1ﾌﾟﾛｯﾀ", "90", "0", "90", "90", "0", "90", "90"}));
        click(*w, 6);
        QCOMPARE(fields(*w, kPlotterFields),
                 QStringList({"A0ﾌﾟﾛｯﾀ", "0", "90", "0", "0", "90", "0", "90"}));
    }

    void pensCountOnFromTwentyWrapOnlyAtFifteenAndTheResetLeavesTheBreakLinePen() {
        writeSettings(folder(), [](JobSettings& s) {
            s.LineL = "20";
            s.Plot = "A2ﾌﾟﾛｯﾀ";
        });
        auto w = open();
        click(*w, 28, 13); // 破断 from "2"
        QCOMPARE(fieldText(w.get(), 25), QString("15"));
        click(*w, 28);
        QCOMPARE(fieldText(w.get(), 25), QString("0"));
        click(*w, 7, 2);
        click(*w, 8, 3);
        click(*w, 9);
        click(*w, 10);
        click(*w, 11, 2);
        QCOMPARE(fields(*w, {6, 7, 8, 9, 10}), QStringList({"22", "5", "2", "2", "3"}));
        click(*w, 12);
        QCOMPARE(fields(*w, {6, 7, 8, 9, 10, 25}), QStringList({"3", "2", "1", "1", "1", "0"}));
        // A plotter text the preset does not know is left alone.
        const QStringList before = fields(*w, kPlotterFields);
        click(*w, 6);
        QCOMPARE(fields(*w, kPlotterFields), before);
    }

    void reductionFieldTakesThreeDigitsHoweverTheyComeAndBeepsAtAnythingElse() {
        auto w = open();
        QSignalSpy beeps(w.get(), &MainWindow::beeped);
        auto* reduction = control<QLineEdit>(w.get(), "Text23");
        reduction->setFocus();
        reduction->selectAll();
        QTest::keyClicks(reduction, "5");
        for (auto key : {Qt::Key_A, Qt::Key_Period, Qt::Key_Minus})
            QTest::keyClick(reduction, key);
        QCOMPARE(beeps.count(), 3);
        QCOMPARE(reduction->text(), QString("5"));
        QTest::keyClicks(reduction, "0123"); // the fourth digit is one too many
        QCOMPARE(reduction->text(), QString("501"));
        QTest::keyClick(reduction, Qt::Key_Home);
        QTest::keyClick(reduction, Qt::Key_Delete);
        QTest::keyClick(reduction, Qt::Key_End);
        QTest::keyClick(reduction, Qt::Key_Backspace);
        QCOMPARE(reduction->text(), QString("0"));
        QCOMPARE(beeps.count(), 3);

        // A Japanese input method commits full-width digits.
        reduction->selectAll();
        QInputMethodEvent commit;
        commit.setCommitString("５０");
        QApplication::sendEvent(reduction, &commit);
        QCOMPARE(reduction->text(), QString("50"));
        // Paste goes through the same check.
        QApplication::clipboard()->setText("７x");
        reduction->selectAll();
        reduction->paste();
        QCOMPARE(reduction->text(), QString("50"));
        QCOMPARE(beeps.count(), 4);
        QApplication::clipboard()->setText("７５");
        reduction->selectAll();
        reduction->paste();
        QCOMPARE(reduction->text(), QString("75"));

        // Tab moves on.
        QTest::keyClick(reduction, Qt::Key_Tab);
        QVERIFY(!reduction->hasFocus());
        QCOMPARE(beeps.count(), 4);
        w->close();
        QCOMPARE(LoadSettings(folder()).OfiS, std::string("75"));
    }

    void aReductionLongerThanMayBeTypedIsShownUsedAndSavedAsItIs() {
        writeSettings(folder(), [](JobSettings& s) { s.OfiS = "1000"; });
        auto w = open();
        auto* reduction = control<QLineEdit>(w.get(), "Text23");
        QCOMPARE(reduction->text(), QString("1000"));
        QCOMPARE(w->fieldTexts().at("OfiS"), std::string("1000"));
        reduction->setFocus();
        reduction->end(false);
        QTest::keyClicks(reduction, "5"); // it may not grow
        QCOMPARE(reduction->text(), QString("1000"));
        QTest::keyClick(reduction, Qt::Key_Backspace); // but may shrink
        QCOMPARE(reduction->text(), QString("100"));
        QTest::keyClicks(reduction, "0");
        QCOMPARE(reduction->text(), QString("1000"));
        w->close();
        QCOMPARE(LoadSettings(folder()).OfiS, std::string("1000"));
    }

    void aFolderOrPrinterTheSettingsFileCannotHoldIsRefusedAndTheWindowSaysWhy() {
        auto w = open();
        auto* folderField = control<QLineEdit>(w.get(), "Text1");
        const QString before = folderField->text();
        folderField->setFocus();
        folderField->selectAll();
        QTest::keyClicks(folderField, "/srv/My  Plots");
        QTest::keyClick(folderField, Qt::Key_Return);
        QCOMPARE(folderField->text(), before);
        auto* status = control<QListWidget>(w.get(), "List2");
        QVERIFY(status->count() > 0);
        QVERIFY(status->item(status->count() - 1)->text().contains("ＯＦＩ ファイルの場所"));
        QVERIFY(!status->item(status->count() - 1)->toolTip().isEmpty());
        w->close();
        QCOMPARE(LoadSettings(folder()).OfiFile, folder().string());
    }

    void pollingSwitchesFieldsAndOnlyAZeroIntervalButtonWakesUpOnMouseMove() {
        auto w = open("AUTO0");
        QCOMPARE(fields(*w, {11, 12}), QStringList({"自動", "消去"}));
        auto* create = control<QPushButton>(w.get(), "Command1");
        QCOMPARE(create->text(), QString("自動\n 0秒"));
        QTest::mouseMove(create, create->rect().center());
        QTRY_COMPARE(create->text(), QString("作成"));
        QTest::qWait(300);
        QVERIFY(!w->runInProgress()); // interval 0: never ticks
        QCOMPARE(control<QListWidget>(w.get(), "List2")->count(), 0);

        auto polling = open("AUTO30");
        create = control<QPushButton>(polling.get(), "Command1");
        QTest::mouseMove(create, create->rect().center());
        QTest::qWait(50);
        QCOMPARE(create->text(), QString("自動\n 30秒"));
    }

    void windowAndChooserPositionsComeBackOnTheNextStart() {
        writeSettings(folder(), [](JobSettings& s) {
            s.PrnLeft = 2880;
            s.PrnTop = 1440;
        });
        auto w = open();
        const double dpi = twipsDpiX(*w);
        QPoint dialogAt;
        onNextModalDialog([&](QWidget* dialog) {
            dialogAt = dialog->pos();
            dialog->move(dialog->pos() + QPoint(30, 15));
            QTest::qWait(20);
            press(dialog, "Command2");
        });
        press(w.get(), "Command3");
        QCOMPARE(dialogAt, QPoint(twipsToPixels(2880, dpi), twipsToPixels(1440, twipsDpiY(*w))));

        w->move(w->pos() + QPoint(96, 48));
        QTest::qWait(20);
        const QPoint windowAt = w->pos();
        w->close();
        const JobSettings saved = LoadSettings(folder());
        QCOMPARE(saved.OfiLeft, pixelsToTwips(windowAt.x(), dpi));
        QCOMPARE(saved.PrnLeft, pixelsToTwips(dialogAt.x() + 30, dpi));

        auto again = open();
        QCOMPARE(again->pos(), windowAt);
        onNextModalDialog([&](QWidget* dialog) {
            QCOMPARE(dialog->pos(), dialogAt + QPoint(30, 15));
            press(dialog, "Command2");
        });
        press(again.get(), "Command3");
    }

    void stopWithoutARunClosesAfterADelayAndSavesKeepingFactorsThatAreNotNumbers() {
        auto w = open();
        QSignalSpy saved(w.get(), &MainWindow::settingsSaved);
        click(*w, 13); // 自動, to see it in the file
        control<QLineEdit>(w.get(), "Text16")->setText("abc");
        control<QLineEdit>(w.get(), "Text17")->setText("0.25");
        press(w.get(), "Command2");
        QVERIFY(w->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 2000);
        QCOMPARE(saved.count(), 1);
        const JobSettings s = LoadSettings(folder());
        QCOMPARE(s.OfiFMen, std::string("自動"));
        QCOMPARE(s.MojiW, 0.17f);
        QCOMPARE(s.MojiH, 0.25f);
    }

    void oneShotStartConvertsTheSamplesThenClosesAndSavesAutomaticSelection() {
        const auto samples = copySamples(folder());
        QCOMPARE(samples.size(), std::size_t(4));
        auto w = open("AUTO");
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

    // A share served with a legacy character set: the folder 図面 and the
    // drawing 部品.OFI are named in Shift-JIS bytes, and so is the folder in
    // Kesto.sys.  The window shows them readably and keeps their bytes.
    void aFolderAndDrawingNamedInShiftJisAreShownReadablyAndKeptByteForByte() {
        const std::string legacyFolder = (folder() / "\x90\x7D\x96\xCA").string();
        fs::create_directory(legacyFolder);
        fs::copy_file(fs::path(KESTO_SAMPLES_DIR) / "PART-A3.OFI",
                      legacyFolder + "/\x95\x94\x95\x69.OFI");
        writeSettings(folder(), [&](JobSettings& s) {
            s.OfiFile = legacyFolder;
            s.OfiOut = "ﾌｧｲﾙ";
            s.OfiFMen = "自動";
        });
        auto w = open();
        const QString shown = QString::fromStdString((folder() / "図面").string());
        QCOMPARE(fieldText(w.get(), 1), shown);
        QCOMPARE(w->folderField(), legacyFolder);

        for (int run = 1; run <= 2; ++run) { // the second run finds the folder again
            press(w.get(), "Command1");
            QVERIFY2(allEndWith(status(*w), "　出図終了", run), qPrintable(status(*w).join('|')));
            QVERIFY(fs::exists(legacyFolder + "/\x95\x94\x95\x69.GLF"));
            QCOMPARE(fieldText(w.get(), 1), shown);
        }
        QWidget* preview = w->openPreview(0);
        QVERIFY(preview != nullptr);
        QVERIFY(
            QSignalSpy(control<PreviewPane>(preview, "Preview1"), &PreviewPane::shown).wait(10000));

        // The chooser lists the drawing by a readable name.
        onNextModalDialog([](QWidget* dialog) {
            QVERIFY(!control<QListWidget>(dialog, "List1")
                         ->findItems("(部品)", Qt::MatchEndsWith)
                         .isEmpty());
            press(dialog, "Command2");
        });
        w->chooseFiles(w->folderField());

        w->close();
        QCOMPARE(LoadSettings(folder()).OfiFile, legacyFolder);
        std::ifstream in(folder() / "Kesto.sys", std::ios::binary);
        const std::string file{std::istreambuf_iterator<char>(in), {}};
        QVERIFY(file.find("\r\nOfiFile=" + legacyFolder + " ") != std::string::npos);
        fs::remove_all(legacyFolder); // Qt cannot name it to remove it
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

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
