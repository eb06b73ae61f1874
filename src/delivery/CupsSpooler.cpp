// The spooler on Linux and macOS: libcups for print queues, a plain TCP
// connection for socket:// plotters.
#ifndef _WIN32

#include "delivery/GlfSource.h"
#include "delivery/PrinterName.h"
#include "delivery/SocketSender.h"
#include "delivery/Spooler.h"

#include "io/SystemError.h"

#include <cups/cups.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kesto {

namespace {

// The name of every job and of its one document.
constexpr const char* kDocumentName = "Test";
// How long withdrawing a half-sent job may take after a stop.
constexpr std::chrono::milliseconds kWithdrawTime{1000};

using Clock = std::chrono::steady_clock;

// A print server that goes away in the middle of a job must give a failed
// delivery, not a SIGPIPE that ends the program: SIGPIPE is held back on this
// thread while we talk to the server, and a pending one is consumed afterwards.
class SigpipeGuard {
public:
    SigpipeGuard() {
        sigset_t pipeOnly;
        sigemptyset(&pipeOnly);
        sigaddset(&pipeOnly, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        alreadyPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipeOnly, &saved_);
    }
    ~SigpipeGuard() {
        sigset_t pipeOnly;
        sigemptyset(&pipeOnly);
        sigaddset(&pipeOnly, SIGPIPE);
        if (!alreadyPending_) {
            sigset_t pending;
            sigpending(&pending);
            if (sigismember(&pending, SIGPIPE) == 1) {
#ifdef __APPLE__
                int sig = 0;
                sigwait(&pipeOnly, &sig);
#else
                timespec zero{0, 0};
                while (sigtimedwait(&pipeOnly, nullptr, &zero) < 0 && errno == EINTR) {
                }
#endif
            }
        }
        pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
    }
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

private:
    sigset_t saved_{};
    bool alreadyPending_ = false;
};

struct HttpCloser {
    void operator()(http_t* http) const { httpClose(http); }
};
using Http = std::unique_ptr<http_t, HttpCloser>;

struct AddrListFree {
    void operator()(http_addrlist_t* list) const { httpAddrFreeList(list); }
};

std::string seconds(std::chrono::milliseconds ms) {
    if (ms.count() % 1000 == 0) return std::to_string(ms.count() / 1000) + " s";
    return std::to_string(ms.count()) + " ms";
}

// Bounds the exchanges with one print server: the library waits in slices of
// kCancelSlice and asks between them whether to go on, which is where the
// stop button and the time limit come in.
class Watch {
public:
    explicit Watch(const std::atomic<bool>* cancel) : cancel_(cancel) {}

    // The next exchange may take up to `limit`.
    void arm(std::chrono::milliseconds limit) {
        limit_ = limit;
        deadline_ = Clock::now() + limit;
        timedOut_ = false;
    }
    // Called by the library when a wait slice ran out; false ends the wait.
    bool goOn() {
        if (cancelled()) return false;
        if (Clock::now() < deadline_) return true;
        timedOut_ = true;
        return false;
    }
    bool cancelled() const { return cancel_ && cancel_->load(); }
    bool timedOut() const { return timedOut_; }
    std::chrono::milliseconds limit() const { return limit_; }
    Clock::time_point deadline() const { return deadline_; }

    void attach(http_t* http) {
        httpSetTimeout(http, std::chrono::duration<double>(kCancelSlice).count(), &Watch::onWait,
                       this);
    }

private:
    static int onWait(http_t*, void* self) { return static_cast<Watch*>(self)->goOn() ? 1 : 0; }

    const std::atomic<bool>* cancel_;
    std::chrono::milliseconds limit_{0};
    Clock::time_point deadline_{};
    bool timedOut_ = false;
};

// Why the last exchange failed, in the server's or the system's words; never
// "Success".
std::string serverError(http_t* http, const Watch& watch) {
    if (watch.cancelled()) return "stopped";
    if (watch.timedOut()) return "the print server did not answer within " + seconds(watch.limit());
    const ipp_status_t status = cupsLastError();
    const char* text = cupsLastErrorString();
    if (status > IPP_STATUS_OK_EVENTS_COMPLETE && text && *text &&
        std::string_view(text) != "Success" && std::string_view(text) != "successful-ok")
        return text;
    if (http && httpError(http) != 0) return errnoText(httpError(http));
    if (http) {
        const http_status_t answered = httpGetStatus(http);
        if (answered >= HTTP_STATUS_BAD_REQUEST || answered == HTTP_STATUS_ERROR)
            return std::string("the print server answered ") + httpStatus(answered);
    }
    if (status > IPP_STATUS_OK_EVENTS_COMPLETE) return ippErrorString(status);
    return "the print server ended the exchange without a reason";
}

// Why no connection can be made to the addresses: the library says "timed
// out" for a refusal too, so ask the system once, briefly.
std::string connectError(const http_addrlist_t* addresses) {
    int err = 0;
    for (const http_addrlist_t* a = addresses; a; a = a->next) {
        const int fd =
            ::socket(a->addr.addr.sa_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            err = errno;
            continue;
        }
        if (::connect(fd, &a->addr.addr, static_cast<socklen_t>(httpAddrLength(&a->addr))) == 0) {
            ::close(fd);
            return "the connection was dropped";
        }
        err = errno;
        if (err == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, static_cast<int>(kCancelSlice.count())) > 0) {
                socklen_t length = sizeof err;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &length);
            } else {
                err = ETIMEDOUT;
            }
        }
        ::close(fd);
    }
    return errnoText(err);
}

// Connects to host:port within the watch's time, trying again in short slices
// so that a stop is seen; nullptr with *reason on failure.
Http connectServer(const std::string& host, int port, Watch& watch, std::string* reason) {
    const std::string portText = std::to_string(port);
    std::unique_ptr<http_addrlist_t, AddrListFree> addresses(
        httpAddrGetList(host.c_str(), AF_UNSPEC, portText.c_str()));
    if (!addresses) {
        *reason = "cannot resolve " + host + ": " + serverError(nullptr, watch);
        return nullptr;
    }
    for (;;) {
        if (watch.cancelled()) {
            *reason = "stopped";
            return nullptr;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(watch.deadline() - Clock::now());
        if (left.count() <= 0) {
            *reason = "no connection within " + seconds(watch.limit());
            return nullptr;
        }
        const auto slice = std::min(left, kCancelSlice);
        const auto began = Clock::now();
        Http http(httpConnect2(host.c_str(), port, addresses.get(), AF_UNSPEC, cupsEncryption(), 1,
                               static_cast<int>(slice.count()), nullptr));
        if (http) {
            watch.attach(http.get());
            return http;
        }
        // A slice that ran out tries again; a refusal (which comes at once) is final.
        if (Clock::now() - began < slice / 2) {
            *reason = connectError(addresses.get());
            return nullptr;
        }
    }
}

struct Server {
    std::string host;
    int port;
};

// The configured print server (CUPS_SERVER, client.conf, or the local one).
Server defaultServer() {
    return {cupsServer(), ippPort()};
}

bool succeeded(ipp_status_t status) {
    return status <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

std::string printerUri(const std::string& queue) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0,
                     "/printers/%s", queue.c_str());
    return uri;
}

// Create-Job on the server at the other end of `http`, named "Test".  (The
// library's own job creation looks the queue up on the default server first,
// which is the wrong server for queue@host.)  Returns the job id, 0 on failure.
int createJob(http_t* http, const std::string& queue) {
    const std::string uri = printerUri(queue);
    ipp_t* request = ippNewRequest(IPP_OP_CREATE_JOB);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, kDocumentName);
    const std::string resource = "/printers/" + queue;
    ipp_t* response = cupsDoRequest(http, request, resource.c_str());
    int jobId = 0;
    if (response && succeeded(cupsLastError())) {
        if (ipp_attribute_t* id = ippFindAttribute(response, "job-id", IPP_TAG_INTEGER))
            jobId = ippGetInteger(id, 0);
    }
    ippDelete(response);
    return jobId;
}

class CupsSpooler final : public Spooler {
public:
    explicit CupsSpooler(const DeliveryTimeouts& timeouts) : timeouts_(timeouts) {}

    Status sendFile(const std::filesystem::path& glfFile, const std::string& printerName,
                    int* jobId) override {
        if (jobId) *jobId = 0;
        auto target = parsePrinterName(printerName);
        if (!target) return Status::failure("no usable printer name: \"" + printerName + "\"");
        if (target->kind == PrinterTarget::Kind::Socket) {
            SocketTimeouts socket;
            socket.connect = timeouts_.connect;
            socket.stall = timeouts_.stall;
            socket.drain = timeouts_.drain;
            return sendOverSocket(glfFile, target->host, target->port, socket, watchedCancel());
        }

        SigpipeGuard noSigpipe;
        const Server server = target->kind == PrinterTarget::Kind::RemoteQueue
                                  ? Server{target->host, target->port}
                                  : defaultServer();
        Watch watch(watchedCancel());
        watch.arm(timeouts_.connect);
        std::string why;
        Http http = connectServer(server.host, server.port, watch, &why);
        if (!http) {
            if (cancelRequested()) return stopped(printerName);
            return Status::failure(printerName + ": cannot reach the print server " + server.host +
                                   ":" + std::to_string(server.port) + ": " + why);
        }
        return sendToQueue(glfFile, http.get(), watch, server, target->queue, printerName, jobId);
    }

    std::string defaultPrinter() override {
        SigpipeGuard noSigpipe;
        Watch watch(watchedCancel());
        watch.arm(timeouts_.lookup);
        std::string why;
        const Server server = defaultServer();
        Http http = connectServer(server.host, server.port, watch, &why);
        if (!http) return {};
        // The user's choice (LPDEST, PRINTER, lpoptions) first, then the
        // server's; only this connection is used, so the time limit holds.
        const char* name = cupsGetDefault2(http.get());
        return name ? name : "";
    }

    std::vector<std::string> printers() override {
        SigpipeGuard noSigpipe;
        std::vector<std::string> names;
        Watch watch(watchedCancel());
        watch.arm(timeouts_.lookup);
        std::string why;
        const Server server = defaultServer();
        Http http = connectServer(server.host, server.port, watch, &why);
        if (!http) return names;
        ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                     "printer-name");
        ipp_t* response = cupsDoRequest(http.get(), request, "/");
        if (!response) return names;
        for (ipp_attribute_t* attr = ippFirstAttribute(response); attr;
             attr = ippNextAttribute(response)) {
            if (ippGetGroupTag(attr) != IPP_TAG_PRINTER || ippGetValueTag(attr) != IPP_TAG_NAME)
                continue;
            const char* attrName = ippGetName(attr);
            if (attrName && std::string_view(attrName) == "printer-name")
                names.emplace_back(ippGetString(attr, 0, nullptr));
        }
        ippDelete(response);
        return names;
    }

private:
    static Status stopped(const std::string& printerName) {
        return Status::failure(printerName + ": delivery stopped, the job was withdrawn");
    }

    // Withdraws a half-sent job so that the plotter never draws part of a
    // drawing.  The connection of the failed exchange is of no more use: a
    // new one, briefly.
    void withdraw(const Server& server, const std::string& queue, int jobId) {
        Watch watch(nullptr);
        watch.arm(kWithdrawTime);
        std::string why;
        Http http = connectServer(server.host, server.port, watch, &why);
        if (http) cupsCancelJob2(http.get(), queue.c_str(), jobId, 0);
    }

    Status sendToQueue(const std::filesystem::path& glfFile, http_t* http, Watch& watch,
                       const Server& server, const std::string& queue, const std::string& where,
                       int* madeJob) {
        GlfSource source;
        if (Status opened = source.open(glfFile); !opened) return opened;

        watch.arm(timeouts_.answer);
        const int jobId = createJob(http, queue);
        if (jobId <= 0) {
            if (watch.cancelled()) return stopped(where);
            return Status::failure(where + ": the job was refused: " + serverError(http, watch));
        }

        auto abandon = [&](const std::string& why) {
            const bool byStop = watch.cancelled();
            withdraw(server, queue, jobId);
            return byStop ? stopped(where) : Status::failure(where + ": " + why);
        };

        // Raw: the file goes to the plotter as it is.  Without it the server would
        // type an all-ASCII HP-GL file as plain text and have it printed as a listing.
        watch.arm(timeouts_.answer);
        if (cupsStartDocument(http, queue.c_str(), jobId, kDocumentName, CUPS_FORMAT_RAW, 1) !=
            HTTP_STATUS_CONTINUE)
            return abandon("cannot start the document: " + serverError(http, watch));

        for (std::span<const char> block = source.next(); !block.empty(); block = source.next()) {
            if (watch.cancelled()) return abandon("stopped");
            watch.arm(timeouts_.answer);
            if (cupsWriteRequestData(http, block.data(), block.size()) != HTTP_STATUS_CONTINUE)
                return abandon("sending the file failed: " + serverError(http, watch));
        }
        if (!source.status()) return abandon(source.status().reason());
        if (watch.cancelled()) return abandon("stopped");
        watch.arm(timeouts_.answer);
        if (!documentAccepted(http, queue))
            return abandon("the server did not accept the document: " + serverError(http, watch));
        if (madeJob) *madeJob = jobId;
        return {};
    }

    // Ends the document and reads the server's answer.  The library's own
    // cupsFinishDocument returns the last status it kept, which is the
    // earlier success when no answer came at all (a server that stalls or
    // drops the connection after the last byte): only an answer counts.
    static bool documentAccepted(http_t* http, const std::string& queue) {
        const std::string resource = "/printers/" + queue;
        ipp_t* response = cupsGetResponse(http, resource.c_str());
        const bool accepted = response && succeeded(ippGetStatusCode(response));
        ippDelete(response);
        return accepted;
    }

    DeliveryTimeouts timeouts_;
};

} // namespace

std::unique_ptr<Spooler> makeSystemSpooler(const DeliveryTimeouts& timeouts) {
    return std::make_unique<CupsSpooler>(timeouts);
}

} // namespace kesto

#endif
