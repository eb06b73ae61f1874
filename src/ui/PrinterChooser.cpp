#include "ui/PrinterChooser.h"

#include "ui/ChooserButtons.h"

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

    const ChooserButtons buttons = addChooserButtons(*this);
    connect(buttons.take, &QPushButton::clicked, this, &PrinterChooser::take);
    connect(list_, &QListWidget::itemDoubleClicked, this, &PrinterChooser::take);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(buttons.row);
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
