#include "PrivateCupsd.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <cups/cups.h>

extern char** environ;

namespace kesto::test {

namespace {

// How long cupsd may take to start answering.
constexpr auto kStartTimeout = std::chrono::seconds(20);
// How long cupsd may take to end after SIGTERM before it is killed.
constexpr auto kStopTimeout = std::chrono::seconds(10);

int freeLoopbackPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

bool answers(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

// The unprivileged account that cupsd runs its backends as; it refuses root.
std::string backendUser() {
    for (const char* name : {"lp", "daemon", "nobody"})
        if (::getpwnam(name)) return name;
    return "nobody";
}

std::string backendGroup() {
    for (const char* name : {"lp", "daemon", "nogroup"})
        if (::getgrnam(name)) return name;
    return "nogroup";
}

} // namespace

PrivateCupsd::~PrivateCupsd() {
    stop();
}

bool PrivateCupsd::installed() {
    return !findProgram("cupsd").empty() && !findProgram("lpadmin").empty();
}

bool PrivateCupsd::writeConfiguration() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kesto-cupsd-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        error_ = "cannot create a temporary folder";
        return false;
    }
    root_ = pattern;
    // The backends run as an unprivileged user and must reach the spool files.
    ::chmod(root_.c_str(), 0755);
    for (const char* dir : {"etc", "etc/ppd", "spool", "spool/tmp", "cache", "run", "log"})
        std::filesystem::create_directories(root_ / dir);
    ::chmod((root_ / "spool/tmp").c_str(), 01777);

    std::ofstream conf(root_ / "etc/cupsd.conf");
    conf << "LogLevel info\n"
         << "Listen 127.0.0.1:" << port_ << "\n"
         << "ServerAlias *\n"
         << "Browsing No\n"
         << "BrowseLocalProtocols none\n"
         << "DefaultAuthType None\n"
         << "WebInterface No\n"
         << "PreserveJobHistory Yes\n"
         << "MaxJobs 0\n"
         << "ErrorPolicy abort-job\n"
         << "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
         << "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
    std::ofstream files(root_ / "etc/cups-files.conf");
    files << "ServerRoot " << (root_ / "etc").string() << "\n"
          << "RequestRoot " << (root_ / "spool").string() << "\n"
          << "TempDir " << (root_ / "spool/tmp").string() << "\n"
          << "CacheDir " << (root_ / "cache").string() << "\n"
          << "StateDir " << (root_ / "run").string() << "\n"
          << "ErrorLog " << (root_ / "log/error_log").string() << "\n"
          << "AccessLog " << (root_ / "log/access_log").string() << "\n"
          << "PageLog " << (root_ / "log/page_log").string() << "\n"
          << "Printcap " << (root_ / "run/printcap").string() << "\n"
          << "ServerKeychain " << (root_ / "etc/ssl").string() << "\n"
          << "FileDevice Yes\n"
          << "User " << backendUser() << "\n"
          << "Group " << backendGroup() << "\n"
          << "SystemGroup root\n";
    return conf.good() && files.good();
}

bool PrivateCupsd::start() {
    if (running()) return true;
    port_ = freeLoopbackPort();
    if (port_ == 0) {
        error_ = "no free port on 127.0.0.1";
        return false;
    }
    if (!writeConfiguration()) return false;

    std::string cupsd = findProgram("cupsd");
    std::string confPath = (root_ / "etc/cupsd.conf").string();
    std::string filesPath = (root_ / "etc/cups-files.conf").string();
    std::string logPath = (root_ / "log/cupsd.out").string();
    std::vector<char*> args = {cupsd.data(),    const_cast<char*>("-f"), const_cast<char*>("-c"),
                               confPath.data(), const_cast<char*>("-s"), filesPath.data(),
                               nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    int rc = ::posix_spawn(&pid_, cupsd.c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        pid_ = -1;
        error_ = "cannot start " + cupsd;
        return false;
    }

    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (!answers(port_)) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            error_ = "cupsd ended at start-up:\n" + errorLog();
            return false;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            error_ = "cupsd does not answer on " + server() + ":\n" + errorLog();
            stop();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

void PrivateCupsd::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        pid_ = -1;
    }
    if (!root_.empty() && !std::getenv("KESTO_KEEP_CUPSD")) {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
        root_.clear();
    }
}

std::string PrivateCupsd::errorLog() const {
    std::string text;
    for (const char* name : {"log/cupsd.out", "log/error_log"}) {
        std::ifstream in(root_ / name, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        text += content.str();
    }
    return text;
}

void PrivateCupsd::useAsDefaultServer() const {
    ::setenv("CUPS_SERVER", server().c_str(), 1);
    // The user's and the machine's default printer settings stay out of the tests.
    ::setenv("CUPS_SERVERROOT", (root_ / "etc").c_str(), 1);
    ::unsetenv("LPDEST");
    ::unsetenv("PRINTER");
    cupsSetServer(server().c_str());
}

ProgramResult PrivateCupsd::tool(std::vector<std::string> argv) const {
    argv.insert(argv.begin() + 1, {"-h", server()});
    return runProgram(argv);
}

bool PrivateCupsd::addRawQueue(const std::string& name, const std::string& deviceUri) {
    ProgramResult r = tool({"lpadmin", "-p", name, "-v", deviceUri, "-m", "raw", "-E"});
    if (r.exitCode != 0) {
        error_ = "lpadmin could not create " + name + ": " + r.output;
        return false;
    }
    return true;
}

} // namespace kesto::test
