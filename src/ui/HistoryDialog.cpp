#include "ui/HistoryDialog.h"

#include "io/NativeText.h"
#include "job/HistoryFormat.h"
#include "job/Journal.h"
#include "job/JournalRecorder.h"
#include "job/Reprint.h"
#include "job/Snapshot.h"
#include "ui/PreviewPane.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

#include <system_error>

namespace kesto {
namespace {

// Rows shown at most; the command line's history goes further.
constexpr int kShownJobs = 1000;

QString qs(const std::string& utf8) {
    return QString::fromStdString(printableUtf8(utf8));
}

// The file to show for a job: the archived copy, or the OFI file where it still is.
std::optional<std::filesystem::path> drawingOf(const JobRow& row) {
    std::error_code ec;
    for (const std::string& p : {row.archivePath, row.ofiPath})
        if (!p.empty() && std::filesystem::is_regular_file(pathFromUtf8(p), ec))
            return pathFromUtf8(p);
    return std::nullopt;
}

} // namespace

HistoryDialog::HistoryDialog(std::filesystem::path programFolder, Spooler& spooler, QWidget* parent)
    : QDialog(parent), programFolder_(std::move(programFolder)), spooler_(spooler) {
    setObjectName("HistoryDialog");
    setWindowTitle("出図履歴");
    title_ = new QLineEdit(this);
    title_->setPlaceholderText("題名");
    outcome_ = new QComboBox(this);
    outcome_->addItems({"すべて", outcome::kFinished, outcome::kFailed, outcome::kDamaged,
                        outcome::kStopped, outcome::kInterrupted});
    table_ = new QTableWidget(0, 6, this);
    table_->setHorizontalHeaderLabels({"ID", "開始", "結果", "出力", "題名", "OFI"});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    preview_ = new PreviewPane(this);
    printer_ = new QComboBox(this);
    printer_->setEditable(true);
    for (const std::string& name : spooler_.printers())
        printer_->addItem(QString::fromStdString(name));
    reprint_ = new QPushButton("再出図", this);
    note_ = new QLabel(this);
    note_->setWordWrap(true);

    auto* filter = new QHBoxLayout;
    filter->addWidget(title_, 1);
    filter->addWidget(outcome_);
    auto* body = new QHBoxLayout;
    body->addWidget(table_, 3);
    body->addWidget(preview_, 2);
    auto* action = new QHBoxLayout;
    action->addWidget(new QLabel("プリンタ", this));
    action->addWidget(printer_, 1);
    action->addWidget(reprint_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filter);
    layout->addLayout(body, 1);
    layout->addLayout(action);
    layout->addWidget(note_);
    resize(960, 480);

    connect(title_, &QLineEdit::textChanged, this, &HistoryDialog::reload);
    connect(outcome_, &QComboBox::currentIndexChanged, this, &HistoryDialog::reload);
    connect(table_, &QTableWidget::itemSelectionChanged, this, &HistoryDialog::showSelected);
    connect(reprint_, &QPushButton::clicked, this, &HistoryDialog::reprintSelected);
    reload();
}

void HistoryDialog::reload() {
    HistoryFilter filter;
    filter.title = title_->text().toStdString();
    filter.outcome = outcome_->currentIndex() == 0 ? "" : outcome_->currentText().toStdString();
    filter.limit = kShownJobs;
    Journal journal;
    std::vector<JobRow> rows;
    Status s = journal.openForReading(programFolder_);
    if (s) s = journal.history(filter, rows);
    note_->setText(s ? QString() : QString::fromStdString(s.reason()));
    table_->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const JobRow& job = rows[static_cast<std::size_t>(r)];
        const QString cells[] = {
            QString::number(job.id), QString::fromStdString(localTimeText(job.startedMs)),
            qs(job.outcome),         qs(job.printer.empty() ? job.output : job.printer),
            qs(job.title),           qs(job.ofiName)};
        for (int c = 0; c < 6; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c == 2 && !job.reason.empty()) item->setToolTip(qs(job.reason));
            table_->setItem(r, c, item);
        }
    }
    table_->resizeColumnsToContents();
}

void HistoryDialog::showSelected() {
    const QList<QTableWidgetItem*> selected = table_->selectedItems();
    if (selected.isEmpty()) return;
    const std::int64_t id = table_->item(selected.front()->row(), 0)->text().toLongLong();
    Journal journal;
    std::optional<JobRow> row;
    if (journal.openForReading(programFolder_)) row = journal.find(id);
    const std::optional<std::filesystem::path> file = row ? drawingOf(*row) : std::nullopt;
    if (!file) {
        preview_->showMessage("図面がアーカイブにありません");
        return;
    }
    preview_->showOfi(utf8FromPath(*file), conversionSettingsFrom(settingsFromText(row->settings)));
    if (!row->printer.empty()) printer_->setCurrentText(QString::fromStdString(row->printer));
}

void HistoryDialog::reprintSelected() {
    const QList<QTableWidgetItem*> selected = table_->selectedItems();
    if (selected.isEmpty()) return;
    const std::int64_t id = table_->item(selected.front()->row(), 0)->text().toLongLong();
    ReprintTarget target;
    target.printer = printer_->currentText().toStdString();
    QStringList problems;
    const ReprintResult r =
        reprintJob(programFolder_, id, target, spooler_,
                   [&](const std::string& line) { problems << QString::fromStdString(line); });
    problems.prepend(r.status ? QString("履歴 %1 を再出図しました（履歴 %2）").arg(id).arg(r.newId)
                              : QString("再出図できません: ") +
                                    QString::fromStdString(r.status.reason()));
    reload(); // the reprint is a job of its own
    note_->setText(problems.join('\n'));
}

void attachHistoryDialog(QWidget& window, QListWidget& statusList,
                         const std::filesystem::path& programFolder, Spooler& spooler) {
    const auto open = [&window, programFolder, &spooler] {
        HistoryDialog dialog(programFolder, spooler, &window);
        dialog.exec();
    };
    auto* shortcut = new QShortcut(QKeySequence("Ctrl+H"), &window);
    QObject::connect(shortcut, &QShortcut::activated, &window, open);
    statusList.setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(&statusList, &QListWidget::customContextMenuRequested, &window,
                     [&statusList, open](const QPoint& at) {
                         QMenu menu;
                         menu.addAction("出図履歴… (Ctrl+H)", open);
                         menu.exec(statusList.mapToGlobal(at));
                     });
}

} // namespace kesto
