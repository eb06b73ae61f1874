// The headless spooler as a native Windows service.  The service control
// manager starts "kesto-cli service run ...", which hands the process over to
// it; the service's main runs the polling spooler in the program folder, its
// status lines and reasons written to a log file there (failures to the
// event log too), and a stop request acts as SIGTERM does.

#include "app/WindowsService.h"
#include "app/Commands.h"
#include "app/RotatingLog.h"
#include "io/NativeText.h"
#include "io/SystemError.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace kesto {
namespace {

constexpr std::uintmax_t kLogLimitBytes = 1024 * 1024;
constexpr int kOldLogFiles = 2;
// How long uninstall waits for a running service to stop.
constexpr auto kStopWait = std::chrono::seconds(10);
const std::wstring kEventLogKey = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

// --- the event log ----------------------------------------------------------

class EventSource {
public:
    explicit EventSource(const std::wstring& name)
        : handle_(RegisterEventSourceW(nullptr, name.c_str())) {}
    ~EventSource() {
        if (handle_) DeregisterEventSource(handle_);
    }
    EventSource(const EventSource&) = delete;
    EventSource& operator=(const EventSource&) = delete;

    void report(WORD type, const std::string& text) {
        if (!handle_) return;
        const std::wstring wide = wideFromUtf8(text);
        const wchar_t* strings[] = {wide.c_str()};
        ReportEventW(handle_, type, 0, 1, nullptr, 1, 0, strings, nullptr);
    }

private:
    HANDLE handle_;
};

// What the service does: every line to the log file, failures to the event
// log as well.
class ServiceLog {
public:
    ServiceLog(const std::filesystem::path& folder, EventSource& events)
        : file_(folder / kServiceLogName, kLogLimitBytes, kOldLogFiles), events_(events) {}

    void note(const std::string& line) {
        std::lock_guard lock(mutex_);
        file_.write(line);
    }
    void failure(const std::string& line) {
        std::lock_guard lock(mutex_);
        file_.write(line);
        events_.report(EVENTLOG_ERROR_TYPE, line);
    }

private:
    std::mutex mutex_;
    RotatingLog file_;
    EventSource& events_;
};

// --- the service itself -----------------------------------------------------

ServiceOptions gOptions;
std::wstring gName;
SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
std::mutex gStatusMutex;
int gExitStatus = kExitDone;
std::atomic<bool> gStopAsked{false};

void reportStatus(DWORD state, DWORD waitHint = 0, int exitStatus = kExitDone) {
    std::lock_guard lock(gStatusMutex);
    static DWORD checkPoint = 1;
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWin32ExitCode = exitStatus == kExitDone ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = static_cast<DWORD>(exitStatus);
    status.dwWaitHint = waitHint;
    status.dwCheckPoint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : checkPoint++;
    SetServiceStatus(gStatusHandle, &status);
}

DWORD WINAPI onControl(DWORD control, DWORD, void*, void*) {
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        gStopAsked.store(true);
        reportStatus(SERVICE_STOP_PENDING, 2000);
        requestSpoolerStop();
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE: return NO_ERROR;
    default: return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

std::string describe(const ServiceOptions& options) {
    return "kesto " KESTO_VERSION ", service " + options.name + ", program folder " +
           options.folder + ", a run every " + options.interval + " s";
}

// The polling spooler in the program folder, as "kesto-cli AUTO<seconds>"
// runs there; its exit status.
int runSpoolerInFolder(EventSource& events) {
    const std::filesystem::path folder = pathFromUtf8(gOptions.folder);
    std::error_code ec;
    std::filesystem::current_path(folder, ec);
    if (ec) {
        events.report(EVENTLOG_ERROR_TYPE, "kesto-cli: the program folder " + gOptions.folder +
                                               " cannot be used: " + errorCodeText(ec));
        return kExitTrouble;
    }
    ServiceLog log(folder, events);
    log.note("started: " + describe(gOptions));
    // A service has no stdout or stderr: the lines go to the log.
    setSpoolerOutput({[&log](const std::string& line) { log.note(line); },
                      [&log](const std::string& line) { log.failure(line); }});
    reportStatus(SERVICE_RUNNING);
    const std::string mode = "AUTO" + gOptions.interval;
    const int status = runSpoolerCommand(mode.c_str(), 0, nullptr);
    setSpoolerOutput({});
    log.note("stopped, exit status " + std::to_string(status));
    return status;
}

void WINAPI serviceMain(DWORD, LPWSTR*) {
    gStatusHandle = RegisterServiceCtrlHandlerExW(gName.c_str(), onControl, nullptr);
    if (!gStatusHandle) return;
    reportStatus(SERVICE_START_PENDING, 3000);
    EventSource events(gName);
    gExitStatus = runSpoolerInFolder(events);
    // A service stopped on purpose has not failed, whatever its drawings did
    // (the log tells): otherwise the manager would start it again.
    reportStatus(SERVICE_STOPPED, 0, gStopAsked.load() ? kExitDone : gExitStatus);
}

// --- installing and removing ------------------------------------------------

struct ScHandle {
    SC_HANDLE handle;
    explicit ScHandle(SC_HANDLE h) : handle(h) {}
    ~ScHandle() {
        if (handle) CloseServiceHandle(handle);
    }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
};

int refused(const std::string& what) {
    writeText(stderr,
              "kesto-cli service: " + what + ": " + windowsErrorText(GetLastError()) + "\n");
    return kExitTrouble;
}

// One argument of a command line as CommandLineToArgvW reads it back:
// quoted, with the backslashes before the closing quote doubled.
std::wstring quoted(const std::wstring& argument) {
    std::size_t trailing = 0;
    while (trailing < argument.size() && argument[argument.size() - 1 - trailing] == L'\\')
        ++trailing;
    return L"\"" + argument + std::wstring(trailing, L'\\') + L"\"";
}

std::wstring ownProgram() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return path;
}

// A drive letter the user's logon session maps to a share: services never
// see it.
bool isMappedDrive(const std::filesystem::path& folder) {
    const std::wstring root = folder.root_name().wstring();
    if (root.size() != 2 || root[1] != L':') return false;
    return GetDriveTypeW((root + L"\\").c_str()) == DRIVE_REMOTE;
}

void registerEventSource(const std::wstring& name) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kEventLogKey + name).c_str(), 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    // Windows' own table of "%1" messages: the event shows the line as it is.
    const std::wstring messages = L"%SystemRoot%\\System32\\EventCreate.exe";
    RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ,
                   reinterpret_cast<const BYTE*>(messages.c_str()),
                   static_cast<DWORD>((messages.size() + 1) * sizeof(wchar_t)));
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                   sizeof types);
    RegCloseKey(key);
}

// Restarted 10 s after it failed, as systemd's Restart=on-failure does.
void restartOnFailure(SC_HANDLE service) {
    SC_ACTION restart{SC_ACTION_RESTART, 10000};
    SERVICE_FAILURE_ACTIONSW actions{};
    actions.dwResetPeriod = 24 * 3600;
    actions.cActions = 1;
    actions.lpsaActions = &restart;
    ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &actions);
    SERVICE_FAILURE_ACTIONS_FLAG onExit{TRUE};
    ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &onExit);
}

bool waitUntilStopped(SC_HANDLE service) {
    const auto until = std::chrono::steady_clock::now() + kStopWait;
    SERVICE_STATUS status{};
    while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

} // namespace

int installService(const ServiceOptions& options) {
    std::error_code ec;
    // The system's own full path (a UNC path keeps its \\server\share).
    const std::filesystem::path folder =
        std::filesystem::absolute(pathFromUtf8(options.folder), ec);
    if (ec || !std::filesystem::is_directory(folder, ec)) {
        writeText(stderr,
                  "kesto-cli service: the program folder " + options.folder + " is not a folder\n");
        return kExitUsage;
    }
    if (isMappedDrive(folder)) {
        writeText(stderr, "kesto-cli service: " + utf8FromPath(folder.root_name()) +
                              " is a mapped network drive, which services do not see; give the "
                              "share's UNC path (\\\\server\\share\\...)\n");
        return kExitUsage;
    }
    const std::wstring name = wideFromUtf8(options.name);
    const std::wstring commandLine = quoted(ownProgram()) + L" service run --name " + quoted(name) +
                                     L" --folder " + quoted(folder.wstring()) + L" --interval " +
                                     wideFromUtf8(options.interval);
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager.handle) return refused("the service control manager cannot be opened");
    const std::wstring display = L"kesto plot spooler (" + name + L")";
    ScHandle service(CreateServiceW(manager.handle, name.c_str(), display.c_str(),
                                    SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                    SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, commandLine.c_str(),
                                    nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service.handle) return refused("service " + options.name + " not installed");
    std::wstring description = L"Converts the OFI drawings of the folder named in " +
                               folder.wstring() + L"\\Kesto.sys and sends them to the plotter.";
    SERVICE_DESCRIPTIONW text{description.data()};
    ChangeServiceConfig2W(service.handle, SERVICE_CONFIG_DESCRIPTION, &text);
    restartOnFailure(service.handle);
    registerEventSource(name);
    writeText(stdout, "kesto-cli service: installed " + options.name + " for " +
                          utf8FromPath(folder) + "; start it with 'net start " + options.name +
                          "'\n");
    return kExitDone;
}

int uninstallService(const std::string& name) {
    const std::wstring wide = wideFromUtf8(name);
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager.handle) return refused("the service control manager cannot be opened");
    ScHandle service(
        OpenServiceW(manager.handle, wide.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service.handle) return refused("service " + name + " cannot be opened");
    SERVICE_STATUS status{};
    if (QueryServiceStatus(service.handle, &status) && status.dwCurrentState != SERVICE_STOPPED) {
        ControlService(service.handle, SERVICE_CONTROL_STOP, &status);
        if (!waitUntilStopped(service.handle))
            writeText(stderr, "kesto-cli service: " + name + " did not stop in time\n");
    }
    if (!DeleteService(service.handle)) return refused("service " + name + " not removed");
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kEventLogKey + wide).c_str());
    writeText(stdout, "kesto-cli service: removed " + name + "\n");
    return kExitDone;
}

int runService(const ServiceOptions& options) {
    gOptions = options;
    gName = wideFromUtf8(options.name);
    SERVICE_TABLE_ENTRYW table[] = {{gName.data(), serviceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        if (GetLastError() == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
            writeText(stderr, "kesto-cli service run: only the service control manager starts "
                              "this; use 'net start " +
                                  options.name + "'\n");
            return kExitUsage;
        }
        return refused("the service control manager did not take the service");
    }
    return gExitStatus;
}

} // namespace kesto
