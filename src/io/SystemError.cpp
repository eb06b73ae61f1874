#include "io/SystemError.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace kesto {

std::string errnoText(int err) {
    if (err == 0) return "unknown error";
    return std::strerror(err);
}

std::string lastSystemErrorText() {
#ifdef _WIN32
    const DWORD code = GetLastError();
    if (code == 0) return "unknown error";
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n && text ? std::string(text, n) : std::string();
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    if (message.empty()) message = "Windows error " + std::to_string(code);
    return message;
#else
    return errnoText(errno);
#endif
}

Status errnoFailure(std::string_view what, int err) {
    return Status::failure(std::string(what) + ": " + errnoText(err));
}

Status systemFailure(std::string_view what) {
    return Status::failure(std::string(what) + ": " + lastSystemErrorText());
}

} // namespace kesto
