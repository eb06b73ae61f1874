// Rendering speed and memory on a large composed drawing, side by side with
// the conversion that produced its GLF file.
//
//   kesto_render_bench [glf-megabytes] [mixed|text|geometry] [rounds]
//
// The composer's A1 drawing is sized so that its GLF file has about the
// given size (default 20 MB); it is converted file to file as the spooler
// does, then the GLF file is drawn to a 150-dpi PNG and to a PDF (and an
// SVG), each file to file.  Peak memory of each rendering is measured in a
// child process, for the full drawing and for one a quarter of its size, to
// show that it does not grow with the GLF file.

#include "composer/SampleDrawings.h"
#include "convert/ConversionState.h"
#include "convert/ConvertFile.h"
#include "render/Render.h"

#include <QGuiApplication>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace fs = std::filesystem;

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double mb(std::uintmax_t bytes) {
    return static_cast<double>(bytes) / (1024 * 1024);
}

// Composes an OFI drawing of `ofiBytes` and converts it; returns the GLF size.
std::uintmax_t makeDrawing(const fs::path& ofi, const fs::path& glf, std::size_t ofiBytes,
                           kesto::LargeDrawingKind kind) {
    if (!kesto::composeLargeDrawing(ofiBytes, kind).save(ofi)) return 0;
    if (kesto::ConversionRun(kesto::ConversionSettings{})
            .toFile(ofi, glf, kesto::Durability::Replace)
            .outcome != kesto::FileOutcome::Finished)
        return 0;
    return fs::file_size(glf);
}

bool render(const fs::path& glf, const fs::path& out, kesto::render::PictureFormat format) {
    kesto::render::FileInput input;
    if (!input.open(glf.string())) return false;
    kesto::render::RenderOptions options;
    options.dpi = 150;
    const auto result = kesto::render::renderToFile(input, out.string(), format, options);
    if (!result.status) std::fprintf(stderr, "render failed: %s\n", result.status.reason().c_str());
    return result.status.ok();
}

// Peak resident memory (MB) of `work` run in a child process.
double peakOf(const std::function<bool()>& work) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const bool ok = work();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::_Exit(ok ? static_cast<int>(std::min<long>(usage.ru_maxrss / 1024, 250)) : 255);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 255) return -1;
    // Exit codes carry up to 250 MB; more shows as 250.
    return WEXITSTATUS(status);
}

} // namespace

int main(int argc, char** argv) {
    const double glfMegabytes = argc > 1 ? std::atof(argv[1]) : 20;
    const char* kindName = argc > 2 ? argv[2] : "mixed";
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    const auto kind = std::strcmp(kindName, "text") == 0       ? kesto::LargeDrawingKind::TextHeavy
                      : std::strcmp(kindName, "geometry") == 0 ? kesto::LargeDrawingKind::Geometry
                                                               : kesto::LargeDrawingKind::Mixed;

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);

    const fs::path dir =
        fs::temp_directory_path() / ("kesto-render-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path ofi = dir / "LARGE.OFI";
    const fs::path glf = dir / "LARGE.GLF";
    const fs::path smallOfi = dir / "SMALL.OFI";
    const fs::path smallGlf = dir / "SMALL.GLF";

    // Size the OFI drawing from a trial so that the GLF file is about the
    // requested size.
    const std::size_t target = static_cast<std::size_t>(glfMegabytes * 1024 * 1024);
    std::size_t ofiBytes = target / 3;
    std::uintmax_t glfBytes = makeDrawing(ofi, glf, ofiBytes, kind);
    if (glfBytes == 0) {
        std::fprintf(stderr, "the benchmark drawing did not convert\n");
        return 1;
    }
    ofiBytes = static_cast<std::size_t>(static_cast<double>(ofiBytes) * target / glfBytes);
    glfBytes = makeDrawing(ofi, glf, ofiBytes, kind);
    const std::uintmax_t smallGlfBytes = makeDrawing(smallOfi, smallGlf, ofiBytes / 4, kind);

    double convert = 1e30, png = 1e30, pdf = 1e30, svg = 1e30, drawOnly = 1e30;
    for (int i = 0; i < rounds; ++i) {
        kesto::ConversionRun run(kesto::ConversionSettings{});
        auto start = std::chrono::steady_clock::now();
        (void)run.toFile(ofi, glf, kesto::Durability::Replace);
        convert = std::min(convert, seconds(start));

        start = std::chrono::steady_clock::now();
        if (!render(glf, dir / "LARGE.png", kesto::render::PictureFormat::Png)) return 1;
        png = std::min(png, seconds(start));

        {
            // The same picture drawn in memory only: the rest is PNG encoding.
            kesto::render::FileInput input;
            input.open(glf.string());
            kesto::render::RenderOptions options;
            start = std::chrono::steady_clock::now();
            const QImage image = kesto::render::renderImage(input, options, nullptr);
            drawOnly = std::min(drawOnly, seconds(start));
            if (image.isNull()) return 1;
        }

        start = std::chrono::steady_clock::now();
        if (!render(glf, dir / "LARGE.pdf", kesto::render::PictureFormat::Pdf)) return 1;
        pdf = std::min(pdf, seconds(start));

        start = std::chrono::steady_clock::now();
        if (!render(glf, dir / "LARGE.svg", kesto::render::PictureFormat::Svg)) return 1;
        svg = std::min(svg, seconds(start));
    }
    const auto pngPeak = [&](const fs::path& g) {
        return peakOf(
            [&] { return render(g, dir / "PEAK.png", kesto::render::PictureFormat::Png); });
    };
    const auto pdfPeak = [&](const fs::path& g) {
        return peakOf(
            [&] { return render(g, dir / "PEAK.pdf", kesto::render::PictureFormat::Pdf); });
    };

    std::printf("drawing        %s A1, %.1f MB of OFI, %.1f MB of GLF (best of %d rounds)\n",
                kind == kesto::LargeDrawingKind::TextHeavy  ? "text-heavy"
                : kind == kesto::LargeDrawingKind::Geometry ? "geometry-only"
                                                            : "mixed",
                mb(fs::file_size(ofi)), mb(glfBytes), rounds);
    std::printf("convert        %.3f s  OFI -> GLF\n", convert);
    std::printf("PNG 150 dpi    %.3f s  = %.1f x the conversion  (%.1f MB file)\n", png,
                png / convert, mb(fs::file_size(dir / "LARGE.png")));
    std::printf("  drawing only %.3f s  (the rest encodes the PNG file)\n", drawOnly);
    std::printf("PDF            %.3f s  (%.1f MB file)\n", pdf,
                mb(fs::file_size(dir / "LARGE.pdf")));
    std::printf("SVG            %.3f s  (%.1f MB file)\n", svg,
                mb(fs::file_size(dir / "LARGE.svg")));
    std::printf("peak memory    PNG %.0f MB for %.1f MB of GLF, %.0f MB for %.1f MB\n",
                pngPeak(smallGlf), mb(smallGlfBytes), pngPeak(glf), mb(glfBytes));
    std::printf("               PDF %.0f MB for %.1f MB of GLF, %.0f MB for %.1f MB\n",
                pdfPeak(smallGlf), mb(smallGlfBytes), pdfPeak(glf), mb(glfBytes));
    fs::remove_all(dir);
    return 0;
}
