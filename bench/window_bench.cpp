// Times a conversion run in the window against the headless converter on the
// same large drawing; the window's event rounds must not make it noticeably
// slower.
//
//   kesto_window_bench [MEGABYTES] [ROUNDS]
//
// Prints the best of ROUNDS for each and their ratio; exits 1 when the window
// takes more than 1.2 times the headless time.

#include "GuiTestSupport.h"

#include "composer/SampleDrawings.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace kesto;
using namespace kesto::test;
namespace fs = std::filesystem;

namespace {

// The window may take at most this much longer than the headless converter.
constexpr double kAllowedRatio = 1.2;
// The drawing's size in megabytes when none is given.
constexpr int kDefaultMegabytes = 50;
// Rounds of each when none are given; the best of them counts.
constexpr int kDefaultRounds = 3;

double headlessSeconds(const fs::path& drawing, const fs::path& outDir) {
    QProcess cli;
    QElapsedTimer clock;
    clock.start();
    cli.start(KESTO_CLI, {"convert", "--out-dir", QString::fromStdString(outDir.string()),
                          QString::fromStdString(drawing.string())});
    cli.waitForFinished(-1);
    const double s = clock.nsecsElapsed() / 1e9;
    if (cli.exitCode() != 0) std::fprintf(stderr, "kesto-cli convert failed\n");
    return s;
}

double windowSeconds(const fs::path& folder) {
    auto spooler = std::make_shared<RecordingSpooler::Shared>();
    MainWindow w(folder, "", std::make_unique<RecordingSpooler>(spooler));
    w.runOptions().settleTime = std::chrono::milliseconds(0);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w)) std::fprintf(stderr, "window not exposed\n");
    QElapsedTimer clock;
    clock.start();
    w.runJob();
    const double s = clock.nsecsElapsed() / 1e9;
    w.close();
    return s;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int megabytes = argc > 1 ? std::atoi(argv[1]) : kDefaultMegabytes;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : kDefaultRounds;

    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString();
    const fs::path drawing = folder / "BIG.OFI";
    if (!composeLargeDrawing(std::size_t(megabytes) * 1024 * 1024, LargeDrawingKind::Mixed)
             .save(drawing.string()))
        return 2;
    writeSettings(folder, [](JobSettings& s) {
        s.OfiFMen = "自動";
        s.OfiOut = "ﾌｧｲﾙ";
    });
    const fs::path outDir = folder / "cli";
    fs::create_directory(outDir);

    double headless = 1e9;
    double window = 1e9;
    for (int i = 0; i < rounds; ++i) {
        headless = std::min(headless, headlessSeconds(drawing, outDir));
        window = std::min(window, windowSeconds(folder));
        fs::remove(folder / "BIG.GLF");
    }
    const double ratio = window / headless;
    std::printf("drawing %d MB: headless %.3f s, window %.3f s, ratio %.3f (allowed %.1f)\n",
                megabytes, headless, window, ratio, kAllowedRatio);
    return ratio <= kAllowedRatio ? 0 : 1;
}
