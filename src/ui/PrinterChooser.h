#pragma once
// Form4, "プリンター選択": picks the queue that finished drawings are sent to.

#include "ui/TwipsPlacement.h"

#include <QDialog>

#include <optional>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

namespace kesto {

class PrinterChooser : public QDialog {
    Q_OBJECT
public:
    // `printers`: the installed queues in the spooler's order.
    PrinterChooser(const std::vector<std::string>& printers, TwipsPlacement placement,
                   QWidget* parent = nullptr);

    // The printer taken with "選択"; nullopt after "キャンセル", a close, or
    // "選択" with nothing selected.
    const std::optional<std::string>& chosenPrinter() const { return chosen_; }
    // Where the dialog stood when it closed.
    TwipsPlacement placement() const { return placement_; }

    void done(int result) override;

private:
    void take();

    QListWidget* list_ = nullptr;
    std::optional<std::string> chosen_;
    TwipsPlacement placement_;
};

} // namespace kesto
