// The spooler on Linux and macOS: libcups for print queues, a plain TCP
// connection for socket:// plotters.
#ifndef _WIN32

#include "delivery/GlfSource.h"
#include "delivery/PrinterName.h"
#include "delivery/SocketSender.h"
#include "delivery/Spooler.h"

#include <cups/cups.h>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <pthread.h>

namespace kesto {

namespace {

// The name of every job and of its one document.
constexpr const char* kDocumentName = "Test";
// How long to wait for the print server to answer a connection.
constexpr int kConnectTimeoutMs = 30'000;

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

std::string lastError() {
    const char* text = cupsLastErrorString();
    return text && *text ? text : "unknown error";
}

// The configured print server (CUPS_SERVER, client.conf, or the local one).
Http connectDefaultServer() {
    return Http(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                             kConnectTimeoutMs, nullptr));
}

Http connectServer(const std::string& host, int port) {
    return Http(httpConnect2(host.c_str(), port, nullptr, AF_UNSPEC, cupsEncryption(), 1,
                             kConnectTimeoutMs, nullptr));
}

bool succeeded(ipp_status_t status) {
    return status <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

// Create-Job on the server at the other end of `http`, named "Test".  (The
// library's own job creation looks the queue up on the default server first,
// which is the wrong server for queue@host.)  Returns the job id, 0 on failure.
int createJob(http_t* http, const std::string& queue) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0,
                     "/printers/%s", queue.c_str());
    ipp_t* request = ippNewRequest(IPP_OP_CREATE_JOB);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
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

Status sendToQueue(const std::filesystem::path& glfFile, http_t* http, const std::string& queue,
                   const std::string& where) {
    GlfSource source;
    if (Status opened = source.open(glfFile); !opened) return opened;

    int jobId = createJob(http, queue);
    if (jobId <= 0) return Status::failure(where + ": the job was refused: " + lastError());

    auto abandon = [&](const std::string& why) {
        // Drop the half-sent job so that the plotter never draws part of a drawing.
        cupsCancelJob2(http, queue.c_str(), jobId, 0);
        return Status::failure(where + ": " + why);
    };

    // Raw: the file goes to the plotter as it is.  Without it the server would
    // type an all-ASCII HP-GL file as plain text and have it printed as a listing.
    if (cupsStartDocument(http, queue.c_str(), jobId, kDocumentName, CUPS_FORMAT_RAW, 1) !=
        HTTP_STATUS_CONTINUE)
        return abandon("cannot start the document: " + lastError());

    for (std::span<const char> block = source.next(); !block.empty(); block = source.next()) {
        if (cupsWriteRequestData(http, block.data(), block.size()) != HTTP_STATUS_CONTINUE)
            return abandon("sending the file failed: " + lastError());
    }
    if (!source.status()) {
        // Close the request before cancelling; the server sees a short document.
        cupsFinishDocument(http, queue.c_str());
        return abandon(source.status().reason());
    }
    if (!succeeded(cupsFinishDocument(http, queue.c_str())))
        return abandon("the server did not accept the document: " + lastError());
    return {};
}

class CupsSpooler final : public Spooler {
public:
    Status sendFile(const std::filesystem::path& glfFile, const std::string& printerName) override {
        auto target = parsePrinterName(printerName);
        if (!target) return Status::failure("no usable printer name: \"" + printerName + "\"");
        if (target->kind == PrinterTarget::Kind::Socket)
            return sendOverSocket(glfFile, target->host, target->port);

        SigpipeGuard noSigpipe;
        Http http = target->kind == PrinterTarget::Kind::RemoteQueue
                        ? connectServer(target->host, target->port)
                        : connectDefaultServer();
        if (!http) {
            std::string server = target->kind == PrinterTarget::Kind::RemoteQueue
                                     ? target->host + ":" + std::to_string(target->port)
                                     : std::string(cupsServer());
            return Status::failure(printerName + ": cannot reach the print server " + server +
                                   ": " + lastError());
        }
        return sendToQueue(glfFile, http.get(), target->queue, printerName);
    }

    std::string defaultPrinter() override {
        SigpipeGuard noSigpipe;
        Http http = connectDefaultServer();
        if (!http) return {};
        // The user's choice (LPDEST, PRINTER, lpoptions) first, then the server's.
        cups_dest_t* dest = cupsGetNamedDest(http.get(), nullptr, nullptr);
        if (!dest) return {};
        std::string name = dest->name ? dest->name : "";
        cupsFreeDests(1, dest);
        return name;
    }

    std::vector<std::string> printers() override {
        SigpipeGuard noSigpipe;
        std::vector<std::string> names;
        Http http = connectDefaultServer();
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
};

} // namespace

std::unique_ptr<Spooler> makeSystemSpooler() {
    return std::make_unique<CupsSpooler>();
}

} // namespace kesto

#endif
