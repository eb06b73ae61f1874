#include "ui/PrinterChooser.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace kesto {

PrinterChooser::PrinterChooser(const std::vector<std::string>& printers, TwipsPlacement placement,
                               QWidget* parent)
    : QDialog(parent), placement_(placement) {
    setObjectName("Form4");
    setWindowTitle("プリンター選択");

    list_ = new QListWidget(this);
    list_->setObjectName("List1");
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    for (const std::string& name : printers)
        list_->addItem(QString::fromStdString(name));
    list_->setCurrentRow(-1);
    list_->clearSelection();

    auto* take = new QPushButton("選択", this);
    take->setObjectName("Command1");
    take->setAutoDefault(false);
    auto* cancel = new QPushButton("キャンセル", this);
    cancel->setObjectName("Command2");
    cancel->setAutoDefault(false);
    connect(take, &QPushButton::clicked, this, &PrinterChooser::take);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(list_, &QListWidget::itemDoubleClicked, this, &PrinterChooser::take);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(take);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(buttons);
    resize(320, 240);

    placement_.apply(*this);
}

void PrinterChooser::take() {
    const auto selected = list_->selectedItems();
    if (!selected.isEmpty()) chosen_ = selected.front()->text().toStdString();
    accept();
}

void PrinterChooser::done(int result) {
    placement_ = placement_.current(*this);
    QDialog::done(result);
}

} // namespace kesto
