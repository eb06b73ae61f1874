// Fuzz target over the renderer: arbitrary bytes read as a GLF file and
// drawn, as a small raster picture and through the PDF and SVG writers.  Built
// with clang's libFuzzer when KESTO_FUZZ is on; otherwise linked with
// replay_main.cpp as a plain program that replays files.

#include "render/PdfSurface.h"
#include "render/Render.h"
#include "render/SvgSurface.h"

#include <QBuffer>
#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
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
        // The PDF and SVG writers, into memory.
        kesto::render::MemoryInput input(bytes);
        kesto::render::SheetLayout layout;
        if (!kesto::render::findSheet(input, layout)) return 0;
        QBuffer pdfBytes, svgBytes;
        pdfBytes.open(QIODevice::WriteOnly);
        svgBytes.open(QIODevice::WriteOnly);
        kesto::render::PdfSurface pdf(pdfBytes, layout.sheet);
        kesto::render::SvgSurface svg(svgBytes, layout.sheet);
        for (kesto::render::PlotSurface* surface :
             std::initializer_list<kesto::render::PlotSurface*>{&pdf, &svg}) {
            kesto::render::GlfInterpreter interpreter(*surface, layout.sheet);
            interpreter.limitDashesTo(kesto::render::dashArea(layout.sheet));
            interpreter.run(input);
            input.rewind();
        }
        pdf.finish();
        svg.finish();
    }
    return 0;
}
