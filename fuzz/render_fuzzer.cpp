// Fuzz target over the renderer: arbitrary bytes read as a GLF file and
// drawn, as a small raster picture and through the PDF and SVG writers.  Built
// with clang's libFuzzer when KESTO_FUZZ is on; otherwise linked with
// replay_main.cpp as a plain program that replays files.

#include "render/PdfSurface.h"
#include "render/Render.h"
#include "render/SvgSurface.h"

#include <QBuffer>
#include <QGuiApplication>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <string_view>
#include <thread>

namespace {

void ensureApplication() {
    static int argc = 1;
    static char name[] = "kesto_render_fuzzer";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    (void)app;
}

// Stops the drawing after `budget`, as the window's preview does when
// another drawing is chosen: a few kilobytes can describe lines kilometres
// long, dashed every few millimetres, which the writers draw
// faithfully but slowly (far more slowly under the sanitizers).  The stop
// path is fuzzed with it.
class Deadline {
public:
    explicit Deadline(std::chrono::seconds budget)
        : watch_([this, budget] {
              std::unique_lock lock(mutex_);
              if (!done_.wait_for(lock, budget, [this] { return finished_; })) stop_.store(true);
          }) {}
    ~Deadline() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_one();
        watch_.join();
    }
    const std::atomic<bool>* flag() const { return &stop_; }

private:
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread watch_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ensureApplication();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const Deadline deadline(std::chrono::seconds(8));
    {
        kesto::render::MemoryInput input(bytes);
        kesto::render::RenderOptions options;
        options.fitTo = QSize(256, 256);
        options.cancel = deadline.flag();
        kesto::render::RenderResult result;
        (void)kesto::render::renderImage(input, options, &result);
        (void)kesto::render::describeProblems(result.stats);
    }
    {
        // The PDF and SVG writers, into memory.
        kesto::render::MemoryInput input(bytes);
        kesto::render::SheetLayout layout;
        if (!kesto::render::findSheet(input, layout, deadline.flag())) return 0;
        QBuffer pdfBytes, svgBytes;
        pdfBytes.open(QIODevice::WriteOnly);
        svgBytes.open(QIODevice::WriteOnly);
        kesto::render::PdfSurface pdf(pdfBytes, layout.sheet);
        kesto::render::SvgSurface svg(svgBytes, layout.sheet);
        pdf.setCancel(deadline.flag());
        svg.setCancel(deadline.flag());
        for (kesto::render::PlotSurface* surface :
             std::initializer_list<kesto::render::PlotSurface*>{&pdf, &svg}) {
            kesto::render::GlfInterpreter interpreter(*surface, layout.sheet);
            interpreter.setCancel(deadline.flag());
            interpreter.limitDashesTo(kesto::render::dashArea(layout.sheet));
            interpreter.run(input);
            input.rewind();
        }
        pdf.finish();
        svg.finish();
    }
    return 0;
}
