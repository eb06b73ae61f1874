#pragma once
// Runs kesto-cli in a folder of its own (never through a shell), keeps what
// it prints, and can stop it with a signal like a service manager would.

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kesto::test {

class CliProcess {
public:
    // Starts `program args...` with `folder` as its current directory; its
    // stdout and stderr go to files in memory.
    CliProcess(const std::string& program, const std::vector<std::string>& args,
               const std::filesystem::path& folder) {
        // Everything the child needs is made before the fork: the test program
        // has threads, so the child may only make async-signal-safe calls.
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const std::string dir = folder.string();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out_, 1); // the copies stay open across exec
            ::dup2(err_, 2);
            if (::chdir(dir.c_str()) == 0) ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
    }
    ~CliProcess() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            wait(std::chrono::seconds(5));
        }
        ::close(out_);
        ::close(err_);
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    void signal(int sig) const { ::kill(pid_, sig); }

    // Waits until stdout holds `text`; false when the time is up.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout) const {
        return waitUntil([&] { return out().find(text) != std::string::npos; }, timeout);
    }
    // Waits for the exit; the exit status, or -1 on a timeout or a signal.
    int wait(std::chrono::milliseconds timeout) {
        int status = 0;
        if (!exited_ &&
            waitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, timeout)) {
            exited_ = true;
            code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return exited_ ? code_ : -1;
    }

    std::string out() const { return contents(out_); }
    std::string err() const { return contents(err_); }

private:
    template <class Done> static bool waitUntil(Done done, std::chrono::milliseconds timeout) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }
    static std::string contents(int fd) {
        std::string text;
        char buffer[4096];
        for (ssize_t n; (n = ::pread(fd, buffer, sizeof buffer, off_t(text.size()))) > 0;)
            text.append(buffer, std::size_t(n));
        return text;
    }

    int out_ = ::memfd_create("kesto-cli-out", MFD_CLOEXEC);
    int err_ = ::memfd_create("kesto-cli-err", MFD_CLOEXEC);
    pid_t pid_ = -1;
    bool exited_ = false;
    int code_ = -1;
};

} // namespace kesto::test
