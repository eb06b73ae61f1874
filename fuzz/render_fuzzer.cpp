// Fuzz target over the renderer: arbitrary bytes read as a GLF file and
// drawn, as a small raster picture and through the vector painter.  Built
// with clang's libFuzzer when KESTO_FUZZ is on; otherwise linked with
// replay_main.cpp as a plain program that replays files.

#include "render/QtPlotSurface.h"
#include "render/Render.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstddef>
#include <cstdint>
#include <string_view>

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ensureApplication();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    {
        kesto::render::MemoryInput input(bytes);
        kesto::render::RenderOptions options;
        options.fitTo = QSize(256, 256);
        kesto::render::RenderResult result;
        (void)kesto::render::renderImage(input, options, &result);
        (void)kesto::render::describeProblems(result.stats);
    }
    {
        // The painter the PDF and SVG pictures use, on a small picture.
        kesto::render::MemoryInput input(bytes);
        kesto::render::SheetLayout layout;
        if (!kesto::render::findSheet(input, layout, nullptr)) return 0;
        QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        const kesto::render::Rect& s = layout.sheet;
        const QTransform toDevice(64 / s.width(), 0, 0, -64 / s.height(), -s.left * 64 / s.width(),
                                  s.top * 64 / s.height());
        kesto::render::QtPlotSurface surface(painter, toDevice, s);
        kesto::render::GlfInterpreter interpreter(surface, s);
        interpreter.run(input);
        surface.finish();
    }
    return 0;
}
