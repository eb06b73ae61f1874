#pragma once
// Runs kesto-cli in a folder of its own (never through a shell), reads what
// it prints, and can stop it with a signal like a service manager would.

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kesto::test {

class CliProcess {
public:
    // Starts `program args...` with `folder` as its current directory.
    CliProcess(const std::string& program, const std::vector<std::string>& args,
               const std::filesystem::path& folder) {
        // Everything the child needs is made before the fork: the test program
        // has threads, so the child may only make async-signal-safe calls.
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const std::string dir = folder.string();
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1); // dup2 clears close-on-exec on 1 and 2
            ::dup2(err[1], 2);
            if (::chdir(dir.c_str()) == 0) ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        fds_[0] = {out[0], POLLIN, 0};
        fds_[1] = {err[0], POLLIN, 0};
        for (const auto& p : fds_)
            ::fcntl(p.fd, F_SETFL, O_NONBLOCK);
    }
    ~CliProcess() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            wait(std::chrono::seconds(5));
        }
        for (const auto& p : fds_)
            if (p.fd >= 0) ::close(p.fd);
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    void signal(int sig) const { ::kill(pid_, sig); }

    // Reads output until stdout holds `text` or the time is up.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (out_.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() >= until) return false;
            drain(50);
        }
        return true;
    }

    // Waits for the exit; the exit status, or -1 on a timeout or a signal.
    int wait(std::chrono::milliseconds timeout) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        for (int status = 0; !exited_;) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            } else if (std::chrono::steady_clock::now() >= until) {
                return -1;
            } else {
                drain(20);
            }
        }
        drain(0);
        return code_;
    }

    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

private:
    void drain(int timeoutMs) {
        ::poll(fds_, 2, timeoutMs);
        char buffer[4096];
        for (auto [fd, text] : {std::pair{fds_[0].fd, &out_}, std::pair{fds_[1].fd, &err_}})
            for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                text->append(buffer, std::size_t(n));
    }

    pid_t pid_ = -1;
    pollfd fds_[2] = {{-1, 0, 0}, {-1, 0, 0}};
    bool exited_ = false;
    int code_ = -1;
    std::string out_, err_;
};

} // namespace kesto::test
