#include "delivery/PrinterName.h"

#include <charconv>

namespace kesto {

namespace {

constexpr std::string_view kSocketScheme = "socket://";

// "host", "host:port", "[v6addr]" or "[v6addr]:port"; a trailing "/..." is ignored.
bool splitHostPort(std::string_view text, int defaultPort, std::string& host, int& port) {
    if (auto slash = text.find('/'); slash != std::string_view::npos) text = text.substr(0, slash);
    std::string_view portText;
    if (!text.empty() && text.front() == '[') {
        auto close = text.find(']');
        if (close == std::string_view::npos) return false;
        host = std::string(text.substr(1, close - 1));
        auto rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return false;
            portText = rest.substr(1);
            if (portText.empty()) return false;
        }
    } else {
        auto colon = text.rfind(':');
        if (colon != std::string_view::npos) {
            // More than one colon without brackets: a bare IPv6 address, no port.
            if (text.find(':') != colon) {
                host = std::string(text);
            } else {
                host = std::string(text.substr(0, colon));
                portText = text.substr(colon + 1);
                if (portText.empty()) return false;
            }
        } else {
            host = std::string(text);
        }
    }
    if (host.empty()) return false;
    port = defaultPort;
    if (!portText.empty()) {
        int value = 0;
        auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), value);
        if (ec != std::errc() || end != portText.data() + portText.size() || value < 1 ||
            value > 65535)
            return false;
        port = value;
    }
    return true;
}

} // namespace

std::optional<PrinterTarget> parsePrinterName(const std::string& name) {
    if (name.empty()) return std::nullopt;
    PrinterTarget target;
    std::string_view view(name);
    if (view.starts_with(kSocketScheme)) {
        target.kind = PrinterTarget::Kind::Socket;
        if (!splitHostPort(view.substr(kSocketScheme.size()), kAppSocketDefaultPort, target.host,
                           target.port))
            return std::nullopt;
        return target;
    }
    if (auto at = view.rfind('@'); at != std::string_view::npos) {
        target.kind = PrinterTarget::Kind::RemoteQueue;
        target.queue = std::string(view.substr(0, at));
        if (target.queue.empty()) return std::nullopt;
        if (!splitHostPort(view.substr(at + 1), kPrintServerDefaultPort, target.host, target.port))
            return std::nullopt;
        return target;
    }
    target.kind = PrinterTarget::Kind::LocalQueue;
    target.queue = name;
    return target;
}

} // namespace kesto
