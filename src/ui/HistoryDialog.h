#pragma once
// The journal in the window: the jobs of the program folder with a filter,
// the selected job's drawing from the archive, and a reprint to the same or
// another printer.  Opened with Ctrl+H, or from the context menu of the
// status list; the window's own controls stay as they are.

#include "delivery/Spooler.h"

#include <QDialog>

#include <filesystem>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace kesto {

class PreviewPane;

class HistoryDialog : public QDialog {
    Q_OBJECT
public:
    HistoryDialog(std::filesystem::path programFolder, Spooler& spooler, QWidget* parent = nullptr);

    // Lists the jobs that pass the filter again, newest first.
    void reload();
    // Reprints the selected job to the printer in the printer box.
    void reprintSelected();

    QTableWidget* table() const { return table_; }
    QLineEdit* titleFilter() const { return title_; }
    QComboBox* outcomeFilter() const { return outcome_; }
    QComboBox* printerBox() const { return printer_; }
    PreviewPane* preview() const { return preview_; }
    QLabel* note() const { return note_; }

private:
    void showSelected();

    std::filesystem::path programFolder_;
    Spooler& spooler_;
    QLineEdit* title_ = nullptr;
    QComboBox* outcome_ = nullptr;
    QTableWidget* table_ = nullptr;
    PreviewPane* preview_ = nullptr;
    QComboBox* printer_ = nullptr;
    QPushButton* reprint_ = nullptr;
    QLabel* note_ = nullptr;
};

// Ctrl+H on `window` and a context menu item on `statusList` open the dialog.
void attachHistoryDialog(QWidget& window, QListWidget& statusList,
                         const std::filesystem::path& programFolder, Spooler& spooler);

} // namespace kesto
