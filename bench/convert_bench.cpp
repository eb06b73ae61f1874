// Conversion throughput on a large realistic drawing, against a plain copy
// of the same input and output bytes, and the peak memory of the
// conversion.
//
//   kesto_convert_bench [megabytes] [geometry|mixed|text] [rounds]
//
// The drawing is made by the composer, written to a temporary folder and
// converted file to file, as `kesto-cli convert` does: the input read whole,
// the GLF written through the writer's two buffers (the file on a second
// thread) under a temporary name and renamed when finished, no fsync.
// Neither the copy nor the conversion waits for the disk; what making the
// GLF durable costs is measured on its own.  Each round starts from fresh
// output files, with the previous round's bytes already on the disk.

#include "composer/SampleDrawings.h"
#include "convert/ConversionState.h"
#include "convert/ConvertFile.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
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

[[noreturn]] void fail(const char* what, const fs::path& path) {
    std::fprintf(stderr, "kesto_convert_bench: %s %s: %s\n", what, path.c_str(),
                 std::strerror(errno));
    std::exit(1);
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// One OFI file into one GLF file, as the command line converts it: read
// whole, written to a temporary file and renamed, no fsync.
bool convertFile(const fs::path& ofi, const fs::path& glf) {
    const kesto::FileResult r = kesto::ConversionRun(kesto::ConversionSettings{})
                                    .toFile(ofi, glf, kesto::Durability::Replace);
    return r.outcome == kesto::FileOutcome::Finished;
}

// Reads `input` once and writes `outputBytes` bytes to `output`, in blocks
// the size of the writer's buffer and without fsync: the input's blocks
// first, then the whole buffer again and again until the size is reached.
void plainCopy(const fs::path& input, const fs::path& output, std::uintmax_t outputBytes) {
    std::vector<char> block(kesto::GlfWriter::kBufferSize);
    const int in = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) fail("cannot read", input);
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) fail("cannot create", output);
    std::uintmax_t written = 0;
    std::size_t filled = 0;
    bool inputLeft = true;
    while (written < outputBytes) {
        if (inputLeft) {
            const ssize_t n = ::read(in, block.data(), block.size());
            if (n < 0) fail("cannot read", input);
            inputLeft = n > 0;
            if (n > 0)
                filled = static_cast<std::size_t>(n);
            else if (filled > 0)
                filled = block.size();
        }
        if (filled == 0) break; // an empty input has nothing to copy
        const auto size =
            static_cast<std::size_t>(std::min<std::uintmax_t>(filled, outputBytes - written));
        if (!writeAll(out, block.data(), size)) fail("cannot write", output);
        written += size;
    }
    ::close(out);
    ::close(in);
}

// The time that making a just written file durable takes: an fsync of the
// file, then of its folder (which holds the rename that gave it its name).
double fsyncSeconds(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) fail("cannot open", file);
    const int folder = ::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) fail("cannot open", file.parent_path());
    const auto start = std::chrono::steady_clock::now();
    if (::fsync(fd) != 0) fail("cannot fsync", file);
    if (::fsync(folder) != 0) fail("cannot fsync", file.parent_path());
    const double s = seconds(start);
    ::close(folder);
    ::close(fd);
    return s;
}

long peakRssKib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct Kind {
    const char* name;
    kesto::LargeDrawingKind kind;
};
constexpr Kind kKinds[] = {
    {"geometry", kesto::LargeDrawingKind::Geometry},
    {"mixed", kesto::LargeDrawingKind::Mixed},
    {"text", kesto::LargeDrawingKind::TextHeavy},
};

} // namespace

int main(int argc, char** argv) {
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 50;
    const Kind* kind = &kKinds[0];
    if (argc > 2) {
        kind = nullptr;
        for (const Kind& k : kKinds)
            if (std::string_view(argv[2]) == k.name) kind = &k;
        if (!kind || !(megabytes > 0)) {
            std::fputs("usage: kesto_convert_bench [megabytes] [geometry|mixed|text] [rounds]\n",
                       stderr);
            return 2;
        }
    }
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;

    const fs::path dir = fs::temp_directory_path() / ("kesto-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path ofi = dir / "LARGE.OFI";
    const fs::path glf = dir / "LARGE.GLF";
    const fs::path copy = dir / "COPY.BIN";
    if (!kesto::composeLargeDrawing(static_cast<std::size_t>(megabytes * 1024 * 1024), kind->kind)
             .save(ofi)) {
        fail("cannot write", ofi);
    }
    const double inputMb = static_cast<double>(fs::file_size(ofi)) / (1024 * 1024);

    // Peak memory of one conversion, measured in a child of its own so that
    // composing the drawing does not count.
    long childPeak = 0;
    if (const pid_t pid = ::fork(); pid == 0) {
        const bool ok = convertFile(ofi, glf);
        std::FILE* f = std::fopen((dir / "peak").c_str(), "w");
        std::fprintf(f, "%ld %d\n", peakRssKib(), ok ? 1 : 0);
        std::fclose(f);
        std::_Exit(0);
    } else {
        int status = 0;
        ::waitpid(pid, &status, 0);
        std::ifstream in(dir / "peak");
        int ok = 0;
        in >> childPeak >> ok;
        if (!ok) {
            std::fprintf(stderr, "the benchmark drawing did not convert\n");
            return 1;
        }
    }

    double best = 1e30;
    double bestCpu = 1e30;
    double bestCopy = 1e30;
    std::vector<double> fsyncs;
    std::uintmax_t outputBytes = 0;
    for (int i = 0; i < rounds; ++i) {
        fs::remove(glf);
        ::sync(); // no write-back of an earlier round runs during this one
        auto start = std::chrono::steady_clock::now();
        const double cpuStart = cpuSeconds();
        if (!convertFile(ofi, glf)) fail("cannot convert", ofi);
        best = std::min(best, seconds(start));
        bestCpu = std::min(bestCpu, cpuSeconds() - cpuStart);
        fsyncs.push_back(fsyncSeconds(glf));
        outputBytes = fs::file_size(glf);

        fs::remove(copy);
        ::sync();
        start = std::chrono::steady_clock::now();
        plainCopy(ofi, copy, outputBytes);
        bestCopy = std::min(bestCopy, seconds(start));
    }

    std::printf("drawing          %s, %.1f MB of OFI input, %.1f MB of GLF output\n", kind->name,
                inputMb, static_cast<double>(outputBytes) / (1024 * 1024));
    std::printf("conversion       %.3f s  = %.0f MB/s of OFI input, wall (best of %d, no fsync)\n",
                best, inputMb / best, rounds);
    std::printf("  on the CPU     %.3f s  = %.0f MB/s of OFI input\n", bestCpu, inputMb / bestCpu);
    std::printf("plain copy       %.3f s  (read the input once, write as many bytes as the GLF; "
                "no fsync)\n",
                bestCopy);
    std::printf("ratio            %.2f x the plain copy\n", best / bestCopy);
    // The disk's time varies more than the CPU's: the middle round, not the best.
    std::sort(fsyncs.begin(), fsyncs.end());
    std::printf("fsync of the GLF %.3f s  (file and folder: what a durable GLF adds; median, "
                "%.3f to %.3f s)\n",
                fsyncs[fsyncs.size() / 2], fsyncs.front(), fsyncs.back());
    std::printf("peak memory      %.1f MB resident for the conversion (input file %.1f MB, "
                "read whole)\n",
                static_cast<double>(childPeak) / 1024, inputMb);
    fs::remove_all(dir);
    return 0;
}
