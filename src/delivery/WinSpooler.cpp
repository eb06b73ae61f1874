// The spooler on Windows: one raw document through the Windows print spooler.
#ifdef _WIN32

#include "delivery/GlfSource.h"
#include "delivery/PrinterName.h"
#include "delivery/SocketSender.h"
#include "delivery/Spooler.h"
#include "io/NativeText.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winspool.h>

namespace kesto {

namespace {

// The name of every job's one document.
constexpr wchar_t kDocumentName[] = L"Test";
// The spooler's data type for bytes that go to the plotter unchanged.
constexpr wchar_t kRawDatatype[] = L"RAW";
// What queues whose driver takes no RAW data offer for pass-through bytes.
constexpr wchar_t kPassThroughDatatype[] = L"XPS_PASS";

std::string systemMessage(DWORD code) {
    return windowsErrorText(code);
}

class PrinterHandle {
public:
    ~PrinterHandle() {
        if (handle_) ClosePrinter(handle_);
    }
    HANDLE* out() { return &handle_; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
};

// The spooler's job number goes to `jobId`.
DWORD startRawDocument(HANDLE printer, DWORD& jobId) {
    DOC_INFO_1W info{};
    info.pDocName = const_cast<LPWSTR>(kDocumentName);
    info.pOutputFile = nullptr;
    info.pDatatype = const_cast<LPWSTR>(kRawDatatype);
    if ((jobId = StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&info))) != 0)
        return ERROR_SUCCESS;
    DWORD error = GetLastError();
    if (error != ERROR_INVALID_DATATYPE) return error;
    info.pDatatype = const_cast<LPWSTR>(kPassThroughDatatype);
    if ((jobId = StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&info))) != 0)
        return ERROR_SUCCESS;
    return GetLastError();
}

class WinSpooler final : public Spooler {
public:
    Status sendFile(const std::filesystem::path& glfFile, const std::string& printerName,
                    int* jobId) override {
        if (jobId) *jobId = 0;
        if (printerName.rfind("socket://", 0) == 0) {
            auto target = parsePrinterName(printerName);
            if (!target) return Status::failure("no usable printer name: \"" + printerName + "\"");
            return sendOverSocket(glfFile, target->host, target->port, {}, watchedCancel());
        }
        GlfSource source;
        if (Status opened = source.open(glfFile); !opened) return opened;

        PrinterHandle printer;
        std::wstring wideName = wideFromUtf8(printerName);
        if (!OpenPrinterW(wideName.data(), printer.out(), nullptr))
            return Status::failure(printerName +
                                   ": cannot open the printer: " + systemMessage(GetLastError()));
        DWORD made = 0;
        if (DWORD error = startRawDocument(printer.get(), made); error != ERROR_SUCCESS)
            return Status::failure(printerName +
                                   ": cannot start the document: " + systemMessage(error));

        auto abandon = [&](const std::string& why) {
            // Drop the half-written job so that the plotter never draws part of a drawing.
            AbortPrinter(printer.get());
            return Status::failure(printerName + ": " + why);
        };
        for (std::span<const char> block = source.next(); !block.empty(); block = source.next()) {
            std::size_t done = 0;
            while (done < block.size()) {
                DWORD written = 0;
                DWORD want = static_cast<DWORD>(block.size() - done);
                if (!WritePrinter(printer.get(), const_cast<char*>(block.data() + done), want,
                                  &written))
                    return abandon("writing to the printer failed: " +
                                   systemMessage(GetLastError()));
                if (written == 0) return abandon("the printer took no data");
                done += written;
            }
        }
        if (!source.status()) return abandon(source.status().reason());
        if (!EndDocPrinter(printer.get()))
            return abandon("the spooler did not accept the document: " +
                           systemMessage(GetLastError()));
        if (jobId) *jobId = static_cast<int>(made);
        return {};
    }

    std::string defaultPrinter() override {
        DWORD size = 0;
        GetDefaultPrinterW(nullptr, &size);
        if (size == 0) return {};
        std::wstring name(size, L'\0');
        if (!GetDefaultPrinterW(name.data(), &size)) return {};
        name.resize(name.find(L'\0') == std::wstring::npos ? name.size() : name.find(L'\0'));
        return utf8FromWide(name);
    }

    std::vector<std::string> printers() override {
        std::vector<std::string> names;
        const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
        DWORD needed = 0;
        DWORD count = 0;
        EnumPrintersW(flags, nullptr, 4, nullptr, 0, &needed, &count);
        if (needed == 0) return names;
        std::vector<BYTE> buffer(needed);
        if (!EnumPrintersW(flags, nullptr, 4, buffer.data(), needed, &needed, &count)) return names;
        const auto* info = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
        for (DWORD i = 0; i < count; ++i)
            if (info[i].pPrinterName) names.push_back(utf8FromWide(info[i].pPrinterName));
        return names;
    }
};

} // namespace

std::unique_ptr<Spooler> makeSystemSpooler(const DeliveryTimeouts&) {
    return std::make_unique<WinSpooler>();
}

} // namespace kesto

#endif
