#include "ui/MainWindow.h"

#include "io/NativeText.h"
#include "job/JournalRecorder.h"
#include "job/Snapshot.h"
#include "settings/Vocabulary.h"
#include "ui/ClickLabel.h"
#include "ui/FileChooser.h"
#include "ui/HistoryDialog.h"
#include "ui/NumericValidators.h"
#include "ui/PreviewPane.h"
#include "ui/PrinterChooser.h"
#include "ui/logic/SettingCycles.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <iostream>
#include <string_view>

namespace kesto {

namespace {

// The fields by what they show; the numbers are those of their object names
// (Text1 ... Text26).
namespace field {
constexpr int kFolder = 1;
constexpr int kA4V = 2;
constexpr int kA4H = 3;
constexpr int kA3 = 4;
constexpr int kA2V = 5;
constexpr int kPenThick = 6;
constexpr int kPenMedium = 7;
constexpr int kPenThin = 8;
constexpr int kPenText = 9;
constexpr int kPenPattern = 10;
constexpr int kFileSelection = 11;
constexpr int kFinishedFiles = 12;
constexpr int kOutput = 13;
constexpr int kKanaSet = 14;
constexpr int kAlnumSet = 15;
constexpr int kKanjiWidth = 16;
constexpr int kKanjiHeight = 17;
constexpr int kKanjiX = 18;
constexpr int kKanjiY = 19;
constexpr int kA2H = 20;
constexpr int kA1 = 21;
constexpr int kA0 = 22;
constexpr int kReduction = 23;
constexpr int kPrinter = 24;
constexpr int kPenBreak = 25;
constexpr int kPlotter = 26;
} // namespace field

// Which field shows which setting.
struct FieldKey {
    std::string_view key;
    int text;
};
constexpr FieldKey kFields[] = {
    {"OfiFile", field::kFolder},
    {"OfiA4V", field::kA4V},
    {"OfiA4H", field::kA4H},
    {"OfiA3", field::kA3},
    {"OfiA2V", field::kA2V},
    {"OfiA2H", field::kA2H},
    {"OfiA1", field::kA1},
    {"OfiA0", field::kA0},
    {"Plot", field::kPlotter},
    {"LineL", field::kPenThick},
    {"LineM", field::kPenMedium},
    {"LineS", field::kPenThin},
    {"LineT", field::kPenText},
    {"LineP", field::kPenPattern},
    {"LineD", field::kPenBreak},
    {"OfiS", field::kReduction},
    {"MojiK", field::kKanaSet},
    {"MojiE", field::kAlnumSet},
    {"MojiW", field::kKanjiWidth},
    {"MojiH", field::kKanjiHeight},
    {"MojiX", field::kKanjiX},
    {"MojiY", field::kKanjiY},
    {"OfiFMen", field::kFileSelection},
    {"OfiFEnd", field::kFinishedFiles},
    {"OfiOut", field::kOutput},
    {"Hprn", field::kPrinter},
};

// Fields that only the labels (or the printer chooser) change.
constexpr int kLockedFields[] = {field::kA4V,        field::kA4H,           field::kA3,
                                 field::kA2V,        field::kA2H,           field::kA1,
                                 field::kA0,         field::kPlotter,       field::kPenThick,
                                 field::kPenMedium,  field::kPenThin,       field::kPenText,
                                 field::kPenPattern, field::kPenBreak,      field::kKanaSet,
                                 field::kAlnumSet,   field::kFileSelection, field::kFinishedFiles,
                                 field::kOutput,     field::kPrinter};

// The rotation fields in the order the plotter preset lists them, with their labels.
constexpr int kRotationFields[] = {field::kA4V, field::kA4H, field::kA3, field::kA2V,
                                   field::kA2H, field::kA1,  field::kA0};
constexpr int kRotationLabels[] = {2, 3, 4, 5, 23, 24, 25};
// The pen fields and their labels; the pen reset covers the first five.
constexpr int kPenFields[] = {field::kPenThick, field::kPenMedium,  field::kPenThin,
                              field::kPenText,  field::kPenPattern, field::kPenBreak};
constexpr int kPenLabels[] = {7, 8, 9, 10, 11, 28};

struct LabelText {
    int number;
    const char* caption;
    const char* tooltip;
};
constexpr LabelText kLabels[] = {
    {1, "* ．ＯＦＩ ファイルの場所", "ﾌｧｲﾙ選択を手動にして変更しても可"},
    {2, "A4縦", ""},
    {3, "A4横", ""},
    {4, "A3横", ""},
    {5, "A2縦", ""},
    {23, "A2横", ""},
    {24, "A1横", ""},
    {25, "A0横", ""},
    {6, "回転", "用紙の回転方向をラベルをクリックして選択する"},
    {12, "ペンNo", "プロッターのペンＮｏと線種をラベルをクリックして合わす"},
    {7, "太線", ""},
    {8, "中線", ""},
    {9, "細線", ""},
    {10, "注記", ""},
    {11, "ﾊﾟﾀｰﾝ", ""},
    {28, "破断", ""},
    {26, "縮小率（％）", "縮小率又は用紙サイズを指定"},
    {16, "カタカナ文字ｾｯﾄ", "カタカナ文字を半角フォントか全角フォントか選択する"},
    {17, "英数記号文字ｾｯﾄ", "英数記号文字を半角フォントか全角フォントか選択する"},
    {18, "漢字　変更倍率（サイズ、位置）",
     "漢字フォントのサイズと位置を変更します（Y座標の-0.1の場合は文字幅の10％移動します"},
    {19, "幅", ""},
    {20, "高さ", ""},
    {21, "Ｘ座標", ""},
    {22, "Ｙ座標", ""},
    {13, "ﾌｧｲﾙ選択", "OFIファイルを自動で検索するか、選択するか"},
    {14, "終了ﾌｧｲﾙ", "出図済みOFIファイルを消去するか保存するか"},
    {15, "出力先", "作成したHP-GLファイルを印刷するかドライブにコピーするか"},
    {27, "出力先プロッタ名", "指定が無い場合通常使うプリンターになる"},
};

// Labels that change a field when clicked look like buttons.
constexpr int kPassiveLabels[] = {1, 18, 19, 20, 21, 22, 27};

// At most three characters in the reduction field (0 to 999 %).
constexpr int kReductionMaxLength = 3;
// Width of the short setting fields, in characters.
constexpr int kShortFieldChars = 6;
// Lines of the progress list that show without scrolling.
constexpr int kStatusLines = 3;

const char* const kCreateCaption = "作成";
const char* const kEndCaption = "終了";

QFont japaneseMonospace() {
    QFont font;
    font.setFamilies({"IPAGothic", "Noto Sans Mono CJK JP"});
    font.setStyleHint(QFont::Monospace);
    return font;
}

} // namespace

MainWindow::MainWindow(std::filesystem::path programFolder, std::string argument,
                       std::unique_ptr<Spooler> spooler, QWidget* parent)
    : QWidget(parent), programFolder_(std::move(programFolder)), mode_(windowStartFor(argument)),
      spooler_(std::move(spooler)) {
    setObjectName("Form1");
    setWindowTitle("ZUNA-HPGL 出図 Ve1.25");
    runOptions_.programFolder = programFolder_;

    buildControls();
    layOut();
    connectLabels();
    recorder_ = std::make_unique<JournalRecorder>(programFolder_, "window",
                                                  [this](const std::string& line) {
                                                      appendStatus(line);
                                                      explainLastStatus(line);
                                                  });
    runOptions_.recorder = recorder_.get();
    attachHistoryDialog(*this, *status_, programFolder_, *spooler_);

    loaded_ = LoadSettings(programFolder_);
    showSettings();
    placement_ = {loaded_.OfiLeft, loaded_.OfiTop};
    adjustSize();
    placement_.apply(*this);

    polling_.setObjectName("Timer1");
    oneShot_.setObjectName("Timer2");
    delayedClose_.setObjectName("Timer3");
    connect(&polling_, &QTimer::timeout, this, &MainWindow::pollingTick);
    connect(&oneShot_, &QTimer::timeout, this, &MainWindow::oneShotTick);
    connect(&delayedClose_, &QTimer::timeout, this, [this] {
        delayedClose_.stop();
        close();
    });
    applyStartMode();
}

MainWindow::~MainWindow() {
    // The fields outlive this part of the window: a field that loses the
    // focus while they go must not call back into it.
    for (QLineEdit* field : text_)
        if (field) field->disconnect(this);
}

void MainWindow::buildControls() {
    for (int n = 1; n <= 26; ++n) {
        auto* field = new QLineEdit(this);
        field->setObjectName(QString("Text%1").arg(n));
        text_[static_cast<std::size_t>(n)] = field;
    }
    for (int n : kLockedFields) {
        text(n)->setReadOnly(true);
        text(n)->setFocusPolicy(Qt::NoFocus);
    }
    const int shortWidth = fontMetrics().horizontalAdvance(QString(kShortFieldChars, QChar('0'))) +
                           fontMetrics().horizontalAdvance("ﾌﾟﾛｯﾀ");
    for (int n = 2; n <= 25; ++n) {
        if (n == 24) continue;
        text(n)->setMaximumWidth(shortWidth);
        text(n)->setAlignment(Qt::AlignCenter);
    }
    text(field::kPlotter)->setAlignment(Qt::AlignCenter);
    text(field::kPlotter)->setMaximumWidth(shortWidth * 3 / 2);

    // The reduction field takes digits only, however they come in (keys, an
    // input method, paste, drops); a value read from the file that is longer
    // than may be typed stays as it is.
    reductionDigits_ = new DigitsValidator(kReductionMaxLength, text(field::kReduction));
    text(field::kReduction)->setValidator(reductionDigits_);
    connect(text(field::kReduction), &QLineEdit::inputRejected, this, [this] {
        if (reductionDigits_->refusedACharacter()) refuseKey();
    });
    // The kanji factors take decimal numbers.
    for (int n = field::kKanjiWidth; n <= field::kKanjiY; ++n)
        text(n)->setValidator(new DecimalValidator(text(n)));

    // Folder names that the settings file cannot hold are refused as typed.
    connect(text(field::kFolder), &QLineEdit::editingFinished, this, [this] {
        const std::string typed = fieldText(field::kFolder);
        if (typed == acceptedFolder_) return;
        if (writableOrSaySo("OfiFile", typed))
            acceptedFolder_ = typed;
        else
            setFieldText(field::kFolder, acceptedFolder_);
    });

    for (const LabelText& l : kLabels) {
        auto* lbl = new ClickLabel(QString::fromUtf8(l.caption), this);
        lbl->setObjectName(QString("Label%1").arg(l.number));
        if (*l.tooltip) lbl->setToolTip(QString::fromUtf8(l.tooltip));
        label_[static_cast<std::size_t>(l.number)] = lbl;
    }
    for (int n = 1; n <= 28; ++n) {
        bool passive = false;
        for (int p : kPassiveLabels)
            passive = passive || p == n;
        if (passive) continue;
        label(n)->setFrameStyle(QFrame::Panel | QFrame::Raised);
        label(n)->setCursor(Qt::PointingHandCursor);
        label(n)->setAlignment(Qt::AlignCenter);
        label(n)->setMargin(2);
        label(n)->setMinimumWidth(label(n)->sizeHint().width() + 8);
    }

    status_ = new QListWidget(this);
    status_->setObjectName("List2");
    connect(status_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { openPreview(status_->row(item)); });
    status_->setFont(japaneseMonospace());
    status_->setFixedHeight(QFontMetrics(status_->font()).lineSpacing() * kStatusLines +
                            2 * status_->frameWidth() + 6);

    create_ = new QPushButton(kCreateCaption, this);
    create_->setObjectName("Command1");
    create_->setMouseTracking(true);
    create_->installEventFilter(this);
    stop_ = new QPushButton("中止", this);
    stop_->setObjectName("Command2");
    printer_ = new QPushButton("プロッタ    変更", this);
    printer_->setObjectName("Command3");
    for (QPushButton* b : {create_, stop_})
        b->setMinimumSize(96, 48);

    connect(create_, &QPushButton::clicked, this, &MainWindow::runJob);
    connect(stop_, &QPushButton::clicked, this, &MainWindow::stop);
    connect(printer_, &QPushButton::clicked, this, &MainWindow::choosePrinter);
}

void MainWindow::layOut() {
    auto* folder = new QGroupBox("フォルダ", this);
    auto* folderGrid = new QHBoxLayout(folder);
    folderGrid->addWidget(label(1));
    folderGrid->addWidget(text(field::kFolder), 1);

    auto* sheets = new QGroupBox("用紙の回転とプロッタ", this);
    auto* sheetGrid = new QGridLayout(sheets);
    sheetGrid->addWidget(label(6), 0, 0);
    sheetGrid->addWidget(text(field::kPlotter), 0, 1, 1, 2);
    for (int i = 0; i < 7; ++i) {
        sheetGrid->addWidget(label(kRotationLabels[i]), 1, i);
        sheetGrid->addWidget(text(kRotationFields[i]), 2, i);
    }

    auto* pens = new QGroupBox("ペン", this);
    auto* penGrid = new QGridLayout(pens);
    penGrid->addWidget(label(12), 0, 0, 1, 2);
    for (int i = 0; i < 6; ++i) {
        penGrid->addWidget(label(kPenLabels[i]), 1, i);
        penGrid->addWidget(text(kPenFields[i]), 2, i);
    }

    auto* reduction = new QGroupBox("縮小", this);
    auto* reductionRow = new QHBoxLayout(reduction);
    reductionRow->addWidget(label(26));
    reductionRow->addWidget(text(field::kReduction));
    reductionRow->addStretch();

    auto* characters = new QGroupBox("文字セットと漢字", this);
    auto* charGrid = new QGridLayout(characters);
    charGrid->addWidget(label(16), 0, 0, 1, 2);
    charGrid->addWidget(text(field::kKanaSet), 0, 2);
    charGrid->addWidget(label(17), 1, 0, 1, 2);
    charGrid->addWidget(text(field::kAlnumSet), 1, 2);
    charGrid->addWidget(label(18), 2, 0, 1, 4);
    for (int i = 0; i < 4; ++i) {
        label(19 + i)->setAlignment(Qt::AlignCenter);
        charGrid->addWidget(label(19 + i), 3, i);
        charGrid->addWidget(text(field::kKanjiWidth + i), 4, i);
    }

    auto* files = new QGroupBox("ファイルの扱いと出力", this);
    auto* fileGrid = new QGridLayout(files);
    for (int i = 0; i < 3; ++i) {
        fileGrid->addWidget(label(13 + i), i, 0);
        fileGrid->addWidget(text(field::kFileSelection + i), i, 1);
    }
    fileGrid->setColumnStretch(2, 1);

    auto* printer = new QGroupBox("プリンター", this);
    auto* printerRow = new QHBoxLayout(printer);
    printerRow->addWidget(label(27));
    printerRow->addWidget(text(field::kPrinter), 1);
    printerRow->addWidget(printer_);

    auto* progress = new QGroupBox("進行状況", this);
    auto* progressRow = new QHBoxLayout(progress);
    progressRow->addWidget(status_, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(create_);
    buttons->addWidget(stop_);
    progressRow->addLayout(buttons);

    auto* left = new QVBoxLayout;
    left->addWidget(sheets);
    left->addWidget(pens);
    left->addWidget(reduction);
    auto* right = new QVBoxLayout;
    right->addWidget(characters);
    right->addWidget(files);
    right->addStretch();
    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(right);

    auto* main = new QVBoxLayout(this);
    main->addWidget(folder);
    main->addLayout(columns);
    main->addWidget(printer);
    main->addWidget(progress);
}

void MainWindow::connectLabels() {
    auto cycle = [this](int labelNumber, int field, std::string (*next)(std::string_view)) {
        connect(label(labelNumber), &ClickLabel::clicked, this,
                [this, field, next] { setFieldText(field, next(fieldText(field))); });
    };
    for (int i = 0; i < 7; ++i)
        cycle(kRotationLabels[i], kRotationFields[i], nextRotation);
    for (int i = 0; i < 6; ++i)
        cycle(kPenLabels[i], kPenFields[i], nextPen);
    cycle(26, 23, nextReduction);
    cycle(16, 14, nextCharacterSet);
    cycle(17, 15, nextCharacterSet);
    cycle(13, 11, nextFileSelection);
    cycle(14, 12, nextFinishedHandling);
    cycle(15, 13, nextOutput);

    connect(label(12), &ClickLabel::clicked, this, [this] {
        for (std::size_t i = 0; i < kPenReset.size(); ++i)
            setFieldText(kPenFields[i], std::string(kPenReset[i]));
    });
    connect(label(6), &ClickLabel::clicked, this, [this] {
        PlotterFields fields{fieldText(26), {}};
        for (std::size_t i = 0; i < 7; ++i)
            fields.rotations[i] = fieldText(kRotationFields[i]);
        const PlotterFields next = nextPlotter(fields);
        setFieldText(field::kPlotter, next.plot);
        for (std::size_t i = 0; i < 7; ++i)
            setFieldText(kRotationFields[i], next.rotations[i]);
    });
}

std::string MainWindow::fieldText(int n) const {
    return text(n)->text().toStdString();
}

void MainWindow::setFieldText(int n, const std::string& value) {
    if (n == field::kReduction) reductionDigits_->allow(QString::fromStdString(value));
    text(n)->setText(QString::fromStdString(value));
}

void MainWindow::showSettings() {
    for (const FieldKey& f : kFields)
        setFieldText(f.text, settingText(loaded_, f.key).value_or(""));
    printerName_ = loaded_.Hprn;
    acceptedFolder_ = loaded_.OfiFile;
}

bool MainWindow::writableOrSaySo(std::string_view key, const std::string& value) {
    std::string why;
    if (textReadsBack(value, &why)) return true;
    const std::string line = std::string(settingLabel(key)) + "「" + value + "」は保存できません";
    appendStatus(line);
    explainLastStatus(line + ": " + why);
    return false;
}

void MainWindow::applyStartMode() {
    switch (mode_.mode) {
    case StartMode::Interactive: return;
    case StartMode::OneShot:
        setFieldText(field::kFileSelection, std::string(words::kAutomatic));
        create_->setText(QString::fromStdString(mode_.buttonCaption));
        oneShot_.start(kOneShotDelayMs);
        return;
    case StartMode::Polling:
        setFieldText(field::kFileSelection, std::string(words::kAutomatic));
        setFieldText(field::kFinishedFiles, std::string(words::kDelete));
        create_->setText(QString::fromStdString(mode_.buttonCaption));
        // An interval of 0 never ticks.
        if (mode_.pollingMs > 0) polling_.start(mode_.pollingMs);
        return;
    }
}

JobSettings MainWindow::settingsFromWindow() const {
    JobSettings s = loaded_;
    for (const FieldKey& f : kFields) {
        // A field as loaded stays as loaded (its bytes too).
        if (fieldText(f.text) == settingText(loaded_, f.key)) continue;
        std::string error;
        // A value the file cannot hold keeps what was loaded, so that the
        // file stays readable.
        if (!setSettingByKey(s, f.key, fieldText(f.text), &error))
            std::cerr << "kesto: " << f.key << ": " << error << '\n';
    }
    const TwipsPlacement at = placement_.current(*this);
    s.OfiLeft = at.left;
    s.OfiTop = at.top;
    return s;
}

void MainWindow::runJob() {
    if (running_) return;
    running_ = true;
    lastPump_ = {};
    MinP(*this, *spooler_, runOptions_);
    running_ = false;
    create_->setEnabled(true);
    emit runEnded();
    if (closePending_) close();
}

void MainWindow::pollingTick() {
    polling_.stop();
    // A tick that falls due during a run started by the button is skipped.
    if (!running_) runJob();
    if (!closePending_ && !saved_ && !delayedClose_.isActive()) polling_.start(mode_.pollingMs);
}

void MainWindow::oneShotTick() {
    oneShot_.stop();
    // The one-shot run waits for a run started by the button.
    if (running_) {
        oneShot_.start(kOneShotDelayMs);
        return;
    }
    runJob();
    close();
}

void MainWindow::stop() {
    cancel_ = true;
    // No new run starts while the program is closing.
    polling_.stop();
    oneShot_.stop();
    delayedClose_.start(kStopCloseDelayMs);
}

void MainWindow::choosePrinter() {
    PrinterChooser chooser(spooler_->printers(), {loaded_.PrnLeft, loaded_.PrnTop}, this);
    chooser.exec();
    const TwipsPlacement at = chooser.placement();
    loaded_.PrnLeft = at.left;
    loaded_.PrnTop = at.top;
    if (chooser.chosenPrinter() && writableOrSaySo("Hprn", *chooser.chosenPrinter()))
        printerName_ = *chooser.chosenPrinter();
    setFieldText(field::kPrinter, printerName_);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (running_) {
        // The run stops at its next check and closes its files; the window
        // closes when it has returned.
        cancel_ = true;
        closePending_ = true;
        event->ignore();
        return;
    }
    polling_.stop();
    oneShot_.stop();
    delayedClose_.stop();
    if (!saved_) {
        saved_ = true;
        std::vector<std::string> kept;
        const Status saved = SaveSettings(programFolder_, settingsFromWindow(), &kept);
        if (!saved) std::cerr << "kesto: Kesto.sys: " << saved.reason() << '\n';
        for (const std::string& line : kept)
            std::cerr << "kesto: Kesto.sys: " << line << '\n';
        emit settingsSaved(saved.ok());
    }
    event->accept();
}

void MainWindow::refuseKey() {
    emit beeped();
    QApplication::beep();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == create_ && event->type() == QEvent::MouseMove && mode_.pollingMs == 0)
        create_->setText(kCreateCaption);
    return QWidget::eventFilter(watched, event);
}

// JobHost

void MainWindow::appendStatus(const std::string& line) {
    status_->addItem(QString::fromStdString(line));
    status_->setCurrentRow(status_->count() - 1);
}

void MainWindow::replaceLastStatus(const std::string& line) {
    if (status_->count() == 0) {
        appendStatus(line);
        return;
    }
    QListWidgetItem* last = status_->item(status_->count() - 1);
    last->setText(QString::fromStdString(line));
    last->setToolTip(QString());
}

void MainWindow::explainLastStatus(const std::string& reason) {
    std::cerr << "kesto: " << reason << '\n';
    if (status_->count() > 0)
        status_->item(status_->count() - 1)->setToolTip(QString::fromStdString(reason));
}

void MainWindow::letEventsRun() {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastPump_ < kEventPumpInterval) return;
    QCoreApplication::processEvents();
    lastPump_ = std::chrono::steady_clock::now();
}

void MainWindow::drawingStarted(const std::filesystem::path& ofi,
                                const std::filesystem::path& glf) {
    if (status_->count() == 0) return;
    status_->item(status_->count() - 1)
        ->setData(Qt::UserRole, QStringList{QString::fromStdString(ofi.string()),
                                            QString::fromStdString(glf.string())});
}

QWidget* MainWindow::openPreview(int statusRow) {
    const QListWidgetItem* item = status_->item(statusRow);
    const std::string_view finished = status::kFinished;
    if (!item || !item->text().endsWith(QString::fromUtf8(finished.data(), finished.size())))
        return nullptr;
    const QStringList files = item->data(Qt::UserRole).toStringList();
    if (files.size() != 2) return nullptr;
    std::error_code ec;
    const bool haveGlf = std::filesystem::is_regular_file(files[1].toStdString(), ec);
    const bool haveOfi = std::filesystem::is_regular_file(files[0].toStdString(), ec);
    if (!haveGlf && !haveOfi) return nullptr;
    auto* window = new QWidget(this, Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setObjectName("PreviewWindow");
    window->setWindowTitle(item->text());
    auto* pane = new PreviewPane(window);
    pane->setObjectName("Preview1");
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pane);
    window->resize(800, 600);
    window->show();
    // What went to the plotter when it is still there; else the drawing
    // converted again with the window's settings.
    if (haveGlf) {
        pane->showGlf(files[1].toStdString());
    } else {
        pane->showOfi(files[0].toStdString(), conversionSettingsFrom(settingsFromWindow()));
    }
    return window;
}

std::optional<ManualChoice> MainWindow::chooseFiles(const std::string& folder) {
    FileChooser chooser(std::filesystem::path(folder), programFolder_,
                        {loaded_.FilLeft, loaded_.FilTop}, this);
    chooser.setPreviewSettings(conversionSettingsFrom(settingsFromWindow()));
    chooser.exec();
    const TwipsPlacement at = chooser.placement();
    loaded_.FilLeft = at.left;
    loaded_.FilTop = at.top;
    fileList_ = chooser.chosenNames();
    // The folder shown last becomes the run's folder, also when nothing was taken.
    return ManualChoice{utf8FromPath(chooser.shownFolder()), fileList_};
}

std::string MainWindow::folderField() {
    return fieldText(1);
}

void MainWindow::setFolderField(const std::string& folder) {
    setFieldText(field::kFolder, folder);
    // The run goes on in the chosen folder; only the file cannot keep it.
    if (folder != acceptedFolder_ && writableOrSaySo("OfiFile", folder)) acceptedFolder_ = folder;
}

std::string MainWindow::printerField() {
    return fieldText(24);
}

void MainWindow::setPrinterField(const std::string& printer) {
    setFieldText(field::kPrinter, printer);
}

FieldTexts MainWindow::fieldTexts() {
    FieldTexts texts;
    for (const FieldKey& f : kFields)
        texts.emplace(std::string(f.key), fieldText(f.text));
    return texts;
}

void MainWindow::runStarted() {
    create_->setEnabled(false);
}

void MainWindow::runFinished(bool showEndCaption) {
    create_->setEnabled(true);
    if (showEndCaption) create_->setText(kEndCaption);
}

} // namespace kesto
