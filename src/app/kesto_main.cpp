// kesto: the spooler's window.  The current directory is the program folder
// (Kesto.sys and the run's work file live there).
//
//   kesto             interactive
//   kesto auto|AUTO   one run a second after start-up, then close
//   kesto AUTO30      a run every 30 seconds after the end of the last one

#include "job/delivery/Spooler.h"
#include "ui/MainWindow.h"

#include <QApplication>

#include <filesystem>
#include <string>
#include <system_error>

int main(int argc, char** argv) {
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
    window.show();
    return app.exec();
}
