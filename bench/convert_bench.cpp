// Conversion throughput on a large realistic drawing, against a plain copy
// of the same input and output bytes, and the peak memory of the
// conversion.
//
//   kesto_convert_bench [megabytes] [mixed|text] [rounds]
//
// The drawing is made by the composer, written to a temporary folder and
// converted file to file, as the spooler does.

#include "composer/SampleDrawings.h"
#include "convert/ConversionState.h"
#include "convert/ConvertFile.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Reads `input` and writes `outputBytes` bytes to `output` in 64 KiB blocks,
// with the same flush to the disk as a GLF file gets.
void plainCopy(const fs::path& input, const fs::path& output, std::uintmax_t outputBytes) {
    std::vector<char> block(64 * 1024);
    std::FILE* in = std::fopen(input.c_str(), "rb");
    std::FILE* out = std::fopen(output.c_str(), "wb");
    std::uintmax_t written = 0;
    std::size_t n;
    volatile unsigned sum = 0;
    while ((n = std::fread(block.data(), 1, block.size(), in)) > 0)
        sum = sum + block[n - 1];
    std::rewind(in);
    while (written < outputBytes) {
        n = std::fread(block.data(), 1, block.size(), in);
        if (n == 0) {
            std::rewind(in);
            continue;
        }
        n = static_cast<std::size_t>(std::min<std::uintmax_t>(n, outputBytes - written));
        std::fwrite(block.data(), 1, n, out);
        written += n;
    }
    std::fflush(out);
    ::fsync(::fileno(out));
    std::fclose(out);
    std::fclose(in);
}

long peakRssKib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 60;
    const bool text = argc > 2 && std::strcmp(argv[2], "text") == 0;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;

    const fs::path dir = fs::temp_directory_path() / ("kesto-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path ofi = dir / "LARGE.OFI";
    const fs::path glf = dir / "LARGE.GLF";
    const fs::path copy = dir / "COPY.BIN";
    {
        const auto drawing = kesto::composeLargeDrawing(
            static_cast<std::size_t>(megabytes * 1024 * 1024),
            text ? kesto::LargeDrawingKind::TextHeavy : kesto::LargeDrawingKind::Mixed);
        if (!drawing.save(ofi)) {
            std::fprintf(stderr, "cannot write %s\n", ofi.c_str());
            return 1;
        }
    }
    const double inputMb = static_cast<double>(fs::file_size(ofi)) / (1024 * 1024);

    // Peak memory of one conversion, measured in a child of its own so that
    // composing the drawing does not count.
    long childPeak = 0;
    if (const pid_t pid = ::fork(); pid == 0) {
        kesto::ConversionState run;
        const kesto::FileResult r = kesto::convertOfiFile(ofi, glf, kesto::Durability::Replace, run,
                                                          kesto::ConversionSettings{});
        std::FILE* f = std::fopen((dir / "peak").c_str(), "w");
        std::fprintf(f, "%ld %d\n", peakRssKib(), static_cast<int>(r.outcome));
        std::fclose(f);
        std::_Exit(0);
    } else {
        int status = 0;
        ::waitpid(pid, &status, 0);
        std::ifstream in(dir / "peak");
        int outcome = -1;
        in >> childPeak >> outcome;
        if (outcome != 0) {
            std::fprintf(stderr, "the benchmark drawing did not convert (outcome %d)\n", outcome);
            return 1;
        }
    }

    double best = 1e30;
    double bestCpu = 1e30;
    double bestCopy = 1e30;
    std::uintmax_t outputBytes = 0;
    for (int i = 0; i < rounds; ++i) {
        kesto::ConversionState run;
        auto start = std::chrono::steady_clock::now();
        const double cpuStart = cpuSeconds();
        kesto::convertOfiFile(ofi, glf, kesto::Durability::Replace, run,
                              kesto::ConversionSettings{});
        best = std::min(best, seconds(start));
        bestCpu = std::min(bestCpu, cpuSeconds() - cpuStart);
        outputBytes = fs::file_size(glf);

        start = std::chrono::steady_clock::now();
        plainCopy(ofi, copy, outputBytes);
        bestCopy = std::min(bestCopy, seconds(start));
    }

    std::printf("drawing          %s, %.1f MB of OFI input, %.1f MB of GLF output\n",
                text ? "text-heavy" : "mixed", inputMb,
                static_cast<double>(outputBytes) / (1024 * 1024));
    std::printf("conversion       %.3f s  = %.0f MB/s of OFI input (best of %d)\n", best,
                inputMb / best, rounds);
    std::printf("  on the CPU     %.3f s  = %.0f MB/s of OFI input (the rest waits for the disk)\n",
                bestCpu, inputMb / bestCpu);
    std::printf("plain copy       %.3f s  (read the input, write as many bytes as the GLF)\n",
                bestCopy);
    std::printf("ratio            %.2f x the plain copy\n", best / bestCopy);
    std::printf("peak memory      %.1f MB resident for the conversion (input file %.1f MB, "
                "mapped)\n",
                static_cast<double>(childPeak) / 1024, inputMb);
    fs::remove_all(dir);
    return 0;
}
