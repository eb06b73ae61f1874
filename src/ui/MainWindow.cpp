#include "ui/MainWindow.h"

#include "io/NativeText.h"
#include "job/JournalRecorder.h"
#include "job/Snapshot.h"
#include "settings/LegacyFolder.h"
#include "settings/Vocabulary.h"
#include "ui/ClickLabel.h"
#include "ui/FileChooser.h"
#include "ui/HistoryDialog.h"
#include "ui/NumericValidators.h"
#include "ui/PreviewPane.h"
#include "ui/PrinterChooser.h"
#include "ui/logic/PathText.h"
#include "ui/logic/SettingCycles.h"
#include "ui/logic/WindowFields.h"

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

ClickLabel* makeLabel(const LabelText& l, QWidget* parent) {
    auto* label = new ClickLabel(QString::fromUtf8(l.caption), parent);
    label->setObjectName(QString("Label%1").arg(l.number));
    if (*l.tooltip) label->setToolTip(QString::fromUtf8(l.tooltip));
    // Labels that change a field when clicked look like buttons.
    if (!l.clickable) return label;
    label->setFrameStyle(QFrame::Panel | QFrame::Raised);
    label->setCursor(Qt::PointingHandCursor);
    label->setAlignment(Qt::AlignCenter);
    label->setMargin(2);
    label->setMinimumWidth(label->sizeHint().width() + 8);
    return label;
}

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
    const int shortWidth = fontMetrics().horizontalAdvance(QString(kShortFieldChars, QChar('0'))) +
                           fontMetrics().horizontalAdvance("ﾌﾟﾛｯﾀ");
    for (const SettingRow& r : kSettingRows) {
        auto* field = new QLineEdit(this);
        field->setObjectName(QString("Text%1").arg(r.field));
        text_[static_cast<std::size_t>(r.field)] = field;
        if (!r.typed) {
            field->setReadOnly(true);
            field->setFocusPolicy(Qt::NoFocus);
        }
        // The folder and the printer take the width there is; the rest are short.
        if (r.group == Group::Folder || r.group == Group::Printer) continue;
        field->setAlignment(Qt::AlignCenter);
        field->setMaximumWidth(r.group == Group::Plotter ? shortWidth * 3 / 2 : shortWidth);
    }

    // The reduction field takes digits only, however they come in (keys, an
    // input method, paste, drops); a value read from the file that is longer
    // than may be typed stays as it is.
    reductionDigits_ = new DigitsValidator(kReductionMaxLength, text(field::kReduction));
    text(field::kReduction)->setValidator(reductionDigits_);
    connect(text(field::kReduction), &QLineEdit::inputRejected, this, [this] {
        if (reductionDigits_->refusedACharacter()) refuseKey();
    });
    // The kanji factors take decimal numbers.
    for (const SettingRow* r : rowsOf(Group::KanjiFactor))
        text(r->field)->setValidator(new DecimalValidator(text(r->field)));

    // Folder names that the settings file cannot hold are refused as typed.
    connect(text(field::kFolder), &QLineEdit::editingFinished, this, [this] {
        const std::string typed = fieldText(field::kFolder);
        if (typed == acceptedFolder_) return;
        if (writableOrSaySo("OfiFile", typed))
            acceptedFolder_ = typed;
        else
            setFieldText(field::kFolder, acceptedFolder_);
    });

    for (const SettingRow& r : kSettingRows) {
        const LabelText l{r.label, r.caption, r.tooltip, r.cycle || r.group == Group::Plotter};
        label_[static_cast<std::size_t>(r.label)] = makeLabel(l, this);
    }
    for (const LabelText& l : kHeaderLabels)
        label_[static_cast<std::size_t>(l.number)] = makeLabel(l, this);

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
    // A group's label and field side by side in a row of `box`.
    auto besideEachOther = [this](QBoxLayout* box, Group group) {
        const SettingRow& r = *rowsOf(group).front();
        box->addWidget(label(r.label));
        box->addWidget(text(r.field), 1);
    };
    // A group's labels in one grid row over their fields in the next.
    auto overEachOther = [this](QGridLayout* grid, Group group, int row) {
        int column = 0;
        for (const SettingRow* r : rowsOf(group)) {
            grid->addWidget(label(r->label), row, column);
            grid->addWidget(text(r->field), row + 1, column++);
        }
    };

    auto* folder = new QGroupBox("フォルダ", this);
    besideEachOther(new QHBoxLayout(folder), Group::Folder);

    auto* sheets = new QGroupBox("用紙の回転とプロッタ", this);
    auto* sheetGrid = new QGridLayout(sheets);
    const SettingRow& plotter = *rowsOf(Group::Plotter).front();
    sheetGrid->addWidget(label(plotter.label), 0, 0);
    sheetGrid->addWidget(text(plotter.field), 0, 1, 1, 2);
    overEachOther(sheetGrid, Group::Rotation, 1);

    auto* pens = new QGroupBox("ペン", this);
    auto* penGrid = new QGridLayout(pens);
    penGrid->addWidget(label(kPenHeader), 0, 0, 1, 2);
    overEachOther(penGrid, Group::Pen, 1);

    auto* reduction = new QGroupBox("縮小", this);
    auto* reductionRow = new QHBoxLayout(reduction);
    const SettingRow& reductionSetting = *rowsOf(Group::Reduction).front();
    reductionRow->addWidget(label(reductionSetting.label));
    reductionRow->addWidget(text(reductionSetting.field));
    reductionRow->addStretch();

    auto* characters = new QGroupBox("文字セットと漢字", this);
    auto* charGrid = new QGridLayout(characters);
    int row = 0;
    for (const SettingRow* r : rowsOf(Group::CharacterSet)) {
        charGrid->addWidget(label(r->label), row, 0, 1, 2);
        charGrid->addWidget(text(r->field), row++, 2);
    }
    charGrid->addWidget(label(kKanjiHeader), row++, 0, 1, 4);
    for (const SettingRow* r : rowsOf(Group::KanjiFactor))
        label(r->label)->setAlignment(Qt::AlignCenter);
    overEachOther(charGrid, Group::KanjiFactor, row);

    auto* files = new QGroupBox("ファイルの扱いと出力", this);
    auto* fileGrid = new QGridLayout(files);
    row = 0;
    for (const SettingRow* r : rowsOf(Group::Files)) {
        fileGrid->addWidget(label(r->label), row, 0);
        fileGrid->addWidget(text(r->field), row++, 1);
    }
    fileGrid->setColumnStretch(2, 1);

    auto* printer = new QGroupBox("プリンター", this);
    auto* printerRow = new QHBoxLayout(printer);
    besideEachOther(printerRow, Group::Printer);
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
    for (const SettingRow& r : kSettingRows) {
        if (!r.cycle) continue;
        connect(label(r.label), &ClickLabel::clicked, this,
                [this, &r] { setFieldText(r.field, r.cycle(fieldText(r.field))); });
    }
    const std::vector<const SettingRow*> pens = rowsOf(Group::Pen);
    connect(label(kPenHeader), &ClickLabel::clicked, this, [this, pens] {
        for (std::size_t i = 0; i < kPenReset.size(); ++i)
            setFieldText(pens[i]->field, std::string(kPenReset[i]));
    });
    const std::vector<const SettingRow*> rotations = rowsOf(Group::Rotation);
    connect(label(rowOf(field::kPlotter).label), &ClickLabel::clicked, this, [this, rotations] {
        PlotterFields fields{fieldText(field::kPlotter), {}};
        for (std::size_t i = 0; i < fields.rotations.size(); ++i)
            fields.rotations[i] = fieldText(rotations[i]->field);
        const PlotterFields next = nextPlotter(fields);
        setFieldText(field::kPlotter, next.plot);
        for (std::size_t i = 0; i < next.rotations.size(); ++i)
            setFieldText(rotations[i]->field, next.rotations[i]);
    });
}

std::string MainWindow::fieldText(int n) const {
    const std::string shown = text(n)->text().toStdString();
    // The folder is shown readably; untouched, it is the very bytes put in.
    if (n == field::kFolder) return pathFromShownText(shown, folderHeld_);
    return shown;
}

void MainWindow::setFieldText(int n, const std::string& value) {
    if (n == field::kReduction) reductionDigits_->allow(QString::fromStdString(value));
    if (n == field::kFolder) {
        folderHeld_ = value;
        text(n)->setText(QString::fromStdString(readablePath(value)));
        return;
    }
    text(n)->setText(QString::fromStdString(value));
}

void MainWindow::showSettings() {
    for (const SettingRow& r : kSettingRows)
        setFieldText(r.field, settingText(loaded_, r.key).value_or(""));
    printerName_ = loaded_.Hprn;
    acceptedFolder_ = loaded_.OfiFile;
}

bool MainWindow::writableOrSaySo(std::string_view key, const std::string& value) {
    const Status readsBack = textReadsBack(value);
    if (readsBack) return true;
    if (key == "OfiFile" && isLegacyFolderBytes(value)) return true; // kept as its bytes
    const std::string line = std::string(settingLabel(key)) + "「" + value + "」は保存できません";
    appendStatus(line);
    explainLastStatus(line + ": " + readsBack.reason());
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
    // A value the file cannot hold keeps what was loaded, so that the file
    // stays readable.
    std::vector<std::string> kept;
    (void)settingsFromFields(windowFieldTexts(), s, FieldRule::File, &kept);
    for (const std::string& line : kept)
        std::cerr << "kesto: " << line << '\n';
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
        if (!saved) std::cerr << "kesto: " << kSettingsFileName << ": " << saved.reason() << '\n';
        for (const std::string& line : kept)
            std::cerr << "kesto: " << kSettingsFileName << ": " << line << '\n';
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
    status_->addItem(QString::fromStdString(readablePath(line)));
    status_->setCurrentRow(status_->count() - 1);
}

void MainWindow::replaceLastStatus(const std::string& line) {
    if (status_->count() == 0) {
        appendStatus(line);
        return;
    }
    QListWidgetItem* last = status_->item(status_->count() - 1);
    last->setText(QString::fromStdString(readablePath(line)));
    last->setToolTip(QString());
}

void MainWindow::explainLastStatus(const std::string& reason) {
    std::cerr << "kesto: " << reason << '\n';
    if (status_->count() > 0)
        status_->item(status_->count() - 1)
            ->setToolTip(QString::fromStdString(readablePath(reason)));
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
        ->setData(Qt::UserRole, QVariantList{QByteArray::fromStdString(utf8FromPath(ofi)),
                                             QByteArray::fromStdString(utf8FromPath(glf))});
}

QWidget* MainWindow::openPreview(int statusRow) {
    const QListWidgetItem* item = status_->item(statusRow);
    const std::string_view finished = status::kFinished;
    if (!item || !item->text().endsWith(QString::fromUtf8(finished.data(), finished.size())))
        return nullptr;
    // The files' names as the system's bytes, whatever the list shows.
    const QVariantList data = item->data(Qt::UserRole).toList();
    if (data.size() != 2) return nullptr;
    const std::string ofi = data[0].toByteArray().toStdString();
    const std::string glf = data[1].toByteArray().toStdString();
    std::error_code ec;
    const bool haveGlf = std::filesystem::is_regular_file(pathFromUtf8(glf), ec);
    const bool haveOfi = std::filesystem::is_regular_file(pathFromUtf8(ofi), ec);
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
        pane->showGlf(glf);
    } else {
        pane->showOfi(ofi, conversionSettingsFrom(settingsFromWindow()));
    }
    return window;
}

std::optional<ManualChoice> MainWindow::chooseFiles(const std::string& folder) {
    FileChooser chooser(pathFromUtf8(folder), programFolder_, {loaded_.FilLeft, loaded_.FilTop},
                        this);
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
    return fieldText(field::kFolder);
}

void MainWindow::setFolderField(const std::string& folder) {
    setFieldText(field::kFolder, folder);
    // The run goes on in the chosen folder; only the file cannot keep it.
    if (folder != acceptedFolder_ && writableOrSaySo("OfiFile", folder)) acceptedFolder_ = folder;
}

std::string MainWindow::printerField() {
    return fieldText(field::kPrinter);
}

void MainWindow::setPrinterField(const std::string& printer) {
    setFieldText(field::kPrinter, printer);
}

FieldTexts MainWindow::fieldTexts() {
    return windowFieldTexts();
}

FieldTexts MainWindow::windowFieldTexts() const {
    FieldTexts texts;
    for (const SettingRow& r : kSettingRows)
        texts.emplace(std::string(r.key), fieldText(r.field));
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
