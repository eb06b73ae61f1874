#include "io/SystemError.h"

#include "io/NativeText.h"

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
    return windowsErrorText(code);
#else
    return errnoText(errno);
#endif
}

std::string errorCodeText(const std::error_code& ec) {
    if (!ec) return "unknown error";
#ifdef _WIN32
    // The system's messages in its language, not in the ANSI code page.
    if (ec.category() == std::system_category()) return windowsErrorText(ec.value());
#endif
    return ec.message();
}

Status errnoFailure(std::string_view what, int err) {
    return Status::failure(std::string(what) + ": " + errnoText(err));
}

Status systemFailure(std::string_view what) {
    return Status::failure(std::string(what) + ": " + lastSystemErrorText());
}

} // namespace kesto
