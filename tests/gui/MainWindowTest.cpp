// The main window without runs: what it shows, what its labels and keys do,
// and the window positions.

#include "GuiTestSupport.h"

#include "ui/ClickLabel.h"
#include "ui/MainWindow.h"
#include "ui/TwipsPlacement.h"
#include "ui/logic/Twips.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

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

} // namespace

class MainWindowTest : public QObject, public WindowFixture {
    Q_OBJECT

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

    void pensCountUpWrapAtFifteenAndTheResetLeavesTheBreakLinePen() {
        auto w = open();
        click(*w, 28, 13); // 破断 from "2"
        QCOMPARE(fieldText(w.get(), 25), QString("15"));
        click(*w, 28, 2);
        QCOMPARE(fieldText(w.get(), 25), QString("1"));
        click(*w, 7);
        click(*w, 8, 3);
        click(*w, 9);
        click(*w, 10);
        click(*w, 11, 2);
        QCOMPARE(fields(*w, {6, 7}), QStringList({"4", "5"}));
        click(*w, 12);
        QCOMPARE(fields(*w, {6, 7, 8, 9, 10, 25}), QStringList({"3", "2", "1", "1", "1", "1"}));
    }

    void aPenReadAsTwentyGoesOnCountingAndAnUnknownPlotterIsLeftAlone() {
        writeSettings(folder(), [](JobSettings& s) {
            s.LineL = "20";
            s.Plot = "A2ﾌﾟﾛｯﾀ";
        });
        auto w = open();
        click(*w, 7, 2);
        QCOMPARE(fieldText(w.get(), 6), QString("22"));
        const QStringList before = fields(*w, kPlotterFields);
        click(*w, 6);
        QCOMPARE(fields(*w, kPlotterFields), before);
    }

    void reductionFieldTakesThreeDigitsAndBeepsAtAnythingElse() {
        auto w = open();
        QSignalSpy beeps(w.get(), &MainWindow::beeped);
        auto* reduction = control<QLineEdit>(w.get(), "Text23");
        reduction->setFocus();
        reduction->selectAll();
        QTest::keyClicks(reduction, "5");
        for (auto key : {Qt::Key_A, Qt::Key_Period, Qt::Key_Minus, Qt::Key_Backspace})
            QTest::keyClick(reduction, key);
        QCOMPARE(beeps.count(), 4);
        QCOMPARE(reduction->text(), QString("5"));
        QTest::keyClicks(reduction, "0123");
        QCOMPARE(reduction->text(), QString("501"));
        // Delete types no character and still works.
        QTest::keyClick(reduction, Qt::Key_Home);
        QTest::keyClick(reduction, Qt::Key_Delete);
        QCOMPARE(reduction->text(), QString("01"));
        QCOMPARE(beeps.count(), 4);
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

    void stopWithoutARunClosesAfterADelayAndSaves() {
        auto w = open();
        QSignalSpy saved(w.get(), &MainWindow::settingsSaved);
        click(*w, 13); // 自動, to see it in the file
        press(w.get(), "Command2");
        QVERIFY(w->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 2000);
        QCOMPARE(saved.count(), 1);
        QCOMPARE(LoadSettings(folder()).OfiFMen, std::string("自動"));
    }

    void factorsThatAreNotNumbersKeepTheirLoadedValueOnSave() {
        auto w = open();
        control<QLineEdit>(w.get(), "Text16")->setText("abc");
        control<QLineEdit>(w.get(), "Text17")->setText("0.25");
        w->close();
        const JobSettings saved = LoadSettings(folder());
        QCOMPARE(saved.MojiW, 0.17f);
        QCOMPARE(saved.MojiH, 0.25f);
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
