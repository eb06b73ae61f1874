#pragma once
// A scratch folder and small file helpers for the io tests.

#include "ByteFiles.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace kesto::test {

namespace fs = std::filesystem;

// Last written a minute ago.
inline void makeOld(const fs::path& file) {
    fs::last_write_time(file, fs::file_time_type::clock::now() - std::chrono::seconds(60));
}

// Runs `work` as a user without root's rights (root writes into any folder
// and opens any file): in a child process that gives them up, when this one
// is root.  Returns what `work` returned.
inline std::string asOrdinaryUser(const std::function<std::string()>& work) {
    if (::geteuid() != 0) return work();
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        std::string result = "cannot give up root";
        if (::setgid(65534) == 0 && ::setuid(65534) == 0) result = work();
        (void)!::write(pipeFds[1], result.data(), result.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string result;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    ::waitpid(child, nullptr, 0);
    return result;
}

class Folder {
public:
    Folder()
        : path_(fs::temp_directory_path() /
                ("kesto-io-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++))) {
        fs::remove_all(path_);
        fs::create_directories(path_);
        // Others may enter (a test gives up root's rights to write here).
        fs::permissions(path_,
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    std::vector<std::string> names() const { return namesIn(path_); }

    static std::vector<std::string> namesIn(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path path_;
    static inline int counter_ = 0;
};

} // namespace kesto::test
