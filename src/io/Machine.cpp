#include "io/Machine.h"

#include "io/NativeText.h"
#include "io/SystemError.h"

#include <cerrno>
#include <thread>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <csignal>
#include <pthread.h>
#include <pwd.h>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace kesto {
namespace {
constexpr std::chrono::milliseconds kWaitSlice{20};
}

#ifdef _WIN32

std::string hostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? utf8FromWide(std::wstring_view(name, size)) : "";
}

std::string userName() {
    wchar_t name[257];
    DWORD size = 257;
    return GetUserNameW(name, &size) && size > 0 ? utf8FromWide(std::wstring_view(name, size - 1))
                                                 : "";
}

long processId() {
    return static_cast<long>(_getpid());
}

void workInBackground() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

namespace {
// One argument quoted the way the C runtime splits a command line.
std::wstring quoted(const std::wstring& arg) {
    std::wstring out = L"\"";
    std::size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        out += c;
    }
    out.append(slashes * 2, L'\\');
    return out + L"\"";
}
} // namespace

Status runProgram(const std::vector<std::string>& argv,
                  const std::vector<std::pair<std::string, std::string>>& environment,
                  std::chrono::milliseconds timeout) {
    if (argv.empty()) return Status::failure("no program");
    std::wstring line;
    for (const std::string& a : argv)
        line += (line.empty() ? L"" : L" ") + quoted(wideFromUtf8(a));
    // Our environment with the job's fields after it.
    std::wstring block;
    if (wchar_t* env = GetEnvironmentStringsW()) {
        for (const wchar_t* p = env; *p; p += wcslen(p) + 1)
            block.append(p, wcslen(p) + 1);
        FreeEnvironmentStringsW(env);
    }
    for (const auto& [key, value] : environment)
        block += wideFromUtf8(key) + L"=" + wideFromUtf8(value) + L'\0';
    block += L'\0';
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, block.data(), nullptr, &si,
                        &pi))
        return systemFailure(argv[0]);
    CloseHandle(pi.hThread);
    Status result;
    if (WaitForSingleObject(pi.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, INFINITE);
        result = Status::failure(argv[0] + ": " + std::to_string(timeout.count() / 1000) +
                                 " 秒で終わらないため止めました");
    } else {
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        if (code != 0)
            result = Status::failure(argv[0] + ": 終了ステータス " + std::to_string(code));
    }
    CloseHandle(pi.hProcess);
    return result;
}

#else

std::string hostName() {
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 ? name : "";
}

std::string userName() {
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::geteuid(), &pw, buffer, sizeof buffer, &found) == 0 && found)
        return found->pw_name;
    return "";
}

long processId() {
    return static_cast<long>(::getpid());
}

void workInBackground() {
#ifdef SCHED_BATCH
    // A batch thread is not woken in the place of a running one.
    sched_param param{};
    param.sched_priority = 0;
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &param);
#endif
}

Status runProgram(const std::vector<std::string>& argv,
                  const std::vector<std::pair<std::string, std::string>>& environment,
                  std::chrono::milliseconds timeout) {
    if (argv.empty()) return Status::failure("no program");
    std::vector<std::string> envText;
    for (char** e = environ; *e; ++e)
        envText.emplace_back(*e);
    for (const auto& [key, value] : environment)
        envText.push_back(key + "=" + value);
    std::vector<char*> envp, args;
    for (std::string& e : envText)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argText(argv);
    for (std::string& a : argText)
        args.push_back(a.data());
    args.push_back(nullptr);
    // A group of its own, so that a time-out ends whatever it started too.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = 0;
    const int err = ::posix_spawnp(&pid, args[0], nullptr, &attributes, args.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    if (err != 0) return errnoFailure(argv[0], err);
    const auto until = std::chrono::steady_clock::now() + timeout;
    int wstatus = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &wstatus, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) return errnoFailure(argv[0], errno);
        if (std::chrono::steady_clock::now() >= until) {
            ::kill(-pid, SIGKILL);
            while (::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
            }
            return Status::failure(argv[0] + ": " + std::to_string(timeout.count() / 1000) +
                                   " 秒で終わらないため止めました");
        }
        std::this_thread::sleep_for(kWaitSlice);
    }
    if (WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0) return {};
    if (WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 127)
        return Status::failure(argv[0] +
                               ": 終了ステータス 127（プログラムが見つからないか起動できません）");
    if (WIFEXITED(wstatus))
        return Status::failure(argv[0] + ": 終了ステータス " +
                               std::to_string(WEXITSTATUS(wstatus)));
    return Status::failure(argv[0] + ": シグナル " + std::to_string(WTERMSIG(wstatus)) +
                           " で終わりました");
}

#endif

} // namespace kesto
