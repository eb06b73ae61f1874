// kesto-compose: writes the bundled sample drawings and large benchmark
// drawings.
//
//   kesto-compose samples DIR
//   kesto-compose large FILE MEGABYTES
//   kesto-compose text-heavy FILE MEGABYTES
//   kesto-compose geometry FILE MEGABYTES

#include "composer/SampleDrawings.h"

#include <charconv>
#include <cstdio>
#include <exception>
#include <string_view>

namespace {

// Largest drawing the tool writes, in megabytes.
constexpr unsigned long MaxMegabytes = 4096;

int usage() {
    std::fputs("usage: kesto-compose samples DIR\n"
               "       kesto-compose large FILE MEGABYTES\n"
               "       kesto-compose text-heavy FILE MEGABYTES\n"
               "       kesto-compose geometry FILE MEGABYTES\n",
               stderr);
    return 2;
}

} // namespace

int run(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string_view mode = argv[1];
    if (mode == "samples" && argc == 3) {
        std::error_code ec;
        std::filesystem::create_directories(argv[2], ec);
        if (!kesto::writeSampleDrawings(argv[2])) {
            std::fprintf(stderr, "kesto-compose: cannot write the samples into %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if ((mode == "large" || mode == "text-heavy" || mode == "geometry") && argc == 4) {
        const std::string_view sizeText = argv[3];
        unsigned long megabytes = 0;
        const auto [end, ec] =
            std::from_chars(sizeText.data(), sizeText.data() + sizeText.size(), megabytes);
        if (ec != std::errc() || end != sizeText.data() + sizeText.size() || megabytes == 0 ||
            megabytes > MaxMegabytes) {
            std::fprintf(stderr, "kesto-compose: size must be 1 to %lu megabytes\n", MaxMegabytes);
            return 2;
        }
        const auto kind = mode == "large"        ? kesto::LargeDrawingKind::Mixed
                          : mode == "text-heavy" ? kesto::LargeDrawingKind::TextHeavy
                                                 : kesto::LargeDrawingKind::Geometry;
        if (!kesto::composeLargeDrawing(megabytes * 1024 * 1024, kind).save(argv[2])) {
            std::fprintf(stderr, "kesto-compose: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    return usage();
}

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kesto-compose: %s\n", e.what());
        return 1;
    }
}
