// kesto: the spooler's window.  The current directory is the program folder
// (Kesto.sys and the run's work file live there).
//
//   kesto             interactive
//   kesto auto|AUTO   one run a second after start-up, then close
//   kesto AUTO30      a run every 30 seconds after the end of the last one
//
// SIGTERM, SIGINT and SIGHUP act as the stop button: the run in progress stops at its
// next check, and the window closes and saves the settings.

#include "delivery/Spooler.h"
#include "ui/MainWindow.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#ifndef _WIN32
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Written by the signal handler, read by the window's event loop.
int signalPipe[2] = {-1, -1};

void onStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[0], &byte, 1);
}

// Turns SIGTERM, SIGINT and SIGHUP into a click on the stop button.
void stopOnSignals(kesto::MainWindow& window) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char byte = 0;
        [[maybe_unused]] const auto got = ::read(signalPipe[1], &byte, 1);
        window.stop();
    });
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

} // namespace
#endif

namespace {

// --help and --version are answered without a window (or a display).
bool answeredWithoutWindow(int argc, char** argv) {
    if (argc != 2) return false;
    if (std::strcmp(argv[1], "--version") == 0) {
        std::fputs("kesto " KESTO_VERSION "\n", stdout);
        return true;
    }
    if (std::strcmp(argv[1], "--help") == 0) {
        std::fputs("usage: kesto [auto|AUTO|AUTO<seconds>]\n"
                   "       kesto --help | --version\n"
                   "\n"
                   "The spooler's window.  The current directory is the program folder that\n"
                   "holds Kesto.sys.\n"
                   "\n"
                   "  (none)           the window; runs start from its buttons\n"
                   "  auto, AUTO       one run a second after start-up, then the window closes\n"
                   "  AUTO<seconds>    a run every that many seconds after the end of the last\n"
                   "                   one, until the stop button, SIGTERM, SIGINT or SIGHUP\n",
                   stdout);
        return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (answeredWithoutWindow(argc, argv)) return 0;
    QApplication app(argc, argv);

    // The whole argument text, as the command line gave it after the
    // program's name (Qt's own options are already taken out).
    std::string argument;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) argument += ' ';
        argument += argv[i];
    }
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::current_path(ec);
    if (ec) folder = ".";

    kesto::MainWindow window(folder, argument, kesto::makeSystemSpooler());
#ifndef _WIN32
    stopOnSignals(window);
#endif
    window.show();
    return app.exec();
}
