#pragma once
// The system's own words for what went wrong.

#include "io/Status.h"

#include <string>
#include <string_view>
#include <system_error>

namespace kesto {

// The text of an errno value; 0 (a call that failed without saying why)
// reads "unknown error", never "Success".
std::string errnoText(int err);

// The text of the last error of a system call: errno on POSIX systems,
// GetLastError() in the system's language on Windows.
std::string lastSystemErrorText();

// The text of an error code from the standard library (std::filesystem):
// on Windows a system error is worded by the system, in UTF-8.
std::string errorCodeText(const std::error_code& ec);

// A failed Status "what: <errno text>".
Status errnoFailure(std::string_view what, int err);
// A failed Status "what: <last system error text>".
Status systemFailure(std::string_view what);

} // namespace kesto
