// Times a large GLF file on its way through a private print server to a raw
// queue whose plotter is a capture listener, once sent by us and once by
// `lp -o raw`, and reports both and their ratio.
//
//   kesto_delivery_bench [megabytes] [rounds]      (defaults: 100, 3)

#include "delivery/Spooler.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CaptureListener.h"
#include "PrivateCupsd.h"
#include "Subprocess.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Default size of the benchmark drawing.
constexpr int kDefaultMegabytes = 100;
// Default number of timed sends per sender; the best one is reported.
constexpr int kDefaultRounds = 3;
// How long one send may take to reach the plotter.
constexpr auto kArrivalTimeout = 300s;
// The ratio ours / lp that the delivery should stay under.
constexpr double kTargetRatio = 1.5;

// A long HP-GL drawing: the converter's kind of text, one line, CR LF at the end.
std::uint64_t writeDrawing(const std::filesystem::path& file, std::size_t size) {
    std::string block;
    for (int i = 0; block.size() < 1 << 20; ++i)
        block += "PU" + std::to_string(i % 40000) + "," + std::to_string((i * 7) % 28000) + ";PD" +
                 std::to_string((i * 3) % 40000) + "," + std::to_string((i * 11) % 28000) + ";";
    std::ofstream out(file, std::ios::binary);
    std::uint64_t hash = kesto::test::kFnvOffset;
    const std::string head = "IN;SP1;";
    const std::string tail = "PU;SP0;AF;\r\n";
    out << head;
    hash = kesto::test::fnv1a(head.data(), head.size(), hash);
    std::size_t left = size - head.size() - tail.size();
    while (left > 0) {
        std::size_t n = std::min(left, block.size());
        out.write(block.data(), static_cast<std::streamsize>(n));
        hash = kesto::test::fnv1a(block.data(), n, hash);
        left -= n;
    }
    out << tail;
    return kesto::test::fnv1a(tail.data(), tail.size(), hash);
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

} // namespace

int main(int argc, char** argv) {
    const int megabytes = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultMegabytes;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : kDefaultRounds;
    if (!kesto::test::PrivateCupsd::installed()) {
        std::puts("cupsd is not installed; nothing to measure");
        return 0;
    }
    kesto::test::CaptureListener plotter(false);
    kesto::test::PrivateCupsd cupsd;
    if (!plotter.listening() || !cupsd.start()) {
        std::fprintf(stderr, "cannot start the print server: %s\n", cupsd.error().c_str());
        return 1;
    }
    cupsd.useAsDefaultServer();
    const std::string queue = "kesto-bench";
    if (!cupsd.addRawQueue(queue, plotter.uri())) {
        std::fprintf(stderr, "%s\n", cupsd.error().c_str());
        return 1;
    }

    const auto file = cupsd.root() / "BENCH.GLF";
    const std::size_t size = static_cast<std::size_t>(megabytes) << 20;
    const std::uint64_t hash = writeDrawing(file, size);
    auto spooler = kesto::makeSystemSpooler();

    // Sends once and waits until the plotter has the whole file.
    auto arrives = [&](auto&& send) -> double {
        plotter.clear();
        const auto start = Clock::now();
        if (!send()) return -1;
        auto got = plotter.waitForConnections(1, kArrivalTimeout);
        const auto end = Clock::now();
        if (got.size() != 1 || got[0].size != size || got[0].hash != hash) {
            std::fprintf(stderr, "the plotter did not receive the file unchanged\n");
            return -1;
        }
        return seconds(end - start);
    };
    auto ours = [&] {
        kesto::Status r = spooler->sendFile(file, queue);
        if (!r.ok()) std::fprintf(stderr, "ours: %s\n", r.reason().c_str());
        return r.ok();
    };
    auto lp = [&] {
        auto r = cupsd.tool({"lp", "-d", queue, "-o", "raw", "-t", "Test", file.string()});
        if (r.exitCode != 0) std::fprintf(stderr, "lp: %s\n", r.output.c_str());
        return r.exitCode == 0;
    };

    std::vector<double> oursTimes, lpTimes;
    for (int i = 0; i < rounds; ++i) {
        double a = arrives(ours);
        double b = arrives(lp);
        if (a < 0 || b < 0) return 1;
        oursTimes.push_back(a);
        lpTimes.push_back(b);
        std::printf("round %d: kesto %.3f s, lp %.3f s\n", i + 1, a, b);
    }
    const double bestOurs = *std::min_element(oursTimes.begin(), oursTimes.end());
    const double bestLp = *std::min_element(lpTimes.begin(), lpTimes.end());
    const double ratio = bestOurs / bestLp;
    std::printf("%d MB to the plotter through the print server (best of %d):\n", megabytes, rounds);
    std::printf("  kesto  %.3f s  (%.1f MB/s)\n", bestOurs, megabytes / bestOurs);
    std::printf("  lp     %.3f s  (%.1f MB/s)\n", bestLp, megabytes / bestLp);
    std::printf("  ratio  %.2f (target <= %.1f): %s\n", ratio, kTargetRatio,
                ratio <= kTargetRatio ? "ok" : "SLOWER THAN TARGET");
    return 0;
}
