#include "FileCalls.h"

#include <cerrno>
#include <cstdio>
#include <dlfcn.h>
#include <mutex>
#include <unistd.h>
#include <utility>

namespace kesto::test {
namespace {

struct State {
    std::mutex mutex;
    bool recording = false;
    std::vector<std::string> log;
    std::string failCall;
    int failErrno = 0;
    std::size_t writeLimit = 0;
    std::function<void()> beforeRead;
};

State& state() {
    static State s;
    return s;
}

// Whether we are inside one of our own calls (the hook's file work is not logged).
thread_local bool inside = false;

std::string pathOf(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    const ssize_t n = ::readlink(link, target, sizeof target);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : "?";
}

// Logs the call; true when it is to fail (errno set).
bool enter(const char* call, const std::string& what) {
    if (inside) return false;
    State& s = state();
    std::lock_guard guard(s.mutex);
    if (!s.recording) return false;
    s.log.push_back(std::string(call) + " " + what);
    if (s.failCall == call) {
        s.failCall.clear();
        errno = s.failErrno;
        return true;
    }
    return false;
}

template <typename F> F real(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

} // namespace

FileCalls::FileCalls() {
    State& s = state();
    std::lock_guard guard(s.mutex);
    s.log.clear();
    s.failCall.clear();
    s.writeLimit = 0;
    s.beforeRead = nullptr;
    s.recording = true;
}

FileCalls::~FileCalls() {
    State& s = state();
    std::lock_guard guard(s.mutex);
    s.recording = false;
    s.failCall.clear();
    s.writeLimit = 0;
    s.beforeRead = nullptr;
}

std::vector<std::string> FileCalls::log() const {
    std::lock_guard guard(state().mutex);
    return state().log;
}

void FileCalls::failNext(const std::string& call, int err) {
    std::lock_guard guard(state().mutex);
    state().failCall = call;
    state().failErrno = err;
}

void FileCalls::limitWrites(std::size_t bytes) {
    std::lock_guard guard(state().mutex);
    state().writeLimit = bytes;
}

void FileCalls::beforeFirstRead(std::function<void()> action) {
    std::lock_guard guard(state().mutex);
    state().beforeRead = std::move(action);
}

} // namespace kesto::test

using kesto::test::enter;
using kesto::test::inside;
using kesto::test::pathOf;
using kesto::test::real;
using kesto::test::state;

extern "C" ssize_t write(int fd, const void* data, size_t size) {
    static const auto next = real<ssize_t (*)(int, const void*, size_t)>("write");
    if (fd > 2 && enter("write", pathOf(fd))) return -1;
    {
        std::lock_guard guard(state().mutex);
        if (state().recording && state().writeLimit && size > state().writeLimit)
            size = state().writeLimit;
    }
    return next(fd, data, size);
}

extern "C" ssize_t read(int fd, void* data, size_t size) {
    static const auto next = real<ssize_t (*)(int, void*, size_t)>("read");
    if (fd > 2 && enter("read", pathOf(fd))) return -1;
    std::function<void()> action;
    {
        std::lock_guard guard(state().mutex);
        if (state().recording) action = std::exchange(state().beforeRead, nullptr);
    }
    if (action) {
        inside = true;
        action();
        inside = false;
    }
    return next(fd, data, size);
}

extern "C" int fsync(int fd) {
    static const auto next = real<int (*)(int)>("fsync");
    if (enter("fsync", pathOf(fd))) return -1;
    return next(fd);
}

extern "C" int rename(const char* from, const char* to) noexcept {
    static const auto next = real<int (*)(const char*, const char*)>("rename");
    if (enter("rename", std::string(from) + " " + to)) return -1;
    return next(from, to);
}
