#pragma once
// A label that reacts to a click, as the main window's setting labels do.

#include <QLabel>

namespace kesto {

class ClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickLabel(const QString& text, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace kesto
