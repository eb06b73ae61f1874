#include "ui/ChooserButtons.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

namespace kesto {

ChooserButtons addChooserButtons(QDialog& dialog) {
    auto* take = new QPushButton("選択", &dialog);
    take->setObjectName("Command1");
    take->setAutoDefault(false);
    auto* cancel = new QPushButton("キャンセル", &dialog);
    cancel->setObjectName("Command2");
    cancel->setAutoDefault(false);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(take);
    row->addWidget(cancel);
    return {take, row};
}

} // namespace kesto
