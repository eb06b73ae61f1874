#pragma once
// A drawing's sheet as the plotter will draw it, drawn in a worker thread
// so that the window stays responsive: an OFI file converted in memory with
// given settings, or a GLF file as it is.

#include "convert/ConversionState.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <atomic>
#include <memory>
#include <string>

class QThread;

namespace kesto {

class PreviewPane : public QWidget {
    Q_OBJECT
public:
    explicit PreviewPane(QWidget* parent = nullptr);
    ~PreviewPane() override;

    // Shows the drawing of an OFI file converted with `settings` (a drawing
    // alone, as the first of a run).
    void showOfi(const std::string& path, const ConversionSettings& settings);
    // Shows a GLF file.
    void showGlf(const std::string& path);
    // Shows nothing (and a short text, if given).
    void showMessage(const QString& text);

    const QImage& picture() const { return picture_; }
    const QString& message() const { return message_; }
    // Whether a picture is still being drawn, one no longer wanted included.
    bool busy() const { return running_->load() > 0; }

signals:
    // A picture (or a message why there is none) has arrived.
    void shown();

protected:
    void paintEvent(QPaintEvent* event) override;
    QSize sizeHint() const override { return QSize(320, 240); }

private:
    struct Job;
    void start(std::shared_ptr<Job> job);
    void stopWorker();

    QImage picture_;
    QString message_;
    QThread* worker_ = nullptr;
    std::shared_ptr<std::atomic<bool>> cancel_;
    // Workers not yet ended; shared with them, as one given up may outlive the pane.
    std::shared_ptr<std::atomic<int>> running_ = std::make_shared<std::atomic<int>>(0);
    unsigned generation_ = 0;
};

} // namespace kesto
