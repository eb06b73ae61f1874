#include "ui/PreviewPane.h"

#include "convert/ConvertFile.h"
#include "render/Render.h"

#include <QPainter>
#include <QPointer>
#include <QThread>

#include <utility>

namespace kesto {

namespace {

// How long closing waits for a picture being drawn (it is told to stop).
constexpr unsigned long kWorkerWaitMs = 1000;

} // namespace

struct PreviewPane::Job {
    std::string path;
    bool ofi = false;
    ConversionSettings settings;
    QSize size;
};

PreviewPane::PreviewPane(QWidget* parent) : QWidget(parent) {
    setMinimumSize(160, 120);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

PreviewPane::~PreviewPane() {
    stopWorker();
}

void PreviewPane::stopWorker() {
    if (cancel_) cancel_->store(true);
    if (worker_) {
        // The drawing stops within a block of input, a scan line of a fill or
        // a piece of a long path (tens of milliseconds on the largest
        // polygon); the wait has a limit all the same, after which the
        // thread finishes on its own.
        if (!worker_->wait(kWorkerWaitMs)) {
            connect(worker_, &QThread::finished, worker_, &QObject::deleteLater);
            worker_->setParent(nullptr);
        } else {
            delete worker_;
        }
        worker_ = nullptr;
    }
}

void PreviewPane::showOfi(const std::string& path, const ConversionSettings& settings) {
    auto job = std::make_shared<Job>();
    job->path = path;
    job->ofi = true;
    job->settings = settings;
    start(std::move(job));
}

void PreviewPane::showGlf(const std::string& path) {
    auto job = std::make_shared<Job>();
    job->path = path;
    start(std::move(job));
}

void PreviewPane::showMessage(const QString& text) {
    stopWorker();
    ++generation_;
    picture_ = QImage();
    message_ = text;
    update();
    emit shown();
}

void PreviewPane::start(std::shared_ptr<Job> job) {
    stopWorker();
    const unsigned generation = ++generation_;
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    message_ = QStringLiteral("…");
    update();
    job->size = size() * devicePixelRatioF();
    auto cancel = cancel_;
    auto running = running_;
    ++*running;
    QPointer<PreviewPane> self(this);
    worker_ = QThread::create([self, job, cancel, running, generation] {
        const struct Ended {
            std::atomic<int>& running;
            ~Ended() { --running; }
        } ended{*running};
        QImage image;
        QString problem;
        render::RenderOptions options;
        options.fitTo = job->size;
        options.cancel = cancel.get();
        render::RenderResult result;
        if (job->ofi) {
            ConversionControl control;
            control.cancel = cancel.get();
            const FileResult drawing = ConversionRun(job->settings, &control).toMemory(job->path);
            if (drawing.outcome == FileOutcome::Failed) {
                problem = QString::fromStdString(drawing.message);
            } else {
                render::MemoryInput input(drawing.glf);
                image = render::renderImage(input, options, &result);
                if (drawing.outcome != FileOutcome::Finished)
                    problem = QString::fromStdString(drawing.message);
            }
        } else {
            render::FileInput input;
            if (input.open(job->path)) {
                image = render::renderImage(input, options, &result);
            } else {
                problem = QString::fromStdString(input.error());
            }
        }
        if (image.isNull() && problem.isEmpty())
            problem = QString::fromStdString(result.status.reason());
        if (cancel->load()) return;
        QMetaObject::invokeMethod(
            self,
            [self, image, problem, generation] {
                if (!self || generation != self->generation_) return;
                self->picture_ = image;
                self->message_ = problem;
                self->update();
                emit self->shown();
            },
            Qt::QueuedConnection);
    });
    worker_->start(QThread::LowPriority);
}

void PreviewPane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (!picture_.isNull()) {
        QSizeF shown = picture_.size() / picture_.devicePixelRatioF();
        shown.scale(size(), Qt::KeepAspectRatio);
        const QRectF target((width() - shown.width()) / 2, (height() - shown.height()) / 2,
                            shown.width(), shown.height());
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.drawImage(target, picture_);
    }
    if (!message_.isEmpty()) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect().adjusted(4, 4, -4, -4),
                         Qt::AlignBottom | Qt::AlignLeft | Qt::TextWordWrap, message_);
    }
}

} // namespace kesto
