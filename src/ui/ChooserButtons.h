#pragma once
// The "選択" and "キャンセル" buttons of the chooser dialogs, in a row to
// the right: Enter in a list does not press them, キャンセル closes the
// dialog unchanged.

class QDialog;
class QHBoxLayout;
class QPushButton;

namespace kesto {

struct ChooserButtons {
    QPushButton* take; // the caller connects it to its own choice
    QHBoxLayout* row;  // for the caller's layout
};

ChooserButtons addChooserButtons(QDialog& dialog);

} // namespace kesto
